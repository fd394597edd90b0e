import { Route, Routes } from 'react-router-dom';
import { AuthProvider } from './auth_context.jsx';
import { useLogoAsIcon } from './components/logo.jsx';
import { LoginPage } from './pages/login_page.jsx';
import { MainPage } from './pages/main_page.jsx';
import { NotFoundPage } from './pages/not_found_page.jsx';

export function ConsoleApp() {
  useLogoAsIcon();
  return (
    <AuthProvider>
      <Routes>
        <Route path="/" element={<MainPage page="forwarder" />} />
        <Route path="/setting" element={<MainPage page="setting" />} />
        <Route path="/dev-mode" element={<MainPage page="devMode" />} />
        <Route path="/login" element={<LoginPage />} />
        <Route path="*" element={<NotFoundPage />} />
      </Routes>
    </AuthProvider>
  );
}
