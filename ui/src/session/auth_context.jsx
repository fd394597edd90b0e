import { createContext, useContext, useMemo, useState } from 'react';
import {
  clearToken,
  forgetToken,
  loadFactoryPassword,
  loadToken,
  replaceToken,
  saveDeviceToken,
  saveToken,
} from './auth_storage.js';

// The login state every page shares: the token, whether it was got with the
// factory password, and logging in and out. It lives apart from the app so
// that the pages can use it without importing the app that imports them.
const AuthContext = createContext(null);

export function useAuth() {
  return useContext(AuthContext);
}

export function AuthProvider({ children }) {
  const [authToken, setAuthToken] = useState(loadToken);
  const [factoryPassword, setFactoryPassword] = useState(loadFactoryPassword);
  const auth = useMemo(
    () => ({
      authToken,
      factoryPassword,
      logIn(token, keepLoggedIn, usesFactoryPassword, deviceToken) {
        saveToken(token, keepLoggedIn, usesFactoryPassword);
        saveDeviceToken(deviceToken);
        setAuthToken(token);
        setFactoryPassword(usesFactoryPassword);
      },
      // The change ended every earlier token and device token; the service
      // handed out fresh ones.
      passwordChanged(freshToken, deviceToken) {
        replaceToken(freshToken);
        saveDeviceToken(deviceToken);
        setAuthToken(freshToken);
        setFactoryPassword(false);
      },
      // This tab's token was refused: it alone is forgotten, and a newer one
      // another tab stored is taken up. Answers whether there was one.
      endSession() {
        const newer = forgetToken(authToken);
        setAuthToken(newer);
        setFactoryPassword(newer ? loadFactoryPassword() : false);
        return newer !== '';
      },
      logOut() {
        clearToken();
        setAuthToken('');
        setFactoryPassword(false);
      },
    }),
    [authToken, factoryPassword],
  );
  return <AuthContext.Provider value={auth}>{children}</AuthContext.Provider>;
}
