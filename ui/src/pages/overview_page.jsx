// Whether the gateway receives packets and the network server takes them, and
// if not, the log lines that say why. Its code, and the chart's after it,
// come after login, so the login page stays as light as it was.
import { lazy, Suspense, useCallback, useEffect, useMemo, useRef, useState } from 'react';
import { Card, Spin, Typography } from 'antd';
import { useAuth } from '../session/auth_context.jsx';
import { loadForwarderStatus, loadSystemInfo, loadTraffic } from '../api/procedures.js';
import { errorText } from '../api/service.js';
import { useRefreshWhileVisible } from '../components/visible_refresh.js';
import { refreshEveryMs, UnitStatusLine, useUnitStatus } from '../forwarder/unit_status_line.jsx';
import { VerdictHeadline } from '../overview/verdict_headline.jsx';
import { ForwarderLog } from '../overview/forwarder_log.jsx';
import { describeVerdict } from '../overview/verdict.js';
import { chartData, mergeSeries, sinceOf } from '../overview/traffic_series.js';
import { factRows } from '../overview/system_facts.js';
import '../overview/overview.css';

const TrafficChart = lazy(() => import('../overview/traffic_chart.jsx'));

// The verdict and the points held, refreshed with only the newer points; a
// refresh still under way when the next is due lets that one pass, so that
// two never ask with the same `since`.
function useTraffic(authToken) {
  const [state, setState] = useState({ traffic: null, series: null, at: Date.now() / 1000 });
  const series = useRef(null);
  const busy = useRef(false);
  const refresh = useCallback(async () => {
    if (busy.current) return;
    busy.current = true;
    const reply = await loadTraffic(authToken, sinceOf(series.current));
    busy.current = false;
    if ('output' in reply) series.current = mergeSeries(series.current, reply.output);
    const traffic = 'output' in reply ? reply.output : { verdict: null, error: errorText(reply) };
    setState({ traffic, series: series.current, at: Date.now() / 1000 });
  }, [authToken]);
  useEffect(() => {
    refresh();
  }, [refresh]);
  useRefreshWhileVisible(refresh, refreshEveryMs);
  return state;
}

function useSystemInfo(authToken) {
  const [info, setInfo] = useState(null);
  const refresh = useCallback(async () => {
    const reply = await loadSystemInfo(authToken);
    setInfo('output' in reply ? { facts: reply.output } : { message: errorText(reply) });
  }, [authToken]);
  useEffect(() => {
    refresh();
  }, [refresh]);
  useRefreshWhileVisible(refresh, refreshEveryMs);
  return info;
}

function SystemFacts({ info }) {
  if (!info) return <Spin />;
  if (info.message) return <Typography.Text type="danger">{info.message}</Typography.Text>;
  return (
    <dl className="system-facts">
      {factRows(info.facts).map(([label, text, tone]) => (
        <div key={label} data-tone={tone}>
          <dt>{label}</dt>
          <dd>{text}</dd>
        </div>
      ))}
    </dl>
  );
}

function Traffic({ series }) {
  const data = useMemo(() => (series ? chartData(series) : null), [series]);
  if (!series) return <Spin />;
  if (series.time.length === 0) return <Typography.Text type="secondary">No report to draw yet.</Typography.Text>;
  return (
    <Suspense fallback={<Spin />}>
      <TrafficChart data={data} />
    </Suspense>
  );
}

const cardTitle = (text) => <h2 className="card-heading">{text}</h2>;

export function OverviewPage() {
  const { authToken } = useAuth();
  const { traffic, series, at } = useTraffic(authToken);
  const info = useSystemInfo(authToken);
  const [status, refreshStatus] = useUnitStatus(loadForwarderStatus, authToken);
  const verdict = traffic ? describeVerdict(traffic, series, at) : null;
  return (
    <div className="overview">
      {verdict ? <VerdictHeadline verdict={verdict} /> : <Spin />}
      <div className="overview-grid">
        <Card title={cardTitle('Traffic')} className="page-card overview-traffic">
          <Traffic series={series} />
        </Card>
        <Card title={cardTitle('System')} className="page-card overview-system">
          <SystemFacts info={info} />
        </Card>
        <Card title={cardTitle('Forwarder log')} className="page-card overview-log">
          <UnitStatusLine title="Forwarder" status={status} onRefresh={refreshStatus} />
          <ForwarderLog authToken={authToken} />
        </Card>
      </div>
    </div>
  );
}
