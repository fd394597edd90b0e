// The points of forwarder/traffic the overview page holds between refreshes,
// and what its chart draws of them.

// The service keeps a day of reports; the page keeps no more, so that a page
// left open for days draws and holds the same day.
const windowSeconds = 86400;

const emptySeries = { time: [], received: [], forwarded: [], pushDataAck: [] };

// The `since` of the next refresh: the time of the newest point held.
export function sinceOf(series) {
  return series?.time.at(-1);
}

// The points held after a reply: a complete reply replaces them, any other
// adds its newer points; points older than a day before the newest go.
export function mergeSeries(held, output) {
  const series = output.complete || !held
    ? output.series
    : Object.fromEntries(Object.entries(held).map(([name, values]) => [name, values.concat(output.series[name] ?? [])]));
  const newest = series.time.at(-1);
  const first = series.time.findIndex((time) => time > newest - windowSeconds);
  if (first <= 0) return series;
  return Object.fromEntries(Object.entries(series).map(([name, values]) => [name, values.slice(first)]));
}

// uPlot's data: the times, then received, forwarded and acknowledged packets.
// Acknowledged is what was forwarded times the share of PUSH_DATA datagrams
// the network server acknowledged, since the packets travel in them.
export function chartData(series = emptySeries) {
  const acknowledged = series.forwarded.map((forwarded, at) => {
    const share = series.pushDataAck[at];
    return forwarded === null || share === null ? null : Math.round((forwarded * share) / 100);
  });
  return [series.time, series.received, series.forwarded, acknowledged];
}
