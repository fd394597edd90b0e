// Every procedure of the service the UI calls, by the path it is called under.
// The older procedures are under /rpc/, the later ones under /rpc/v1/; these
// paths are the service's and stay exactly as they are. Each call's reply is
// the service's JSON: `output` on success, `error` (`code`, `message`) else.
import { callEarly, peekEarly } from './early_calls.js';
import { callService, callWithToken } from './service.js';

// The forwarder page's first three reads, also started early (below).
const forwarderConfigGetPath = '/rpc/forwarder-config/get';
const forwarderStatusPath = '/rpc/v1/forwarder/status';
const historyPath = '/rpc/v1/forwarder-config/history';
// The overview page's verdict and facts, also started early.
const trafficPath = '/rpc/v1/forwarder/traffic';
const systemInfoPath = '/rpc/v1/system/info';

// The only call without a token: it hands one out. The browser's device token,
// when it has one, goes along so that the login is not held to the limit that
// strangers share.
export const login = (username, password, deviceToken) =>
  callService('/rpc/v1/login/password', deviceToken ? { username, password, deviceToken } : { username, password });

export const updatePassword = (auth, currentPassword, newPassword) =>
  callWithToken('/rpc/password/update', { auth, input: { currentPassword, newPassword } });

export const loadForwarderConfig = (auth) => callWithToken(forwarderConfigGetPath, { auth });

// The file's text as it stands, valid or not, with the parser's complaint.
export const loadForwarderText = (auth) => callWithToken('/rpc/v1/forwarder-config/raw', { auth });

export const saveForwarderConfig = (auth, patch) =>
  callWithToken('/rpc/forwarder-config/patch', { input: patch, auth });

export const loadHistory = (auth) => callWithToken(historyPath, { auth });

export const loadVersion = (auth, id) => callWithToken('/rpc/v1/forwarder-config/version', { auth, input: { id } });

export const restoreVersion = (auth, id) => callWithToken('/rpc/v1/forwarder-config/restore', { auth, input: { id } });

export const loadForwarderStatus = (auth) => callWithToken(forwarderStatusPath, { auth });

// The whole window without `since`; only the newer points with it.
export const loadTraffic = (auth, since) =>
  callWithToken(trafficPath, since === undefined ? { auth } : { auth, input: { since } });

// The last `lines` lines, or those after `cursor`.
export const loadForwarderLog = (auth, { lines, cursor }) =>
  callWithToken('/rpc/v1/forwarder/log', { auth, input: cursor ? { lines, cursor } : { lines } });

export const loadSystemInfo = (auth) => callWithToken(systemInfoPath, { auth });

export const startSsh = (auth) => callWithToken('/rpc/sshd/start', { auth, input: {} });

export const stopSsh = (auth) => callWithToken('/rpc/sshd/stop', { auth, input: {} });

export const loadSshStatus = (auth) => callWithToken('/rpc/v1/sshd/status', { auth });

// The forwarder page's first reads, started by the entry script before the
// page's own script has arrived; the page's calls take their replies.
export function startForwarderPageReads(auth) {
  for (const path of [forwarderConfigGetPath, forwarderStatusPath, historyPath]) callEarly(path, { auth }, callService);
}

// The overview page's verdict and facts, started at login (and by a reload of
// the page) while the console's script is still on its way.
export function startOverviewReads(auth) {
  for (const path of [trafficPath, systemInfoPath]) callEarly(path, { auth }, callService);
}

// The early reply of the overview's verdict, left for the page to take.
export const earlyTraffic = (auth) => peekEarly(trafficPath, { auth });

// The early reply of the system's facts, left for the overview to take.
export const earlySystemInfo = (auth) => peekEarly(systemInfoPath, { auth });
