import { Fragment, useCallback, useEffect, useState } from 'react';
import { Alert, App, Button, Card, Divider, Form, Input, InputNumber, Spin } from 'antd';
import { DownloadOutlined } from '@ant-design/icons';
import { useAuth } from '../auth_context.jsx';
import { HistoryCard, useHistory } from '../components/history_card.jsx';
import { UnitStatusLine, useUnitStatus } from '../components/unit_status_line.jsx';
import { applyOutcome, versionFileName } from '../config_history.js';
import { downloadText } from '../download.js';
import { loadForwarderStatus, restoreVersion } from '../forwarder_calls.js';
import { buildPatch, forwarderFields, formValuesOf } from '../forwarder_form.js';
import { errorText, loadForwarderConfig, saveForwarderConfig } from '../service.js';

const formLayout = { labelCol: { xs: { span: 24 }, sm: { span: 8 } }, wrapperCol: { xs: { span: 24 }, sm: { span: 16 } } };
const saveOffset = { xs: { span: 24 }, sm: { offset: 8, span: 16 } };

// Form.Item hands its child the value, change handler and id through props.
function FieldInput({ field, ...bound }) {
  if (!field.numeric) return <Input {...bound} />;
  if (field.name === 'serverPort') return <InputNumber {...bound} min={1} max={65535} precision={0} className="full-width" />;
  return <InputNumber {...bound} className="full-width" />;
}

function ForwarderForm({ initialValues, onSave, saving }) {
  return (
    <Form {...formLayout} initialValues={initialValues} onFinish={onSave} className="forwarder-form">
      {forwarderFields.map((field) => (
        <Fragment key={field.name}>
          {field.divider && <Divider orientation="left">{field.divider}</Divider>}
          <Form.Item label={field.label} name={field.name}>
            <FieldInput field={field} />
          </Form.Item>
        </Fragment>
      ))}
      <Form.Item wrapperCol={saveOffset}>
        <Button type="primary" htmlType="submit" loading={saving}>
          Save
        </Button>
      </Form.Item>
    </Form>
  );
}

const outcomeAlerts = {
  applied: { type: 'success', message: 'Applied: the forwarder restarted and stayed running on the new configuration.' },
  saved: { type: 'info', message: 'Saved without a restart: no forwarder unit is configured.' },
  rolledBack: { type: 'error', message: 'Rolled back: the new configuration was not kept.' },
  failed: { type: 'error', message: 'Not applied.' },
};

function ApplyState({ applying, outcome, onClose }) {
  if (applying) {
    return (
      <Alert
        className="apply-outcome"
        type="info"
        showIcon
        icon={<Spin size="small" />}
        message="Applying… checking that the forwarder stays up"
      />
    );
  }
  if (!outcome) return null;
  const { type, message } = outcomeAlerts[outcome.kind];
  return (
    <Alert
      className="apply-outcome"
      data-outcome={outcome.kind}
      type={type}
      showIcon
      closable
      onClose={onClose}
      message={message}
      description={outcome.text || undefined}
    />
  );
}

export function ForwarderPage() {
  const { authToken } = useAuth();
  const { message } = App.useApp();
  const [state, setState] = useState({ phase: 'loading' });
  const [applying, setApplying] = useState(false);
  const [outcome, setOutcome] = useState(null);
  const [status, refreshStatus] = useUnitStatus(loadForwarderStatus, authToken);
  const [history, reloadHistory] = useHistory(authToken);

  const load = useCallback(async () => {
    setState({ phase: 'loading' });
    const reply = await loadForwarderConfig(authToken);
    setState('output' in reply ? { phase: 'ready', values: formValuesOf(reply.output), loadedAt: Date.now() } : { phase: 'failed' });
  }, [authToken]);

  useEffect(() => {
    load();
  }, [load]);

  // Runs one change and reports exactly one outcome; the unit's state is read
  // afresh, since the change restarted it.
  async function apply(call) {
    setApplying(true);
    setOutcome(null);
    const reply = await call();
    const unit = await refreshStatus();
    setApplying(false);
    setOutcome(applyOutcome(reply, unit.state));
    reloadHistory();
    return reply;
  }

  async function save(values) {
    const reply = await apply(() => saveForwarderConfig(authToken, buildPatch(values)));
    if ('output' in reply) message.success('Configuration updated');
    else message.error('Update failed');
  }

  async function restore(id) {
    const reply = await apply(() => restoreVersion(authToken, id));
    if ('output' in reply) {
      message.success(`Version ${id} restored`);
      load();
    } else {
      message.error('Restore failed');
    }
  }

  async function downloadCurrent() {
    const reply = await loadForwarderConfig(authToken);
    if ('output' in reply) downloadText(versionFileName(), JSON.stringify(reply.output, null, 2));
    else message.error(errorText(reply));
  }

  return (
    <>
      <Card title="Forwarder Setting" className="page-card">
        <UnitStatusLine title="Forwarder" status={status} onRefresh={refreshStatus} />
        <ApplyState applying={applying} outcome={outcome} onClose={() => setOutcome(null)} />
        {state.phase === 'loading' && <Spin size="large" className="card-spinner" />}
        {state.phase === 'failed' && (
          <Alert
            type="error"
            showIcon
            message="Failed to fetch configuration"
            action={<Button onClick={load}>Retry</Button>}
          />
        )}
        {state.phase === 'ready' && (
          <ForwarderForm key={state.loadedAt} initialValues={state.values} onSave={save} saving={applying} />
        )}
      </Card>
      <HistoryCard authToken={authToken} history={history} busy={applying} onRestore={restore}>
        <Button icon={<DownloadOutlined />} onClick={downloadCurrent}>
          Download current configuration
        </Button>
      </HistoryCard>
    </>
  );
}
