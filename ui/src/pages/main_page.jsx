import { lazy, Suspense, useCallback, useEffect, useRef, useState } from 'react';
import { App as AntApp, Button, ConfigProvider, Layout, Menu } from 'antd';
import { CodeOutlined, DashboardOutlined, LogoutOutlined, MenuOutlined, RadarChartOutlined, SettingOutlined } from '@ant-design/icons';
import { useNavigate } from 'react-router-dom';
import { useAuth } from '../session/auth_context.jsx';
import { theme } from '../theme.js';
import { Logo } from '../components/logo.jsx';
import { advanceDevModeSequence, advanceDevModeTaps, devModeSequence, devModeTaps } from './dev_mode_keys.js';
import { FactoryPasswordBanner, SessionEndedBanner, useSessionEnd } from '../session/session_banners.jsx';
import { UnsavedChangesProvider, useUnsavedChanges } from './unsaved_changes.jsx';
import { ApplyState } from '../forwarder/apply_state.jsx';
import { dismissOutcome } from '../forwarder/apply_tracker.js';
import { versionText } from '../components/version.js';
import { ForwarderPage } from './forwarder_page.jsx';
import { SettingPage } from './setting_page.jsx';
import { DevModePage } from './dev_mode_page.jsx';
import { NotFoundPage } from './not_found_page.jsx';
import { EarlyVerdict } from '../overview/verdict_headline.jsx';
import { usePageTitle } from './page_title.js';

// The overview's code and its chart's come in chunks of their own, after login.
const OverviewPage = lazy(() => import('./overview_page.jsx').then((module) => ({ default: module.OverviewPage })));

// Each page's own address under the console's base path.
const pages = {
  overview: { label: 'Overview', icon: <DashboardOutlined />, Page: OverviewPage, path: '/overview' },
  forwarder: { label: 'Forwarder', icon: <RadarChartOutlined />, Page: ForwarderPage, path: '/' },
  setting: { label: 'Setting', icon: <SettingOutlined />, Page: SettingPage, path: '/setting' },
  devMode: { label: 'Dev Mode', icon: <CodeOutlined />, Page: DevModePage, path: '/dev-mode' },
};

// The reveal is kept for the browser tab, so that a reload of the Dev Mode
// page stays on it; logging out ends it.
const devModeKey = 'devMode';

// Keys typed into a field belong to the field: they neither count towards the
// sequence nor are taken from it, so a password or an address that happens to
// hold the sequence is typed as it is and reveals nothing.
function typedIntoField(event) {
  const target = event.target;
  return target instanceof HTMLElement && (target.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(target.tagName));
}

function useDevModeReveal() {
  const [revealed, setRevealed] = useState(() => sessionStorage.getItem(devModeKey) === 'revealed');
  const taps = useRef({ count: 0, at: -Infinity });
  const reveal = useCallback(() => {
    sessionStorage.setItem(devModeKey, 'revealed');
    setRevealed(true);
  }, []);
  useEffect(() => {
    let progress = 0;
    function onKey(event) {
      progress = typedIntoField(event) ? 0 : advanceDevModeSequence(progress, event.key);
      if (progress === devModeSequence.length) {
        reveal();
        progress = 0;
      }
    }
    window.addEventListener('keydown', onKey);
    return () => window.removeEventListener('keydown', onKey);
  }, [reveal]);
  const tap = useCallback(() => {
    taps.current = advanceDevModeTaps(taps.current, Date.now());
    if (taps.current.count >= devModeTaps) reveal();
  }, [reveal]);
  return [revealed, tap];
}

function Brand() {
  return (
    <div className="console-brand">
      <Logo size={36} />
      <span>Tallowmere</span>
    </div>
  );
}

// Matches the sider's "lg" breakpoint, read before the first paint so that a
// phone never sees the menu open and then fold away.
const narrowQuery = '(max-width: 991.98px)';

// Below the sider's breakpoint the menu slides over the page from a header button.
function ConsoleShell({ menuItems, selected, onChoose, onVersionTap, children }) {
  const [narrow, setNarrow] = useState(() => window.matchMedia(narrowQuery).matches);
  const [siderCollapsed, setSiderCollapsed] = useState(narrow);
  function choose(item) {
    if (narrow) setSiderCollapsed(true);
    onChoose(item.key);
  }
  return (
    <Layout className="console">
      <Layout.Sider
        breakpoint="lg"
        collapsedWidth={0}
        collapsed={siderCollapsed}
        onCollapse={setSiderCollapsed}
        onBreakpoint={setNarrow}
        trigger={null}
        width={220}
        className="console-sider"
      >
        <Brand />
        <Menu theme="dark" mode="inline" selectedKeys={[selected]} items={menuItems} onClick={choose} />
        <div className="console-version" onClick={onVersionTap}>
          {versionText}
        </div>
      </Layout.Sider>
      {narrow && !siderCollapsed && <div className="console-backdrop" onClick={() => setSiderCollapsed(true)} />}
      <Layout>
        {narrow && (
          <Layout.Header className="console-header">
            <Button type="text" icon={<MenuOutlined />} aria-label="Open menu" onClick={() => setSiderCollapsed(false)} />
            <Brand />
          </Layout.Header>
        )}
        <Layout.Content className="console-content">{children}</Layout.Content>
      </Layout>
    </Layout>
  );
}

function Console({ page }) {
  const { authToken, logOut, endSession, factoryPassword } = useAuth();
  const navigate = useNavigate();
  const { confirmLeave } = useUnsavedChanges();
  const [devModeRevealed, tapVersion] = useDevModeReveal();
  const [sessionEnd, forgetSessionEnd] = useSessionEnd();
  const shown = Object.keys(pages).filter((key) => key !== 'devMode' || devModeRevealed);
  usePageTitle(shown.includes(page) ? pages[page].label : 'Page Not Found', authToken);
  const menuItems = [
    ...shown.map((key) => ({ key, icon: pages[key].icon, label: pages[key].label })),
    { key: 'logout', icon: <LogoutOutlined />, label: 'Logout' },
  ];
  // `state` goes with the address to the page chosen, and reaches it even
  // when that page is already shown.
  function choose(key, state) {
    if (key === page && !state) return;
    if (key !== 'logout') {
      navigate(pages[key].path, { state });
      return;
    }
    confirmLeave(() => {
      logOut();
      dismissOutcome();
      sessionStorage.removeItem(devModeKey);
      navigate('/login');
    });
  }
  // Without a newer token from another tab, the app sends the operator to
  // the login page, which comes back here.
  function logInAgain() {
    confirmLeave(() => {
      if (endSession()) forgetSessionEnd();
      else sessionStorage.removeItem(devModeKey);
    });
  }
  if (!shown.includes(page)) return <NotFoundPage />;
  const { Page } = pages[page];
  return (
    <ConsoleShell menuItems={menuItems} selected={page} onChoose={choose} onVersionTap={tapVersion}>
      {sessionEnd && <SessionEndedBanner message={sessionEnd} onLogInAgain={logInAgain} />}
      {factoryPassword && !sessionEnd && (
        <FactoryPasswordBanner onChangePassword={() => choose('setting', { focusFirstField: true })} />
      )}
      {page !== 'forwarder' && <ApplyState />}
      <Suspense fallback={<EarlyVerdict authToken={authToken} shell />}>
        <Page />
      </Suspense>
    </ConsoleShell>
  );
}

// `page` is the key of the page the route shows; the app sends visitors
// without a token to the login page before this chunk is needed. The
// component library's theme and its App (whose message and modal APIs the
// pages use) live here, in the console's chunk, and not in the first script.
export function MainPage({ page = 'forwarder' }) {
  return (
    <ConfigProvider theme={theme}>
      <AntApp>
        <UnsavedChangesProvider>
          <Console page={page} />
        </UnsavedChangesProvider>
      </AntApp>
    </ConfigProvider>
  );
}
