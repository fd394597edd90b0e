import { version } from '../../package.json';

export const versionText = `v${version}`;
