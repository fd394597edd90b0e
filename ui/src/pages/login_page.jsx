import { useEffect, useState } from 'react';
import { App, Button, Checkbox, Form, Input, Typography } from 'antd';
import { LockOutlined, UserOutlined } from '@ant-design/icons';
import { useNavigate } from 'react-router-dom';
import { useAuth } from '../auth_context.jsx';
import { Logo } from '../components/logo.jsx';
import { loadToken } from '../auth_storage.js';
import { errorText, login } from '../service.js';
import { versionText } from '../version.js';

export function LoginPage() {
  const { logIn } = useAuth();
  const navigate = useNavigate();
  const { message } = App.useApp();
  const [busy, setBusy] = useState(false);

  useEffect(() => {
    if (loadToken()) navigate('/');
  }, [navigate]);

  async function submit({ username, password, keepLoggedIn }) {
    setBusy(true);
    const reply = await login(username, password);
    setBusy(false);
    if (reply.error || !reply.output?.auth) {
      message.error(errorText(reply));
      return;
    }
    logIn(reply.output.auth, keepLoggedIn, reply.output.factoryPassword === true);
    navigate('/');
  }

  return (
    <main className="login-screen">
      <div className="login-dialog">
        <div className="login-brand">
          <Logo size={56} />
          <Typography.Title level={1}>Tallowmere LoRa Gateway</Typography.Title>
        </div>
        <Form layout="vertical" initialValues={{ keepLoggedIn: false }} onFinish={submit} requiredMark={false}>
          <Form.Item label="Username" name="username" rules={[{ required: true, message: 'Username is required' }]}>
            <Input prefix={<UserOutlined />} autoComplete="username" autoFocus />
          </Form.Item>
          <Form.Item label="Password" name="password" rules={[{ required: true, message: 'Password is required' }]}>
            <Input.Password prefix={<LockOutlined />} autoComplete="current-password" />
          </Form.Item>
          <Form.Item name="keepLoggedIn" valuePropName="checked">
            <Checkbox>Keep me logged in</Checkbox>
          </Form.Item>
          <Button type="primary" htmlType="submit" block size="large" loading={busy}>
            Login
          </Button>
        </Form>
      </div>
      <div className="login-version">{versionText}</div>
    </main>
  );
}
