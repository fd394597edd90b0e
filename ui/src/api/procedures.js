// Calls for the units' state and the forwarder configuration's history.
import { callEarly } from './early_calls.js';
import { callService, callWithToken, forwarderConfigGetPath } from './service.js';

const forwarderStatusPath = '/rpc/v1/forwarder/status';
const historyPath = '/rpc/v1/forwarder-config/history';

export const loadForwarderStatus = (auth) => callWithToken(forwarderStatusPath, { auth });

export const loadSshStatus = (auth) => callWithToken('/rpc/v1/sshd/status', { auth });

export const loadHistory = (auth) => callWithToken(historyPath, { auth });

export const loadVersion = (auth, id) => callWithToken('/rpc/v1/forwarder-config/version', { auth, input: { id } });

export const restoreVersion = (auth, id) => callWithToken('/rpc/v1/forwarder-config/restore', { auth, input: { id } });

// The forwarder page's first reads, started by the entry script before the
// page's own script has arrived; the page's calls take their replies.
export function startForwarderPageReads(auth) {
  for (const path of [forwarderConfigGetPath, forwarderStatusPath, historyPath]) callEarly(path, { auth }, callService);
}
