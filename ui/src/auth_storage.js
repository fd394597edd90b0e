// The auth token lives under one key, in local storage when the operator asked
// to stay logged in across browser restarts, otherwise in session storage.
// Only one of the two may hold it, or a later logout would leave a copy behind.

const storageKey = 'auth';

export function loadToken() {
  return localStorage.getItem(storageKey) || sessionStorage.getItem(storageKey) || '';
}

export function saveToken(token, keepLoggedIn) {
  const [kept, dropped] = keepLoggedIn ? [localStorage, sessionStorage] : [sessionStorage, localStorage];
  kept.setItem(storageKey, token);
  dropped.removeItem(storageKey);
}

export function clearToken() {
  localStorage.removeItem(storageKey);
  sessionStorage.removeItem(storageKey);
}
