import { createContext, useCallback, useContext, useEffect, useMemo, useRef, useState } from 'react';
import { App } from 'antd';
import { useBlocker } from 'react-router-dom';
import { useApply } from '../forwarder/apply_tracker.js';

// Whether leaving the page should ask first: it holds edits that are not
// saved, or a change is being applied. Every move of the router asks (the
// menu, Back and Forward), and so do the console's own ways out that are no
// move (`confirmLeave`: Logout, "Log in again"); a reload or a closed tab
// gets the browser's own question.
const UnsavedChangesContext = createContext(null);

const questions = {
  unsaved: {
    title: 'Leave without saving?',
    content: 'The changes to the forwarder settings have not been saved; leaving drops them.',
    okButtonProps: { danger: true },
  },
  applying: {
    title: 'Leave while the change is applied?',
    content: 'The change goes on without this page: the forwarder is restarted and watched, '
      + 'and the outcome is shown on the page you are on when it comes.',
  },
};

export function UnsavedChangesProvider({ children }) {
  const { modal } = App.useApp();
  const { applying } = useApply();
  const [unsaved, setUnsaved] = useState(false);
  const asking = useRef(false);
  const leaving = useRef(false);
  const guarded = unsaved || applying;

  useEffect(() => {
    if (!unsaved) return undefined;
    const onBeforeUnload = (event) => {
      event.preventDefault();
      event.returnValue = '';
    };
    window.addEventListener('beforeunload', onBeforeUnload);
    return () => window.removeEventListener('beforeunload', onBeforeUnload);
  }, [unsaved]);

  const ask = useCallback((leave, stay) => {
    if (asking.current) {
      stay();
      return;
    }
    asking.current = true;
    modal.confirm({
      ...questions[applying ? 'applying' : 'unsaved'],
      okText: 'Leave',
      cancelText: 'Stay',
      onOk() {
        setUnsaved(false);
        leave();
      },
      onCancel: stay,
      afterClose() {
        asking.current = false;
      },
    });
  }, [applying, modal]);

  // The question is asked once per held move, whatever changes while it is open.
  const blocker = useBlocker(({ currentLocation, nextLocation }) =>
    guarded && !leaving.current && currentLocation.pathname !== nextLocation.pathname);
  const askNow = useRef(ask);
  askNow.current = ask;
  useEffect(() => {
    if (blocker.state === 'blocked') askNow.current(() => blocker.proceed(), () => blocker.reset());
  }, [blocker.state]);

  // Runs `leave` at once when nothing is guarded, else after the operator
  // agrees; a move of the router inside `leave` is then not asked again.
  const confirmLeave = useCallback((leave) => {
    const leaveNow = () => {
      leaving.current = true;
      leave();
      leaving.current = false;
    };
    if (guarded) ask(leaveNow, () => {});
    else leaveNow();
  }, [guarded, ask]);

  const value = useMemo(() => ({ setUnsaved, confirmLeave }), [confirmLeave]);
  return <UnsavedChangesContext.Provider value={value}>{children}</UnsavedChangesContext.Provider>;
}

export function useUnsavedChanges() {
  return useContext(UnsavedChangesContext);
}
