// Calls for the units' state and the forwarder configuration's history.
import { callWithToken } from './service.js';

export const loadForwarderStatus = (auth) => callWithToken('/rpc/v1/forwarder/status', { auth });

export const loadSshStatus = (auth) => callWithToken('/rpc/v1/sshd/status', { auth });

export const loadHistory = (auth) => callWithToken('/rpc/v1/forwarder-config/history', { auth });

export const loadVersion = (auth, id) => callWithToken('/rpc/v1/forwarder-config/version', { auth, input: { id } });

export const restoreVersion = (auth, id) => callWithToken('/rpc/v1/forwarder-config/restore', { auth, input: { id } });
