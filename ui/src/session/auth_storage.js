// The auth token lives under one key, in local storage when the operator asked
// to stay logged in across browser restarts, otherwise in session storage.
// Only one of the two may hold it, or a later logout would leave a copy behind.
// Whether the service reported the factory password at login is kept beside
// the token, in the same storage, so that it lasts exactly as long.
// The device token proves the browser, not the session: it stays in local
// storage whatever "Keep me logged in" says, and a logout leaves it, so that
// this browser is still recognised at its next login.

const storageKey = 'auth';
const factoryPasswordKey = 'factoryPassword';
const deviceTokenKey = 'deviceToken';

export function loadToken() {
  return localStorage.getItem(storageKey) || sessionStorage.getItem(storageKey) || '';
}

function storageHoldingToken() {
  return localStorage.getItem(storageKey) ? localStorage : sessionStorage;
}

export function saveToken(token, keepLoggedIn, factoryPassword = false) {
  const [kept, dropped] = keepLoggedIn ? [localStorage, sessionStorage] : [sessionStorage, localStorage];
  kept.setItem(storageKey, token);
  dropped.removeItem(storageKey);
  dropped.removeItem(factoryPasswordKey);
  if (factoryPassword) kept.setItem(factoryPasswordKey, 'true');
  else kept.removeItem(factoryPasswordKey);
}

// A password change ends every earlier token and hands out a fresh one: it
// goes where the old one was, and the factory password is no longer in use.
export function replaceToken(token) {
  const storage = storageHoldingToken();
  storage.setItem(storageKey, token);
  storage.removeItem(factoryPasswordKey);
}

export function loadFactoryPassword() {
  return storageHoldingToken().getItem(factoryPasswordKey) === 'true';
}

export function clearToken() {
  for (const storage of [localStorage, sessionStorage]) {
    storage.removeItem(storageKey);
    storage.removeItem(factoryPasswordKey);
  }
}

// Forgets `token` where it is stored, and only it: another tab may have
// logged in again since, and its newer token stays. Answers the token left in
// storage, or ''.
export function forgetToken(token) {
  for (const storage of [localStorage, sessionStorage]) {
    if (storage.getItem(storageKey) !== token) continue;
    storage.removeItem(storageKey);
    storage.removeItem(factoryPasswordKey);
  }
  return loadToken();
}

export function loadDeviceToken() {
  return localStorage.getItem(deviceTokenKey) || '';
}

// Each login hands out the next device token and ends the one it was given;
// a reply without one leaves the stored token as it is.
export function saveDeviceToken(token) {
  if (token) localStorage.setItem(deviceTokenKey, token);
}
