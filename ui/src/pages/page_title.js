import { useEffect, useState } from 'react';
import { earlySystemInfo, loadSystemInfo } from '../api/procedures.js';

// The document's own title, kept for the pages outside the console.
const baseTitle = document.title;

export function pageTitle(pageLabel, hostName) {
  return [pageLabel, hostName, baseTitle].filter(Boolean).join(' · ');
}

// Names the page and the gateway in the tab, so that tabs of several gateways
// can be told apart. The host name is read once per login; the overview's
// early read of the same facts is shared rather than asked again.
export function usePageTitle(pageLabel, authToken) {
  const [hostName, setHostName] = useState('');
  useEffect(() => {
    let current = true;
    (earlySystemInfo(authToken) ?? loadSystemInfo(authToken)).then((reply) => {
      if (current) setHostName(reply.output?.hostName ?? '');
    });
    return () => {
      current = false;
    };
  }, [authToken]);
  useEffect(() => {
    document.title = pageTitle(pageLabel, hostName);
    return () => {
      document.title = baseTitle;
    };
  }, [pageLabel, hostName]);
}
