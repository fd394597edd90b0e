// The chart of received, forwarded and acknowledged packets: uPlot, in a
// chunk of its own that comes after the verdict and the facts.
import { useEffect, useRef } from 'react';
import uPlot from 'uplot';
import 'uplot/dist/uPlot.min.css';

// Phones get a lower chart, so that the log still starts on the first screen.
const heightFor = (width) => (width < 500 ? 180 : 240);

// Times on the 24-hour clock, a tick at least this far from the next, so
// that labels never run into each other on a phone; the window is a day.
const timeText = uPlot.fmtDate('{HH}:{mm}');
const timeAxis = {
  space: 50,
  values: (plot, ticks) => ticks.map((seconds) => timeText(new Date(seconds * 1000))),
};

const lines = [
  { label: 'Received', stroke: '#1668dc' },
  { label: 'Forwarded', stroke: '#237804' },
  { label: 'Acknowledged', stroke: '#ad4e00', dash: [6, 4] },
];

function optionsFor(element) {
  const width = element.clientWidth;
  return {
    width,
    height: heightFor(width),
    series: [{}, ...lines.map((line) => ({ ...line, width: 2, spanGaps: false }))],
    axes: [timeAxis, { size: 44 }],
    legend: { live: false },
    // The page's tests read how many points the chart drew.
    hooks: { draw: [(plot) => { element.dataset.points = String(plot.data[0].length); }] },
  };
}

export default function TrafficChart({ data }) {
  const box = useRef(null);
  const plot = useRef(null);
  useEffect(() => {
    const element = box.current;
    const chart = new uPlot(optionsFor(element), data, element);
    plot.current = chart;
    const observer = new ResizeObserver(() => {
      const width = element.clientWidth;
      if (width !== chart.width) chart.setSize({ width, height: heightFor(width) });
    });
    observer.observe(element);
    return () => {
      observer.disconnect();
      chart.destroy();
    };
    // Made once: new points go through setData below.
  }, []);
  useEffect(() => {
    plot.current?.setData(data);
  }, [data]);
  return <div ref={box} className="traffic-chart" role="figure" aria-label="Packets received, forwarded and acknowledged per report" />;
}
