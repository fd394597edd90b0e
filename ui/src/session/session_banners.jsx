import { useEffect, useState } from 'react';
import { Alert, Button } from 'antd';
import { onSessionEnd } from './session_end.js';

// Shown on every page of the console while the admin account still has the
// password every gateway leaves the factory with.
export function FactoryPasswordBanner({ onChangePassword }) {
  return (
    <Alert
      type="warning"
      showIcon
      banner
      className="console-banner"
      message="The factory password is in use: anyone who knows it can log in to this gateway. Change it now."
      action={
        <Button size="small" type="primary" onClick={onChangePassword}>
          Change password
        </Button>
      }
    />
  );
}

// The message of the last reply that ended the session, until the page is
// left or `forget` is called.
export function useSessionEnd() {
  const [ended, setEnded] = useState('');
  useEffect(() => onSessionEnd(setEnded), []);
  return [ended, () => setEnded('')];
}

export function SessionEndedBanner({ message, onLogInAgain }) {
  return (
    <Alert
      type="error"
      showIcon
      banner
      className="console-banner"
      message={`${message}: this session has ended.`}
      action={
        <Button size="small" type="primary" danger onClick={onLogInAgain}>
          Log in again
        </Button>
      }
    />
  );
}
