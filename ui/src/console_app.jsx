import { lazy, Suspense, useEffect } from 'react';
import { Navigate, Outlet, useLocation } from 'react-router-dom';
import { AuthProvider, useAuth } from './session/auth_context.jsx';
import { useLogoAsIcon } from './components/logo.jsx';
import { LoginPage } from './pages/login_page.jsx';
import { NotFoundPage } from './pages/not_found_page.jsx';
import { FailurePage } from './pages/failure_page.jsx';
import { EarlyVerdict } from './overview/verdict_headline.jsx';

// The console, with the component library it is built from, comes in a chunk
// of its own, so that the login page needs only what it shows; the chunk is
// fetched as soon as the first page is up, while the operator types, and is
// then at hand when the login succeeds.
const loadMainPage = () => import('./pages/main_page.jsx');
const MainPage = lazy(() => loadMainPage().then((module) => ({ default: module.MainPage })));

// Without a token the console's pages go to the login page at once, without
// waiting for the console's chunk; the replaced entry keeps Back from
// returning to a page that would only send the operator here again, and the
// login returns to the page that was asked for. The overview shows its
// verdict while the chunk is on its way.
function ConsolePage({ page }) {
  const { authToken } = useAuth();
  const location = useLocation();
  if (!authToken) return <Navigate to="/login" replace state={{ from: location }} />;
  if (page !== 'overview') return <MainPage page={page} />;
  return (
    <Suspense fallback={<EarlyVerdict authToken={authToken} />}>
      <MainPage page={page} />
    </Suspense>
  );
}

function ConsoleRoot() {
  useLogoAsIcon();
  useEffect(() => {
    loadMainPage();
  }, []);
  return (
    <AuthProvider>
      <Suspense fallback={<div className="page-loading" role="progressbar" aria-label="Loading" />}>
        <Outlet />
      </Suspense>
    </AuthProvider>
  );
}

export const consoleRoutes = [
  {
    element: <ConsoleRoot />,
    errorElement: <FailurePage />,
    children: [
      { path: '/', element: <ConsolePage page="forwarder" /> },
      { path: '/overview', element: <ConsolePage page="overview" /> },
      { path: '/setting', element: <ConsolePage page="setting" /> },
      { path: '/dev-mode', element: <ConsolePage page="devMode" /> },
      { path: '/login', element: <LoginPage /> },
      { path: '*', element: <NotFoundPage /> },
    ],
  },
];
