import { Fragment, useCallback, useEffect, useState } from 'react';
import { Alert, App, Button, Card, Divider, Form, Input, InputNumber, Spin } from 'antd';
import { useAuth } from '../auth_context.jsx';
import { buildPatch, forwarderFields, formValuesOf } from '../forwarder_form.js';
import { loadForwarderConfig, saveForwarderConfig } from '../service.js';

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

export function ForwarderPage() {
  const { authToken } = useAuth();
  const { message } = App.useApp();
  const [state, setState] = useState({ phase: 'loading' });
  const [saving, setSaving] = useState(false);

  const load = useCallback(async () => {
    setState({ phase: 'loading' });
    const reply = await loadForwarderConfig(authToken);
    setState('output' in reply ? { phase: 'ready', values: formValuesOf(reply.output) } : { phase: 'failed' });
  }, [authToken]);

  useEffect(() => {
    load();
  }, [load]);

  async function save(values) {
    setSaving(true);
    const reply = await saveForwarderConfig(authToken, buildPatch(values));
    setSaving(false);
    if ('output' in reply) message.success('Configuration updated');
    else message.error('Update failed');
  }

  return (
    <Card title="Forwarder Setting" className="page-card">
      {state.phase === 'loading' && <Spin size="large" className="card-spinner" />}
      {state.phase === 'failed' && (
        <Alert
          type="error"
          showIcon
          message="Failed to fetch configuration"
          action={<Button onClick={load}>Retry</Button>}
        />
      )}
      {state.phase === 'ready' && <ForwarderForm initialValues={state.values} onSave={save} saving={saving} />}
    </Card>
  );
}
