import { useEffect } from 'react';
import { Button } from 'antd';
import { useNavigate } from 'react-router-dom';
import { Logo } from '../components/logo.jsx';

const redirectDelayMs = 1000;

export function NotFoundPage() {
  const navigate = useNavigate();
  useEffect(() => {
    const timer = setTimeout(() => navigate('/'), redirectDelayMs);
    return () => clearTimeout(timer);
  }, [navigate]);
  // Plain markup rather than antd's Result: its 404 illustration alone
  // would weigh more than the rest of this page.
  return (
    <main className="not-found">
      <div className="not-found-brand">
        <Logo size={36} />
        <span>Tallowmere</span>
      </div>
      <p className="not-found-code">404</p>
      <h1 className="card-heading">Page Not Found</h1>
      <div className="not-found-text">
        <p>You are redirecting to homepage...</p>
        <p>In a second this goes to the console&apos;s home page, the forwarder settings.</p>
      </div>
      <Button type="primary" onClick={() => navigate('/')}>
        Go there now
      </Button>
    </main>
  );
}
