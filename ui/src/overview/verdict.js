// What the overview page says first: whether the gateway receives packets and
// the network server takes them, from the service's verdict and the points
// the page holds.

const durationUnits = [['d', 86400], ['h', 3600], ['min', 60], ['s', 1]];

// "2 min 30 s", "3 h 5 min", "2 d 4 h": the two largest units, so that a
// headline stays short.
export function formatDuration(seconds) {
  let rest = Math.max(0, Math.round(seconds));
  const parts = [];
  for (const [name, size] of durationUnits) {
    const count = Math.floor(rest / size);
    rest -= count * size;
    if (parts.length > 0 || count > 0) parts.push([count, name]);
  }
  const [largest, next] = parts;
  if (!largest) return '0 s';
  return next && next[0] > 0 ? `${largest.join(' ')} ${next.join(' ')}` : largest.join(' ');
}

// The time of the newest point with a packet received, or null.
export function lastPacketTime(series) {
  for (let at = (series?.time.length ?? 0) - 1; at >= 0; at--) {
    if (series.received[at] > 0) return series.time[at];
  }
  return null;
}

function noPackets(series, nowSeconds) {
  const last = lastPacketTime(series);
  if (last !== null) return `No packets for ${formatDuration(nowSeconds - last)}`;
  const first = series?.time[0];
  return first === undefined ? 'No packets' : `No packets for over ${formatDuration(nowSeconds - first)}`;
}

function reportDetail(verdict, nowSeconds) {
  if (verdict.lastReport === null) return '';
  return `Last report ${formatDuration(nowSeconds - verdict.lastReport)} ago; the forwarder reports every ` +
    `${formatDuration(verdict.intervalSeconds)}.`;
}

// { tone: ok | warning | error | unknown, headline, detail } for a
// forwarder/traffic output; `series` are the points held, `nowSeconds` the
// clock in Unix seconds. A failed call reads as no report, with its error.
export function describeVerdict(traffic, series, nowSeconds) {
  const verdict = traffic?.verdict;
  if (!verdict || verdict.reports === 'unknown') {
    return { tone: 'unknown', headline: 'No report from the forwarder', detail: verdict?.message ?? traffic?.error ?? '' };
  }
  const detail = [reportDetail(verdict, nowSeconds), verdict.message].filter(Boolean).join(' ');
  if (verdict.reports === 'stale') {
    return { tone: 'error', headline: `No report from the forwarder for ${formatDuration(nowSeconds - verdict.lastReport)}`,
      detail };
  }
  if (verdict.receiving !== true) return { tone: 'warning', headline: noPackets(series, nowSeconds), detail };
  if (verdict.serverAnswering === false) {
    return { tone: 'error', headline: 'Receiving, but the network server does not answer', detail };
  }
  if (verdict.serverAnswering === null) {
    return { tone: 'warning', headline: 'Receiving; the reports say nothing of the network server', detail };
  }
  return { tone: 'ok', headline: 'Receiving and forwarding', detail };
}
