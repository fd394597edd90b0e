import { useEffect } from 'react';

// Calls `refresh` every `everyMs` while the page is visible and at once when
// it becomes visible again; a hidden page asks the gateway nothing.
export function useRefreshWhileVisible(refresh, everyMs, enabled = true) {
  useEffect(() => {
    if (!enabled) return undefined;
    const refreshIfVisible = () => {
      if (document.visibilityState === 'visible') refresh();
    };
    const timer = setInterval(refreshIfVisible, everyMs);
    document.addEventListener('visibilitychange', refreshIfVisible);
    return () => {
      clearInterval(timer);
      document.removeEventListener('visibilitychange', refreshIfVisible);
    };
  }, [refresh, everyMs, enabled]);
}
