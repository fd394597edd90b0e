import { useCallback, useEffect, useRef, useState } from 'react';
import { Badge, Button, Tooltip, Typography } from 'antd';
import { ReloadOutlined } from '@ant-design/icons';
import { describeUnitState, statusOfReply } from './unit_state.js';
import { useRefreshWhileVisible } from '../components/visible_refresh.js';
import './forwarder_extras.css';

export const refreshEveryMs = 10000;

// The unit's state from `load(authToken)`: read at once, then every ten
// seconds while the page is visible, and again when it becomes visible.
// `refresh` reads it now and resolves with the new state.
export function useUnitStatus(load, authToken, { poll = true } = {}) {
  const [status, setStatus] = useState(null);
  const latest = useRef(0);

  const refresh = useCallback(async () => {
    const ticket = ++latest.current;
    const next = statusOfReply(await load(authToken));
    if (ticket === latest.current) setStatus(next);
    return next;
  }, [load, authToken]);

  useEffect(() => {
    refresh();
  }, [refresh]);
  useRefreshWhileVisible(refresh, refreshEveryMs, poll);

  return [status, refresh];
}

export function UnitStatusLine({ title, status, onRefresh }) {
  const { badge, label, detail } = describeUnitState(status);
  return (
    <div className="unit-status" data-state={status?.state ?? 'loading'}>
      <Typography.Text strong>{title}</Typography.Text>
      <Badge status={badge} text={label} className="unit-status-badge" />
      <Typography.Text type="secondary" className="unit-status-detail">
        {detail}
      </Typography.Text>
      {onRefresh && (
        <Tooltip title="Check now">
          <Button size="small" type="text" icon={<ReloadOutlined />} aria-label="Check now" onClick={onRefresh} />
        </Tooltip>
      )}
    </div>
  );
}
