// The forwarder's last log lines, where an operator sees why it does not
// start or forward, followed from the journal's cursor while the page is open.
import { useCallback, useEffect, useRef, useState } from 'react';
import { Button, Checkbox, Typography } from 'antd';
import { loadForwarderLog } from '../api/procedures.js';
import { errorText } from '../api/service.js';
import { useRefreshWhileVisible } from '../components/visible_refresh.js';
import { refreshEveryMs } from '../forwarder/unit_status_line.jsx';
import { firstLines, followLines, moreLines, priorityTone } from './log_lines.js';

const clock = (seconds) => new Date(seconds * 1000).toLocaleTimeString([], { hour12: false });

function heldOf(reply) {
  if (!('output' in reply)) return { lines: [], cursor: null, message: errorText(reply) };
  const { lines, cursor, message } = reply.output;
  return { lines, cursor, message };
}

function LogLines({ lines, following }) {
  const box = useRef(null);
  useEffect(() => {
    if (following && box.current) box.current.scrollTop = box.current.scrollHeight;
  }, [lines, following]);
  return (
    <ol className="log-lines" ref={box} tabIndex={0} aria-label="The forwarder's log">
      {lines.map((line, at) => (
        <li key={`${line.time}-${at}`} data-tone={priorityTone(line.priority)}>
          <time dateTime={new Date(line.time * 1000).toISOString()}>{clock(line.time)}</time> {line.text}
        </li>
      ))}
    </ol>
  );
}

export function ForwarderLog({ authToken }) {
  const [asked, setAsked] = useState(firstLines);
  const [log, setLog] = useState(null);
  const [following, setFollowing] = useState(true);
  const held = useRef(null);
  const keep = (next) => {
    held.current = next;
    setLog(next);
  };

  useEffect(() => {
    loadForwarderLog(authToken, { lines: asked }).then((reply) => keep(heldOf(reply)));
  }, [authToken, asked]);

  const follow = useCallback(async () => {
    const { cursor } = held.current ?? {};
    if (!cursor) return;
    const reply = await loadForwarderLog(authToken, { lines: asked, cursor });
    if ('output' in reply && held.current?.cursor === cursor) keep(followLines(held.current, reply.output, asked));
  }, [authToken, asked]);
  useRefreshWhileVisible(follow, refreshEveryMs, following);

  const more = moreLines(asked);
  return (
    <div className="forwarder-log">
      <div className="forwarder-log-actions">
        <Checkbox checked={following} onChange={(event) => setFollowing(event.target.checked)}>Follow</Checkbox>
        <Button size="small" disabled={more === 0 || (log && log.lines.length < asked)} onClick={() => setAsked(more)}>
          Show more
        </Button>
      </div>
      {log?.message && <Typography.Text type="secondary">{log.message}</Typography.Text>}
      {log && !log.message && log.lines.length === 0 && (
        <Typography.Text type="secondary">The forwarder&apos;s journal holds no lines.</Typography.Text>
      )}
      {log && log.lines.length > 0 && <LogLines lines={log.lines} following={following} />}
    </div>
  );
}
