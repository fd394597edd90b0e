import { createContext, useContext, useMemo, useState } from 'react';
import { clearToken, loadToken, saveToken } from './auth_storage.js';

// The login state every page shares: the token, and logging in and out. It
// lives apart from the app so that the pages can use it without importing the
// app that imports them.
const AuthContext = createContext(null);

export function useAuth() {
  return useContext(AuthContext);
}

export function AuthProvider({ children }) {
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
  return <AuthContext.Provider value={auth}>{children}</AuthContext.Provider>;
}
