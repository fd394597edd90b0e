// What each field of the forwarder form accepts, and how its numbers read.
// A value is refused with a message saying what is wrong; nothing is clamped,
// rounded or replaced, because whatever passes goes into the file the radio
// concentrator starts from.

// A UDP port; 0 is no port a forwarder can send to.
const minPort = 1;
const maxPort = 65535;

// The concentrator's radios (SX1255/SX1257) tune within roughly this band;
// a value outside it is a typing mistake such as MHz entered as Hz.
const minBaseHz = 100_000_000;
const maxBaseHz = 1_000_000_000;

// A channel is an offset from its radio's base frequency. The hardware's IF
// window is about ±0.5 MHz; ±1 MHz refuses only what is surely a mistake and
// leaves the rest to a warning.
const maxOffsetHz = 1_000_000;
const hardwareOffsetHz = 500_000;

// Host names are at most 253 characters in 63-character labels (RFC 1035).
const maxHostNameLength = 253;
const maxLabelLength = 63;

const gatewayIdDigits = 16;

const integerText = /^[+-]?\d+$/;
const decimalText = /^[+-]?(\d+\.?\d*|\.\d+)$/;

function isBlank(text) {
  return text === undefined || text === null || String(text).trim() === '';
}

function isIpv4(text) {
  const parts = text.split('.');
  return parts.length === 4 && parts.every((part) => /^(0|[1-9]\d{0,2})$/.test(part) && Number(part) <= 255);
}

// Eight groups of up to four hexadecimal digits, "::" standing for one or
// more groups of zeros, and optionally the last two groups as IPv4.
function isIpv6(text) {
  const halves = text.split('::');
  if (halves.length > 2) return false;
  const groupsOf = (half) => (half === '' ? [] : half.split(':'));
  const groups = halves.flatMap(groupsOf);
  let count = groups.length;
  const last = groups.at(-1);
  if (last !== undefined && last.includes('.')) {
    if (!isIpv4(last) || !halves.at(-1).endsWith(last)) return false;
    groups.pop();
    count += 1;
  }
  if (!groups.every((group) => /^[0-9a-fA-F]{1,4}$/.test(group))) return false;
  return halves.length === 2 ? count <= 7 : count === 8;
}

function isHostName(text) {
  const name = text.endsWith('.') ? text.slice(0, -1) : text;
  if (name.length === 0 || name.length > maxHostNameLength) return false;
  const labels = name.split('.');
  const validLabel = (label) => label.length <= maxLabelLength && /^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?$/.test(label);
  // An all-numeric last label would make a mistyped IPv4 address pass as a name.
  return labels.every(validLabel) && !/^\d+$/.test(labels.at(-1));
}

function addressProblem(text) {
  if (/\s/.test(text)) return 'No blanks: a host name or an IP address';
  if (text.includes(':')) return isIpv6(text) ? '' : 'Not a valid IPv6 address';
  if (/^[\d.]+$/.test(text)) return isIpv4(text) ? '' : 'Not a valid IPv4 address';
  return isHostName(text) ? '' : 'Not a host name or an IPv4/IPv6 address';
}

function portProblem(text) {
  const port = Number(text);
  if (!integerText.test(text) || port < minPort || port > maxPort) return `A whole number from ${minPort} to ${maxPort}`;
  return '';
}

function gatewayIdProblem(text) {
  if (/^[0-9a-fA-F]{16}$/.test(text)) return '';
  if (/^[0-9a-fA-F]*$/.test(text)) return `Exactly ${gatewayIdDigits} hexadecimal digits (this has ${text.length})`;
  return `Exactly ${gatewayIdDigits} hexadecimal digits: 0-9 and A-F only`;
}

function baseFrequencyProblem(text) {
  const value = Number(text);
  const range = `between ${formatMhz(minBaseHz)} and ${formatMhz(maxBaseHz)}`;
  if (decimalText.test(text) && value >= minBaseHz / 1e6 && value <= maxBaseHz / 1e6) {
    return `In Hz, not MHz: ${text} MHz is ${Math.round(value * 1e6)}`;
  }
  if (!integerText.test(text)) return `Whole Hz, ${range}`;
  if (value < minBaseHz || value > maxBaseHz) return `Out of range: ${range} (${minBaseHz} to ${maxBaseHz} Hz)`;
  return '';
}

function offsetProblem(text) {
  const value = Number(text);
  if (!integerText.test(text)) return 'Whole Hz, within ±1 MHz';
  if (Math.abs(value) > maxOffsetHz) return `Out of range: within ±1 MHz (${-maxOffsetHz} to ${maxOffsetHz} Hz)`;
  return '';
}

const problemOf = {
  address: addressProblem,
  port: portProblem,
  gatewayId: gatewayIdProblem,
  baseFrequency: baseFrequencyProblem,
  offset: offsetProblem,
};

// The message for a field's text, or '' when it may be saved. Numbers may
// have blanks around them; the address and the ID may not.
export function fieldProblem(field, text) {
  if (isBlank(text)) return `${field.label} is required`;
  const value = field.kind === 'address' || field.kind === 'gatewayId' ? String(text) : String(text).trim();
  return problemOf[field.kind](value);
}

// The value a valid field's text is saved as.
export function fieldValue(field, text) {
  return field.kind === 'address' || field.kind === 'gatewayId' ? String(text) : Number(String(text).trim());
}

// Within what is accepted, but beyond the radio's own IF window.
export function offsetWarning(text) {
  if (offsetProblem(String(text ?? '').trim()) !== '' || isBlank(text)) return '';
  return Math.abs(Number(text)) > hardwareOffsetHz ? 'Beyond the radio\'s ±0.5 MHz window: it may not be received' : '';
}

// Whole Hz as MHz, with at least three decimals and as many as it takes to
// lose nothing: 868100000 is "868.100 MHz", 868012500 is "868.0125 MHz".
export function formatMhz(hz) {
  const sign = hz < 0 ? '-' : '';
  const magnitude = Math.abs(hz);
  const fraction = String(magnitude % 1e6).padStart(6, '0').replace(/0+$/, '').padEnd(3, '0');
  return `${sign}${Math.floor(magnitude / 1e6)}.${fraction} MHz`;
}

// An offset in kHz, always signed so that it reads as an offset.
export function formatOffset(hz) {
  const sign = hz < 0 ? '−' : '+';
  return `${sign}${Math.abs(hz) / 1000} kHz`;
}
