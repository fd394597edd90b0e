// Calls for the units' state and the forwarder configuration's history.
import { callService } from './service.js';

export const loadForwarderStatus = (auth) => callService('/rpc/v1/forwarder/status', { auth });

export const loadSshStatus = (auth) => callService('/rpc/v1/sshd/status', { auth });

export const loadHistory = (auth) => callService('/rpc/v1/forwarder-config/history', { auth });

export const loadVersion = (auth, id) => callService('/rpc/v1/forwarder-config/version', { auth, input: { id } });

export const restoreVersion = (auth, id) => callService('/rpc/v1/forwarder-config/restore', { auth, input: { id } });
