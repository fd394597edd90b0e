import { useEffect, useState } from 'react';
import { Button, Card, Form, Input } from 'antd';
import { useLocation } from 'react-router-dom';
import { useAuth } from '../session/auth_context.jsx';
import { OutcomeAlert } from '../components/outcome_alert.jsx';
import { updatePassword } from '../api/procedures.js';
import { errorText } from '../api/service.js';

// Shorter passwords fall to guessing over the network within days; the
// service refuses none, so the page asks for this much before sending.
const minPasswordLength = 8;

// The service's answer to a current password that is not the account's.
const passwordMismatch = 24004;

const required = (message) => [{ required: true, message }];
const newPasswordRules = [
  ...required('New password is required'),
  { min: minPasswordLength, message: `At least ${minPasswordLength} characters` },
];

export function SettingPage() {
  const { authToken, passwordChanged } = useAuth();
  const [form] = Form.useForm();
  const [busy, setBusy] = useState(false);
  const [outcome, setOutcome] = useState(null);
  const location = useLocation();

  // Arriving from the factory password's banner, the operator is here to type.
  useEffect(() => {
    if (location.state?.focusFirstField) form.focusField('currentPassword');
  }, [location, form]);

  async function submit({ currentPassword, newPassword, newPasswordAgain }) {
    setOutcome(null);
    if (newPassword !== newPasswordAgain) {
      form.setFields([{ name: 'newPasswordAgain', errors: ['New Passwords do not match'] }]);
      return;
    }
    setBusy(true);
    const reply = await updatePassword(authToken, currentPassword, newPassword);
    setBusy(false);
    if (reply.error) {
      setOutcome({ type: 'error', text: errorText(reply) });
      if (reply.error.code === passwordMismatch) {
        form.setFields([{ name: 'currentPassword', errors: ['This is not the current password'] }]);
      }
      return;
    }
    setOutcome({ type: 'success', text: 'Password updated succesfully' });
    form.resetFields();
    if (reply.output?.auth) passwordChanged(reply.output.auth, reply.output.deviceToken);
  }

  return (
    <Card title={<h1 className="card-heading">Update Password</h1>} className="page-card narrow-card">
      <OutcomeAlert outcome={outcome} onClose={() => setOutcome(null)} />
      <Form form={form} layout="vertical" onFinish={submit} requiredMark={false} scrollToFirstError={{ focus: true }}>
        <Form.Item label="Current Password" name="currentPassword" rules={required('Current password is required')}>
          <Input.Password autoComplete="current-password" />
        </Form.Item>
        <Form.Item
          label="New Password"
          name="newPassword"
          rules={newPasswordRules}
          extra={`At least ${minPasswordLength} characters.`}
        >
          <Input.Password autoComplete="new-password" />
        </Form.Item>
        <Form.Item label="New Password Again" name="newPasswordAgain" rules={required('New password is required')}>
          <Input.Password autoComplete="new-password" />
        </Form.Item>
        <Button type="primary" htmlType="submit" loading={busy}>
          Update
        </Button>
      </Form>
    </Card>
  );
}
