import { createContext, useCallback, useContext, useEffect, useMemo, useRef, useState } from 'react';
import { App } from 'antd';

// Whether a page holds edits that are not saved, so that leaving it asks
// first: by the console's own links (`confirmLeave`) and by a reload or a
// closed tab (the browser's own question).
const UnsavedChangesContext = createContext(null);

export function UnsavedChangesProvider({ children }) {
  const { modal } = App.useApp();
  const [unsaved, setUnsaved] = useState(false);
  const asking = useRef(false);

  useEffect(() => {
    if (!unsaved) return undefined;
    const onBeforeUnload = (event) => {
      event.preventDefault();
      event.returnValue = '';
    };
    window.addEventListener('beforeunload', onBeforeUnload);
    return () => window.removeEventListener('beforeunload', onBeforeUnload);
  }, [unsaved]);

  // Runs `leave` at once when nothing is unsaved, else after the operator agrees.
  const confirmLeave = useCallback((leave) => {
    if (!unsaved) {
      leave();
      return;
    }
    if (asking.current) return;
    asking.current = true;
    modal.confirm({
      title: 'Leave without saving?',
      content: 'The changes to the forwarder settings have not been saved; leaving drops them.',
      okText: 'Leave',
      okButtonProps: { danger: true },
      cancelText: 'Stay',
      onOk() {
        setUnsaved(false);
        leave();
      },
      afterClose() {
        asking.current = false;
      },
    });
  }, [unsaved, modal]);

  const value = useMemo(() => ({ setUnsaved, confirmLeave }), [confirmLeave]);
  return <UnsavedChangesContext.Provider value={value}>{children}</UnsavedChangesContext.Provider>;
}

export function useUnsavedChanges() {
  return useContext(UnsavedChangesContext);
}
