import { useEffect } from 'react';
import { useNavigate } from 'react-router-dom';
import { PlainPage } from '../components/plain_page.jsx';

const redirectDelayMs = 1000;

export function NotFoundPage() {
  const navigate = useNavigate();
  useEffect(() => {
    const timer = setTimeout(() => navigate('/'), redirectDelayMs);
    return () => clearTimeout(timer);
  }, [navigate]);
  // Plain markup: the page is also shown outside the console, before the
  // component library has arrived.
  return (
    <PlainPage>
      <p className="not-found-code">404</p>
      <h1 className="card-heading">Page Not Found</h1>
      <div className="not-found-text">
        <p>You are redirecting to homepage...</p>
        <p>In a second this goes to the console&apos;s home page, the forwarder settings.</p>
      </div>
      <button type="button" className="plain-button" onClick={() => navigate('/')}>
        Go there now
      </button>
    </PlainPage>
  );
}
