import { useCallback, useEffect, useRef, useState } from 'react';
import { Alert, Button, Card, Spin } from 'antd';
import { DownloadOutlined } from '@ant-design/icons';
import { useAuth } from '../session/auth_context.jsx';
import { ChangeConfirmation } from '../forwarder/change_confirmation.jsx';
import { ForwarderSettingsForm } from '../forwarder/forwarder_settings_form.jsx';
import { HistoryCard, useHistory } from '../forwarder/history_card.jsx';
import { UnitStatusLine, useUnitStatus } from '../forwarder/unit_status_line.jsx';
import { applyOutcome, versionFileName } from '../forwarder/config_history.js';
import { downloadText } from '../components/download.js';
import { loadForwarderConfig, loadForwarderStatus, restoreVersion, saveForwarderConfig } from '../api/procedures.js';
import { buildPatch, changesOf, formValuesOf } from '../forwarder/forwarder_form.js';
import { errorText } from '../api/service.js';
import { useUnsavedChanges } from './unsaved_changes.jsx';

const outcomeAlerts = {
  applied: { type: 'success', message: 'Applied: the forwarder restarted and stayed running on the new configuration.' },
  saved: { type: 'info', message: 'Saved without a restart: no forwarder unit is configured.' },
  rolledBack: { type: 'error', message: 'Rolled back: the new configuration was not kept.' },
  failed: { type: 'error', message: 'Not applied.' },
  downloadFailed: { type: 'error', message: 'The current configuration could not be downloaded.' },
};

function ApplyState({ applying, outcome, onClose }) {
  if (applying) {
    return (
      <Alert
        className="apply-outcome"
        type="info"
        showIcon
        icon={<Spin size="small" />}
        message="Applying… checking that the forwarder stays up"
      />
    );
  }
  if (!outcome) return null;
  const { type, message } = outcomeAlerts[outcome.kind];
  return (
    <Alert
      className="apply-outcome"
      data-outcome={outcome.kind}
      type={type}
      showIcon
      closable
      onClose={onClose}
      message={outcome.heading ? `${outcome.heading}. ${message}` : message}
      description={outcome.text || undefined}
    />
  );
}

export function ForwarderPage() {
  const { authToken } = useAuth();
  const { setUnsaved } = useUnsavedChanges();
  const saveButton = useRef(null);
  const focusSaveWhenBack = useRef(false);
  const [state, setState] = useState({ phase: 'loading' });
  const [pending, setPending] = useState(null);
  const [applying, setApplying] = useState(false);
  const [outcome, setOutcome] = useState(null);
  const [status, refreshStatus] = useUnitStatus(loadForwarderStatus, authToken);
  const [history, reloadHistory] = useHistory(authToken);

  // After a save the file is read again without a spinner, so that the form
  // and the next list of changes start from what the file now holds.
  const load = useCallback(async ({ quietly = false } = {}) => {
    if (!quietly) setState({ phase: 'loading' });
    const reply = await loadForwarderConfig(authToken);
    setState('output' in reply
      ? { phase: 'ready', config: reply.output, values: formValuesOf(reply.output), loadedAt: Date.now() }
      : { phase: 'failed' });
  }, [authToken]);

  useEffect(() => {
    load();
  }, [load]);

  useEffect(() => () => setUnsaved(false), [setUnsaved]);

  // The form drawn afresh after a save has a new Save button; focus, which was
  // on the old one, goes to it rather than to the top of the page.
  useEffect(() => {
    if (!focusSaveWhenBack.current || !saveButton.current) return;
    if (document.activeElement === document.body || !document.activeElement?.isConnected) saveButton.current.focus();
    focusSaveWhenBack.current = false;
  }, [state]);

  // Runs one change and reports exactly one outcome, headed `headings.done`
  // or `headings.failed`; the unit's state is read afresh, since the change
  // restarted it.
  async function apply(call, headings) {
    setApplying(true);
    setOutcome(null);
    const reply = await call();
    const unit = await refreshStatus();
    setApplying(false);
    setOutcome({ ...applyOutcome(reply, unit.state), heading: 'output' in reply ? headings.done : headings.failed });
    reloadHistory();
    return reply;
  }

  function review(values, setup) {
    setPending({ values, setup, changes: changesOf(state.config, values, setup) });
  }

  async function save() {
    const { values, setup } = pending;
    setPending(null);
    const reply = await apply(() => saveForwarderConfig(authToken, buildPatch(state.config, values, setup)),
      { done: 'Configuration updated', failed: 'Update failed' });
    if ('output' in reply) {
      setUnsaved(false);
      focusSaveWhenBack.current = true;
      load({ quietly: true });
    }
  }

  async function restore(id) {
    const reply = await apply(() => restoreVersion(authToken, id),
      { done: `Version ${id} restored`, failed: 'Restore failed' });
    if ('output' in reply) load();
  }

  async function downloadCurrent() {
    const reply = await loadForwarderConfig(authToken);
    if ('output' in reply) downloadText(versionFileName(), JSON.stringify(reply.output, null, 2));
    else setOutcome({ kind: 'downloadFailed', text: errorText(reply) });
  }

  return (
    <>
      <Card title={<h1 className="card-heading">Forwarder Setting</h1>} className="page-card wide-card">
        <UnitStatusLine title="Forwarder" status={status} onRefresh={refreshStatus} />
        <ApplyState applying={applying} outcome={outcome} onClose={() => setOutcome(null)} />
        {state.phase === 'loading' && <Spin size="large" className="card-spinner" />}
        {state.phase === 'failed' && (
          <Alert
            type="error"
            showIcon
            message="Failed to fetch configuration"
            action={<Button onClick={() => load()}>Retry</Button>}
          />
        )}
        {state.phase === 'ready' && (
          <ForwarderSettingsForm
            key={state.loadedAt}
            config={state.config}
            initialValues={state.values}
            onSubmit={review}
            onUnsavedChange={setUnsaved}
            saving={applying}
            saveButtonRef={saveButton}
          />
        )}
      </Card>
      <ChangeConfirmation
        changes={pending?.changes ?? null}
        onConfirm={save}
        onCancel={() => setPending(null)}
        afterClose={() => saveButton.current?.focus()}
      />
      <HistoryCard authToken={authToken} history={history} busy={applying} onRestore={restore}>
        <Button icon={<DownloadOutlined />} onClick={downloadCurrent}>
          Download current configuration
        </Button>
      </HistoryCard>
    </>
  );
}
