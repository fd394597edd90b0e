import { useEffect } from 'react';
import { Button, Result } from 'antd';
import { useNavigate } from 'react-router-dom';
import { Logo } from '../components/logo.jsx';

const redirectDelayMs = 1000;

export function NotFoundPage() {
  const navigate = useNavigate();
  useEffect(() => {
    const timer = setTimeout(() => navigate('/'), redirectDelayMs);
    return () => clearTimeout(timer);
  }, [navigate]);
  return (
    <main className="not-found">
      <div className="not-found-brand">
        <Logo size={36} />
        <span>Tallowmere</span>
      </div>
      <Result
        status="404"
        title={<h1 className="card-heading">Page Not Found</h1>}
        subTitle={
          <>
            <p>You are redirecting to homepage...</p>
            <p>In a second this goes to the console&apos;s home page, the forwarder settings.</p>
          </>
        }
        extra={
          <Button type="primary" onClick={() => navigate('/')}>
            Go there now
          </Button>
        }
      />
    </main>
  );
}
