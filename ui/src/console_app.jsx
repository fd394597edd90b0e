import { createContext, useContext, useMemo, useState } from 'react';
import { Route, Routes } from 'react-router-dom';
import { clearToken, loadToken, saveToken } from './auth_storage.js';
import { LoginPage } from './pages/login_page.jsx';
import { MainPage } from './pages/main_page.jsx';
import { NotFoundPage } from './pages/not_found_page.jsx';

const AuthContext = createContext(null);

export function useAuth() {
  return useContext(AuthContext);
}

export function ConsoleApp() {
  const [authToken, setAuthToken] = useState(loadToken);
  const auth = useMemo(
    () => ({
      authToken,
      logIn(token, keepLoggedIn) {
        saveToken(token, keepLoggedIn);
        setAuthToken(token);
      },
      logOut() {
        clearToken();
        setAuthToken('');
      },
    }),
    [authToken],
  );
  return (
    <AuthContext.Provider value={auth}>
      <Routes>
        <Route path="/" element={<MainPage />} />
        <Route path="/login" element={<LoginPage />} />
        <Route path="*" element={<NotFoundPage />} />
      </Routes>
    </AuthContext.Provider>
  );
}
