import { useState } from 'react';
import { App, Button, Card, Space, Typography } from 'antd';
import { PlayCircleOutlined, StopOutlined } from '@ant-design/icons';
import { useAuth } from '../session/auth_context.jsx';
import { UnitStatusLine, useUnitStatus } from '../forwarder/unit_status_line.jsx';
import { loadSshStatus, startSsh, stopSsh } from '../api/procedures.js';
import { errorText } from '../api/service.js';

export function DevModePage() {
  const { authToken } = useAuth();
  const { message, modal } = App.useApp();
  const [busy, setBusy] = useState('');
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
    const reply = await call(authToken);
    await refreshStatus();
    setBusy('');
    if (reply.error) message.error(errorText(reply));
    else message.success(successText);
  }

  return (
    <Card title={<h1 className="card-heading">SSH</h1>} className="page-card narrow-card">
      <Typography.Paragraph type="secondary">
        Switches the gateway&apos;s SSH server on or off, now and across reboots.
      </Typography.Paragraph>
      <UnitStatusLine title="SSH server" status={status} onRefresh={refreshStatus} />
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
