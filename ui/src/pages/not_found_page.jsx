import { useEffect } from 'react';
import { Result } from 'antd';
import { useNavigate } from 'react-router-dom';

const redirectDelayMs = 1000;

export function NotFoundPage() {
  const navigate = useNavigate();
  useEffect(() => {
    const timer = setTimeout(() => navigate('/'), redirectDelayMs);
    return () => clearTimeout(timer);
  }, [navigate]);
  return (
    <div className="not-found">
      <Result status="404" title="Page Not Found" subTitle="You are redirecting to homepage..." />
    </div>
  );
}
