import { useEffect, useState } from 'react';
import { Button, Layout, Menu, Spin } from 'antd';
import { CodeOutlined, LogoutOutlined, MenuOutlined, RadarChartOutlined, SettingOutlined } from '@ant-design/icons';
import { useNavigate } from 'react-router-dom';
import { useAuth } from '../auth_context.jsx';
import { advanceDevModeSequence, devModeSequence } from '../dev_mode_keys.js';
import { FactoryPasswordBanner, SessionEndedBanner, useSessionEnd } from '../session_banners.jsx';
import { versionText } from '../version.js';
import { ForwarderPage } from './forwarder_page.jsx';
import { SettingPage } from './setting_page.jsx';
import { DevModePage } from './dev_mode_page.jsx';

const pages = {
  forwarder: { label: 'Forwarder', icon: <RadarChartOutlined />, Page: ForwarderPage },
  setting: { label: 'Setting', icon: <SettingOutlined />, Page: SettingPage },
  devMode: { label: 'Dev Mode', icon: <CodeOutlined />, Page: DevModePage },
};

function useDevModeReveal() {
  const [revealed, setRevealed] = useState(false);
  useEffect(() => {
    let progress = 0;
    function onKey(event) {
      progress = advanceDevModeSequence(progress, event.key);
      if (progress === devModeSequence.length) {
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
      <img src={`${import.meta.env.BASE_URL}logo.svg`} alt="" width="36" height="36" />
      <span>Tallowmere</span>
    </div>
  );
}

function Redirecting({ to }) {
  const navigate = useNavigate();
  useEffect(() => navigate(to), [navigate, to]);
  return (
    <div className="redirecting">
      <Spin tip={`Redirecting to ${to}`} size="large">
        <div className="redirecting-space" />
      </Spin>
    </div>
  );
}

// Below the sider's breakpoint the menu slides over the page from a header button.
function ConsoleShell({ menuItems, selected, onChoose, children }) {
  const [siderCollapsed, setSiderCollapsed] = useState(false);
  const [narrow, setNarrow] = useState(false);
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

function Console() {
  const { logOut, factoryPassword } = useAuth();
  const navigate = useNavigate();
  const devModeRevealed = useDevModeReveal();
  const sessionEnd = useSessionEnd();
  const [selected, setSelected] = useState('forwarder');
  const shown = Object.keys(pages).filter((key) => key !== 'devMode' || devModeRevealed);
  const menuItems = [
    ...shown.map((key) => ({ key, icon: pages[key].icon, label: pages[key].label })),
    { key: 'logout', icon: <LogoutOutlined />, label: 'Logout' },
  ];
  function choose(key) {
    if (key !== 'logout') {
      setSelected(key);
      return;
    }
    logOut();
    navigate('/login');
  }
  const { Page } = pages[selected];
  return (
    <ConsoleShell menuItems={menuItems} selected={selected} onChoose={choose}>
      {sessionEnd && <SessionEndedBanner message={sessionEnd} onLogInAgain={() => choose('logout')} />}
      {factoryPassword && !sessionEnd && <FactoryPasswordBanner onChangePassword={() => choose('setting')} />}
      <Page />
    </ConsoleShell>
  );
}

export function MainPage() {
  const { authToken } = useAuth();
  return authToken ? <Console /> : <Redirecting to="/login" />;
}
