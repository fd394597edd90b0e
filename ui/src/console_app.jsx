import { lazy, Suspense, useEffect } from 'react';
import { Route, Routes } from 'react-router-dom';
import { AuthProvider } from './auth_context.jsx';
import { useLogoAsIcon } from './components/logo.jsx';
import { LoginPage } from './pages/login_page.jsx';
import { NotFoundPage } from './pages/not_found_page.jsx';

// The console comes in a chunk of its own, so that the login page needs only
// what it shows; the chunk is fetched as soon as the first page is up, while
// the operator types, and is then at hand when the login succeeds.
const loadMainPage = () => import('./pages/main_page.jsx');
const MainPage = lazy(() => loadMainPage().then((module) => ({ default: module.MainPage })));

export function ConsoleApp() {
  useLogoAsIcon();
  useEffect(() => {
    loadMainPage();
  }, []);
  return (
    <AuthProvider>
      <Suspense fallback={<div className="page-loading" role="progressbar" aria-label="Loading" />}>
        <Routes>
          <Route path="/" element={<MainPage page="forwarder" />} />
          <Route path="/setting" element={<MainPage page="setting" />} />
          <Route path="/dev-mode" element={<MainPage page="devMode" />} />
          <Route path="/login" element={<LoginPage />} />
          <Route path="*" element={<NotFoundPage />} />
        </Routes>
      </Suspense>
    </AuthProvider>
  );
}
