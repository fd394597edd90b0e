import { lazy, Suspense, useEffect, useState } from 'react';
import { App as AntApp, Button, ConfigProvider, Layout, Menu } from 'antd';
import { CodeOutlined, DashboardOutlined, LogoutOutlined, MenuOutlined, RadarChartOutlined, SettingOutlined } from '@ant-design/icons';
import { useNavigate } from 'react-router-dom';
import { useAuth } from '../session/auth_context.jsx';
import { theme } from '../theme.js';
import { Logo } from '../components/logo.jsx';
import { advanceDevModeSequence, devModeSequence } from './dev_mode_keys.js';
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

function useDevModeReveal() {
  const [revealed, setRevealed] = useState(() => sessionStorage.getItem(devModeKey) === 'revealed');
  useEffect(() => {
    let progress = 0;
    function onKey(event) {
      progress = advanceDevModeSequence(progress, event.key);
      if (progress === devModeSequence.length) {
        sessionStorage.setItem(devModeKey, 'revealed');
        setRevealed(true);
        progress = 0;
      }
    }
    window.addEventListener('keydown', onKey);
    return () => window.removeEventListener('keydown', onKey);
  }, []);
  return revealed;
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
function ConsoleShell({ menuItems, selected, onChoose, children }) {
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
        <div className="console-version">{versionText}</div>
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
  const devModeRevealed = useDevModeReveal();
  const [sessionEnd, forgetSessionEnd] = useSessionEnd();
  const shown = Object.keys(pages).filter((key) => key !== 'devMode' || devModeRevealed);
  const menuItems = [
    ...shown.map((key) => ({ key, icon: pages[key].icon, label: pages[key].label })),
    { key: 'logout', icon: <LogoutOutlined />, label: 'Logout' },
  ];
  function choose(key) {
    if (key === page) return;
    if (key !== 'logout') {
      navigate(pages[key].path);
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
    <ConsoleShell menuItems={menuItems} selected={page} onChoose={choose}>
      {sessionEnd && <SessionEndedBanner message={sessionEnd} onLogInAgain={logInAgain} />}
      {factoryPassword && !sessionEnd && <FactoryPasswordBanner onChangePassword={() => choose('setting')} />}
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
