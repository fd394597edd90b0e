import { useEffect } from 'react';
import { Typography } from 'antd';
import { useNavigate } from 'react-router-dom';

const redirectDelayMs = 1000;

// Plain text rather than antd's Result, whose stock illustrations weigh
// about 40 KB of the bundle.
export function NotFoundPage() {
  const navigate = useNavigate();
  useEffect(() => {
    const timer = setTimeout(() => navigate('/'), redirectDelayMs);
    return () => clearTimeout(timer);
  }, [navigate]);
  return (
    <div className="not-found">
      <Typography.Title level={1} type="secondary">
        404
      </Typography.Title>
      <Typography.Title level={3}>Page Not Found</Typography.Title>
      <Typography.Text type="secondary">You are redirecting to homepage...</Typography.Text>
    </div>
  );
}
