import { useEffect, useState } from 'react';
import { useLocation, useNavigate } from 'react-router-dom';
import { useAuth } from '../session/auth_context.jsx';
import { Logo } from '../components/logo.jsx';
import { PlainIcon } from '../components/plain_icons.jsx';
import { loadDeviceToken, loadToken } from '../session/auth_storage.js';
import { login, startOverviewReads } from '../api/procedures.js';
import { errorText } from '../api/service.js';
import { versionText } from '../components/version.js';

// The first page of a visit, built from plain elements so that it arrives
// with the smallest script: it is usable before the console's chunk (and the
// component library in it) has come over a slow link.

// A login opens the page that was asked for, or else the overview, the page
// that says whether the gateway works.
const landingPage = '/overview';

function pageAskedFor(location) {
  const from = location.state?.from;
  return from ? `${from.pathname}${from.search ?? ''}` : landingPage;
}

// A throttled login's refusal names the wait, and the end of it.
const throttled = 'Too many failed logins';

function refusalText(refusal, wait) {
  if (refusal !== throttled) return refusal;
  return wait > 0 ? `${throttled}: try again in ${wait} s.` : `${throttled}: you can try again now.`;
}

// Seconds left of a throttled login's wait, counted down once a second.
function useWait() {
  const [until, setUntil] = useState(0);
  const [now, setNow] = useState(Date.now);
  useEffect(() => {
    if (until <= now) return undefined;
    const timer = setTimeout(() => setNow(Date.now()), Math.min(1000, until - now));
    return () => clearTimeout(timer);
  }, [until, now]);
  const start = (seconds) => {
    setNow(Date.now());
    setUntil(Date.now() + seconds * 1000);
  };
  return [Math.max(0, Math.ceil((until - now) / 1000)), start];
}

const requiredMessages = { username: 'Username is required', password: 'Password is required' };

// The message of each empty required field, by field name.
function missingFields(values) {
  return Object.fromEntries(Object.entries(requiredMessages).filter(([name]) => values[name] === ''));
}

function TextField({ name, label, icon, error, children }) {
  return (
    <div className={error ? 'login-field login-field-invalid' : 'login-field'}>
      <label className="login-label" htmlFor={name}>{label}</label>
      <span className="login-input">
        <PlainIcon name={icon} className="login-input-prefix" />
        {children}
      </span>
      {error && <div id={`${name}_help`} className="login-field-error">{error}</div>}
    </div>
  );
}

export function LoginPage() {
  const { logIn } = useAuth();
  const navigate = useNavigate();
  const afterLogin = pageAskedFor(useLocation());
  const [values, setValues] = useState({ username: '', password: '', keepLoggedIn: false });
  const [errors, setErrors] = useState({});
  const [passwordShown, setPasswordShown] = useState(false);
  const [refusal, setRefusal] = useState('');
  const [busy, setBusy] = useState(false);
  const [wait, startWait] = useWait();

  useEffect(() => {
    if (loadToken()) navigate(afterLogin);
  }, [navigate, afterLogin]);

  // A field is checked again at every change, as it is at Login.
  function change(name, value) {
    setValues((current) => ({ ...current, [name]: value }));
    if (name in requiredMessages) {
      setErrors((current) => {
        const { [name]: _dropped, ...others } = current;
        return value === '' ? { ...others, [name]: requiredMessages[name] } : others;
      });
    }
  }

  async function submit(event) {
    event.preventDefault();
    if (busy || wait > 0) return;
    const missing = missingFields(values);
    setErrors(missing);
    if (Object.keys(missing).length > 0) return;
    setRefusal('');
    setBusy(true);
    const reply = await login(values.username, values.password, loadDeviceToken());
    setBusy(false);
    if (reply.error || !reply.output?.auth) {
      setRefusal(reply.error?.retryAfter ? throttled : errorText(reply));
      startWait(reply.error?.retryAfter ?? 0);
      return;
    }
    startOverviewReads(reply.output.auth);
    logIn(reply.output.auth, values.keepLoggedIn, reply.output.factoryPassword === true, reply.output.deviceToken);
    navigate(afterLogin);
  }

  const fieldProps = (name) => ({
    id: name,
    name,
    value: values[name],
    onChange: (event) => change(name, event.target.value),
    'aria-required': true,
    'aria-invalid': Boolean(errors[name]),
    'aria-describedby': errors[name] ? `${name}_help` : undefined,
  });

  return (
    <main className="login-screen">
      <div className="login-dialog">
        <div className="login-brand">
          <Logo size={56} />
          <h1>Tallowmere LoRa Gateway</h1>
        </div>
        {refusal && (
          <div className="login-refusal" role="alert">
            <PlainIcon name="closeCircle" className="login-refusal-icon" />
            <span>{refusalText(refusal, wait)}</span>
          </div>
        )}
        <form onSubmit={submit} noValidate>
          <TextField name="username" label="Username" icon="user" error={errors.username}>
            <input type="text" autoComplete="username" autoFocus {...fieldProps('username')} />
          </TextField>
          <TextField name="password" label="Password" icon="lock" error={errors.password}>
            <input type={passwordShown ? 'text' : 'password'} autoComplete="current-password" {...fieldProps('password')} />
            <button
              type="button"
              className="login-reveal"
              aria-label="Show"
              aria-pressed={passwordShown}
              aria-controls="password"
              onClick={() => setPasswordShown((shown) => !shown)}
            >
              <PlainIcon name={passwordShown ? 'eye' : 'eyeInvisible'} />
            </button>
          </TextField>
          <div className="login-field login-field-check">
            <label className="login-check">
              <input
                type="checkbox"
                id="keepLoggedIn"
                name="keepLoggedIn"
                checked={values.keepLoggedIn}
                onChange={(event) => change('keepLoggedIn', event.target.checked)}
              />
              <span>Keep me logged in</span>
            </label>
          </div>
          <button type="submit" className="plain-button plain-button-large plain-button-block" aria-busy={busy} data-busy={busy}
            disabled={wait > 0}>
            {busy && <PlainIcon name="loading" className="plain-button-spinner" />}
            <span>Login</span>
          </button>
        </form>
      </div>
      <div className="login-version">{versionText}</div>
    </main>
  );
}
