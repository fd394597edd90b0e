// The common LoRaWAN channel plans for this two-radio, 8-channel concentrator,
// and which of them a forwarder file follows. Saves write the transmit range of
// the region the page has selected: a range outside the band of the file's
// own channels makes the forwarder refuse every downlink without a word.

import regionsFile from './lora-regions.json' with { type: 'json' };

export const regions = regionsFile.regions;

// What every save wrote before the page knew regions: radio 0 transmits within
// 923-925 MHz. It stays for files whose region cannot be told, so that they
// are saved as they always were, and it brings no band rule.
export const fixedSettingsId = 'fixed';
const fixedTransmitRange = { min: 923000000, max: 925000000 };

export const regionChoices = [
  ...regions.map((region) => ({ id: region.id, label: `${region.id}: ${region.label}` })),
  { id: fixedSettingsId, label: 'Fixed settings (923–925 MHz)' },
];

const channels = [0, 1, 2, 3, 4, 5, 6, 7];

export function regionById(id) {
  return regions.find((region) => region.id === id) ?? null;
}

// Radio 0's transmit range for a choice of the Region select.
export function transmitRange(id) {
  const region = regionById(id);
  return region ? { min: region.radio_0.tx_freq_min, max: region.radio_0.tx_freq_max } : fixedTransmitRange;
}

// The SX1301_conf members a region's plan holds, as a file holds them: the
// radios' centre frequencies, every multi-SF channel, the single-SF LoRa and
// FSK channels.
export function planConcentrator(region) {
  return {
    radio_0: { freq: region.radio_0.freq },
    radio_1: { freq: region.radio_1.freq },
    ...Object.fromEntries(channels.map((channel) => [`chan_multiSF_${channel}`, region.chan_multiSF[channel]])),
    chan_Lora_std: region.chan_Lora_std,
    chan_FSK: region.chan_FSK,
  };
}

// The frequency each enabled multi-SF channel of an SX1301_conf listens on,
// sorted, without repeats; null when an enabled channel's frequency cannot be
// read, since its region cannot then be told either.
export function channelFrequencies(concentrator) {
  const frequencies = new Set();
  for (const channel of channels) {
    const settings = concentrator?.[`chan_multiSF_${channel}`];
    if (settings?.enable !== true) continue;
    const base = concentrator[`radio_${settings.radio}`]?.freq;
    if (!Number.isFinite(base) || !Number.isFinite(settings.if)) return null;
    frequencies.add(base + settings.if);
  }
  return [...frequencies].sort((a, b) => a - b);
}

const planFrequencies = new Map(regions.map((region) => [region.id, channelFrequencies(planConcentrator(region))]));

export function inBand(band, frequency) {
  return frequency >= band.min && frequency <= band.max;
}

// The id of the region a forwarder file follows, or null when none can be
// told. Only the enabled multi-SF channels count: every earlier save rewrote
// the transmit range. A region whose plan has exactly the file's frequencies
// wins; else the narrowest band that holds them all, the first in the list on
// a tie.
export function detectRegion(config) {
  const frequencies = channelFrequencies(config?.SX1301_conf);
  if (!frequencies || frequencies.length === 0) return null;
  const key = frequencies.join();
  const exact = regions.find((region) => planFrequencies.get(region.id).join() === key);
  if (exact) return exact.id;
  const width = (region) => region.band.max - region.band.min;
  const narrowest = regions
    .filter((region) => frequencies.every((frequency) => inBand(region.band, frequency)))
    .reduce((best, region) => (best === null || width(region) < width(best) ? region : best), null);
  return narrowest?.id ?? null;
}
