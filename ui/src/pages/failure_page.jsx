import { useRouteError } from 'react-router-dom';
import { PlainPage } from '../components/plain_page.jsx';

// What the console shows instead of a page that could not be drawn. Mostly a
// part of the console's own code that did not arrive: the uplink dropped, or
// the service restarted, while it was on its way. A browser keeps such a
// failed import for the page's life, so only a reload brings the part back.
// Plain markup: the component library may be the part that is missing.
export function FailurePage() {
  const error = useRouteError();
  const reason = error instanceof Error ? error.message : String(error?.statusText ?? error ?? '');
  return (
    <PlainPage>
      <h1 className="card-heading">The console could not be shown</h1>
      <div className="not-found-text">
        <p>A part of the console did not arrive from the gateway, or could not be drawn.</p>
        <p>Check the connection to the gateway, then reload the page.</p>
        {reason && <p className="failure-reason">{reason}</p>}
      </div>
      <button type="button" className="plain-button" onClick={() => window.location.reload()}>
        Reload
      </button>
    </PlainPage>
  );
}
