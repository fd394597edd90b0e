import { useCallback, useEffect, useState } from 'react';
import { Alert, Button, Card, Modal, Popconfirm, Space, Tag, Tooltip } from 'antd';
import { DownloadOutlined, EyeOutlined, RollbackOutlined } from '@ant-design/icons';
import { changeSummary, formatSize, versionFileName } from './config_history.js';
import { loadHistory, loadVersion } from '../api/procedures.js';
import { errorText } from '../api/service.js';
import { downloadText } from '../components/download.js';
import { PlainTable } from '../components/plain_table.jsx';
import { OutcomeAlert } from '../components/outcome_alert.jsx';
import './forwarder_extras.css';

// The kept versions, newest first. `useHistory` loads them; the page reloads
// them after every change.
export function useHistory(authToken) {
  const [history, setHistory] = useState({ phase: 'loading', versions: [] });
  const reload = useCallback(async () => {
    const reply = await loadHistory(authToken);
    setHistory('output' in reply
      ? { phase: 'ready', versions: reply.output }
      : { phase: 'failed', versions: [], text: errorText(reply) });
  }, [authToken]);
  useEffect(() => {
    reload();
  }, [reload]);
  return [history, reload];
}

function VersionActions({ version, busy, onView, onDownload, onRestore }) {
  const restore = (
    <Popconfirm
      title={`Restore version ${version.id}?`}
      description="The forwarder is restarted with it and watched; if it does not stay up, the current file comes back."
      okText="Restore"
      onConfirm={() => onRestore(version.id)}
      disabled={!version.valid || busy}
    >
      <Button size="small" icon={<RollbackOutlined />} disabled={!version.valid || busy}>
        Restore
      </Button>
    </Popconfirm>
  );
  return (
    <Space wrap size="small">
      <Button size="small" icon={<EyeOutlined />} onClick={() => onView(version.id)}>
        View
      </Button>
      <Button size="small" icon={<DownloadOutlined />} onClick={() => onDownload(version.id)}>
        Download
      </Button>
      {version.valid ? restore : <Tooltip title="Not valid JSON: it cannot be restored">{restore}</Tooltip>}
    </Space>
  );
}

// How the change that replaced a version ended, where it did not hold.
const outcomeTags = {
  rolledBack: <Tag color="red" className="outcome-tag">rolled back</Tag>,
  failed: <Tag color="red" className="outcome-tag">not put back</Tag>,
};

const emptyHistoryText = 'No change has been made yet: each change keeps the file as it stood before.';

// `children` go above the list (the page's download of the current file).
export function HistoryCard({ authToken, history, busy, onRestore, children }) {
  const [viewing, setViewing] = useState(null);
  const [outcome, setOutcome] = useState(null);

  async function download(id) {
    setOutcome(null);
    const reply = await loadVersion(authToken, id);
    if ('output' in reply) downloadText(versionFileName(id), reply.output.text);
    else setOutcome({ type: 'error', text: `Version ${id} could not be downloaded: ${errorText(reply)}` });
  }

  async function view(id) {
    setViewing({ id, text: null });
    const reply = await loadVersion(authToken, id);
    setViewing({ id, text: 'output' in reply ? reply.output.text : null, error: reply.error && errorText(reply) });
  }

  const columns = [
    { title: 'Version', key: 'id', render: (version) => <span className="history-version">{version.id}</span> },
    {
      title: 'Kept at',
      key: 'time',
      render: (version) => (
        <Space size={4} wrap>
          {new Date(version.time).toLocaleString()}
          {version.factory && <Tag color="blue">first file</Tag>}
        </Space>
      ),
    },
    { title: 'Changed by', key: 'account', from: 'md', render: (version) => version.account },
    {
      title: 'What changed',
      key: 'change',
      render: (version) => (
        <>
          {changeSummary(version)}
          {outcomeTags[version.outcome]}
        </>
      ),
    },
    { title: 'Size', key: 'size', from: 'lg', render: (version) => formatSize(version.size) },
    {
      title: <span className="plain-table-hidden">Actions</span>,
      key: 'actions',
      render: (version) => (
        <VersionActions version={version} busy={busy} onView={view} onDownload={download} onRestore={onRestore} />
      ),
    },
  ];

  return (
    <Card title="History" className="page-card wide-card history-card">
      <div className="history-actions">{children}</div>
      <OutcomeAlert outcome={outcome} onClose={() => setOutcome(null)} />
      {history.phase === 'failed' && <Alert type="error" showIcon message={history.text} />}
      {history.phase !== 'failed' && (
        <PlainTable
          rowKey="id"
          className="history-table"
          loading={history.phase === 'loading'}
          rows={history.versions}
          columns={columns}
          stackOnPhones
          emptyText={<span className="history-empty">{emptyHistoryText}</span>}
        />
      )}
      <Modal
        open={viewing !== null}
        title={viewing && `Version ${viewing.id}`}
        footer={null}
        width={760}
        onCancel={() => setViewing(null)}
      >
        {viewing?.error && <Alert type="error" showIcon message={viewing.error} />}
        {viewing && !viewing.error && (
          // A file wider or longer than the dialog scrolls, by keyboard too.
          <pre className="version-text" tabIndex={0} role="region" aria-label={`Version ${viewing.id} as kept`}>
            {viewing.text ?? 'Loading…'}
          </pre>
        )}
      </Modal>
    </Card>
  );
}
