import { useState } from 'react';
import { App, Button, Card, Space, Typography } from 'antd';
import { OutcomeAlert } from '../components/outcome_alert.jsx';
import { PlayCircleOutlined, StopOutlined } from '@ant-design/icons';
import { useAuth } from '../session/auth_context.jsx';
import { UnitStatusLine, useUnitStatus } from '../forwarder/unit_status_line.jsx';
import { loadSshStatus, startSsh, stopSsh } from '../api/procedures.js';
import { errorText } from '../api/service.js';

export function DevModePage() {
  const { authToken } = useAuth();
  const { modal } = App.useApp();
  const [busy, setBusy] = useState('');
  const [outcome, setOutcome] = useState(null);
  const [status, refreshStatus] = useUnitStatus(loadSshStatus, authToken, { poll: false });

  function confirmStop() {
    modal.confirm({
      title: 'Stop and disable SSH?',
      content: 'Remote shell access to the gateway ends now and stays off after a reboot. '
        + 'Anyone logged in over SSH, you included, is cut off.',
      okText: 'Stop SSH',
      okButtonProps: { danger: true },
      onOk: () => run('stop', stopSsh, 'SSH has stopped'),
    });
  }

  async function run(action, call, successText) {
    setBusy(action);
    setOutcome(null);
    const reply = await call(authToken);
    await refreshStatus();
    setBusy('');
    setOutcome(reply.error ? { type: 'error', text: errorText(reply) } : { type: 'success', text: successText });
  }

  return (
    <Card title={<h1 className="card-heading">SSH</h1>} className="page-card narrow-card">
      <Typography.Paragraph type="secondary">
        Switches the gateway&apos;s SSH server on or off, now and across reboots.
      </Typography.Paragraph>
      <UnitStatusLine title="SSH server" status={status} onRefresh={refreshStatus} />
      <OutcomeAlert outcome={outcome} onClose={() => setOutcome(null)} />
      <Space wrap>
        <Button
          type="primary"
          icon={<PlayCircleOutlined />}
          loading={busy === 'start'}
          onClick={() => run('start', startSsh, 'SSH has started')}
        >
          Start and Enable SSH
        </Button>
        <Button
          danger
          icon={<StopOutlined />}
          loading={busy === 'stop'}
          onClick={confirmStop}
        >
          Stop and Disable SSH
        </Button>
      </Space>
    </Card>
  );
}
