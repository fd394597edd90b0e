// The overview's headline in plain elements, so that the first script can
// show it while the console's chunk is still on its way.
import { useEffect, useState } from 'react';
import { earlyTraffic } from '../api/procedures.js';
import { describeVerdict } from './verdict.js';

export function VerdictHeadline({ verdict }) {
  return (
    <section className={`verdict verdict-${verdict.tone}`} data-tone={verdict.tone} aria-live="polite">
      <span className="verdict-mark" aria-hidden="true" />
      <div>
        <h1 className="verdict-headline">{verdict.headline}</h1>
        {verdict.detail && <p className="verdict-detail">{verdict.detail}</p>}
      </div>
    </section>
  );
}

// Stands in for the overview while its code comes: the verdict from the reply
// started at login, as soon as it is there. `shell` tells that the console
// already draws the page's landmark around it.
export function EarlyVerdict({ authToken, shell = false }) {
  const [verdict, setVerdict] = useState(null);
  useEffect(() => {
    let shown = true;
    earlyTraffic(authToken)?.then((reply) => {
      if (shown && 'output' in reply) setVerdict(describeVerdict(reply.output, reply.output.series, Date.now() / 1000));
    });
    return () => {
      shown = false;
    };
  }, [authToken]);
  const Landmark = shell ? 'div' : 'main';
  return (
    <Landmark className={shell ? 'early-overview' : 'early-overview early-overview-alone'}>
      {verdict && <VerdictHeadline verdict={verdict} />}
      <p className="early-overview-loading" role="progressbar" aria-label="Loading">Loading the overview…</p>
    </Landmark>
  );
}
