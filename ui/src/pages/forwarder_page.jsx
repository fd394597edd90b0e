import { useCallback, useEffect, useRef, useState } from 'react';
import { Alert, Button, Card, Spin } from 'antd';
import { DownloadOutlined } from '@ant-design/icons';
import { useAuth } from '../session/auth_context.jsx';
import { ChangeConfirmation } from '../forwarder/change_confirmation.jsx';
import { ForwarderSettingsForm } from '../forwarder/forwarder_settings_form.jsx';
import { HistoryCard, useHistory } from '../forwarder/history_card.jsx';
import { UnitStatusLine, useUnitStatus } from '../forwarder/unit_status_line.jsx';
import { applyOutcome, applySucceeded, versionFileName } from '../forwarder/config_history.js';
import { hasComments, parseProblem, versionToRestore } from '../forwarder/file_text.js';
import { trackApply, useApply } from '../forwarder/apply_tracker.js';
import { ApplyState } from '../forwarder/apply_state.jsx';
import { downloadText } from '../components/download.js';
import { OutcomeAlert } from '../components/outcome_alert.jsx';
import { loadForwarderConfig, loadForwarderStatus, loadForwarderText, restoreVersion, saveForwarderConfig }
  from '../api/procedures.js';
import { buildPatch, changesOf, formValuesOf } from '../forwarder/forwarder_form.js';
import { errorText } from '../api/service.js';
import { useUnsavedChanges } from './unsaved_changes.jsx';

// The document and the file's own text are read together: the text tells
// whether the file has comments, and why a file that is not JSON cannot be
// shown.
async function readFile(authToken) {
  const [reply, raw] = await Promise.all([loadForwarderConfig(authToken), loadForwarderText(authToken)]);
  const text = raw.output;
  if ('output' in reply) {
    const comments = text ? hasComments(text.text) : false;
    return { phase: 'ready', config: reply.output, values: formValuesOf(reply.output), comments, loadedAt: Date.now() };
  }
  if (text && !text.valid) return { phase: 'broken', problem: parseProblem(text.error) };
  return { phase: 'failed', text: errorText(text ? reply : raw) };
}

// Names the fault of a file broken by hand and the way out.
function restoreAdvice(version) {
  if (!version) return '';
  if (version.factory) return `To repair it, restore the file the gateway came with first: History → Restore on version ${version.id}. `;
  return `To repair it, restore a kept version: History → Restore on version ${version.id}, the newest valid one. `;
}

function BrokenFile({ problem, versions }) {
  const advice = restoreAdvice(versionToRestore(versions));
  return (
    <Alert
      type="error"
      showIcon
      className="broken-file"
      message="The forwarder file is not valid JSON, so the form cannot show it"
      description={`${problem}. ${advice}Or repair the file on the gateway: "Download current configuration" gives it as it stands.`}
    />
  );
}

export function ForwarderPage() {
  const { authToken } = useAuth();
  const { setUnsaved } = useUnsavedChanges();
  const saveButton = useRef(null);
  const focusSaveWhenBack = useRef(false);
  const [downloadProblem, setDownloadProblem] = useState(null);
  const [state, setState] = useState({ phase: 'loading' });
  const [pending, setPending] = useState(null);
  const { applying, outcome } = useApply();
  const [status, refreshStatus] = useUnitStatus(loadForwarderStatus, authToken);
  const [history, reloadHistory] = useHistory(authToken);
  const startedHere = useRef(false);
  const wasApplying = useRef(applying);

  // After a change the file is read again without a spinner, so that the form
  // and the next list of changes start from what the file now holds.
  const load = useCallback(async ({ quietly = false } = {}) => {
    if (!quietly) setState({ phase: 'loading' });
    setState(await readFile(authToken));
  }, [authToken]);

  useEffect(() => {
    load();
  }, [load]);

  useEffect(() => () => setUnsaved(false), [setUnsaved]);

  // Whichever page started the change, the file, the unit and the history are
  // read again when it ends; only a change that this page started and that
  // did not hold leaves the form as it was, so that it can be corrected.
  useEffect(() => {
    if (wasApplying.current && !applying) {
      if (!startedHere.current || applySucceeded(outcome)) load({ quietly: true });
      refreshStatus();
      reloadHistory();
      startedHere.current = false;
    }
    wasApplying.current = applying;
  }, [applying, outcome, load, refreshStatus, reloadHistory]);

  // The form drawn afresh after a save has a new Save button; focus, which was
  // on the old one, goes to it rather than to the top of the page.
  useEffect(() => {
    if (!focusSaveWhenBack.current || !saveButton.current) return;
    if (document.activeElement === document.body || !document.activeElement?.isConnected) saveButton.current.focus();
    focusSaveWhenBack.current = false;
  }, [state]);

  // Runs one change, whose one outcome is headed `headings.done` or
  // `headings.failed`; the unit's state is read afresh for it, since the
  // change restarted the unit.
  function apply(call, headings) {
    startedHere.current = true;
    setDownloadProblem(null);
    return trackApply(call, async (reply) => ({
      ...applyOutcome(reply, (await loadForwarderStatus(authToken)).output?.state),
      heading: 'output' in reply ? headings.done : headings.failed,
    }));
  }

  function review(values, setup) {
    setPending({ values, setup, changes: changesOf(state.config, values, setup) });
  }

  async function save() {
    const { values, setup } = pending;
    setPending(null);
    const reply = await apply(() => saveForwarderConfig(authToken, buildPatch(state.config, values, setup)),
      { done: 'Configuration updated', failed: 'Update failed' });
    if ('output' in reply) focusSaveWhenBack.current = true;
  }

  function restore(id) {
    return apply(() => restoreVersion(authToken, id), { done: `Version ${id} restored`, failed: 'Restore failed' });
  }

  // The file's bytes as they stand, comments and faults included.
  async function downloadCurrent() {
    const reply = await loadForwarderText(authToken);
    if ('output' in reply) downloadText(versionFileName(), reply.output.text);
    else setDownloadProblem({ type: 'error', text: `The current configuration could not be downloaded: ${errorText(reply)}` });
  }

  return (
    <>
      <Card title={<h1 className="card-heading">Forwarder Setting</h1>} className="page-card wide-card">
        <UnitStatusLine title="Forwarder" status={status} onRefresh={refreshStatus} />
        <ApplyState />
        <OutcomeAlert outcome={downloadProblem} onClose={() => setDownloadProblem(null)} />
        {state.phase === 'loading' && <Spin size="large" className="card-spinner" />}
        {state.phase === 'broken' && <BrokenFile problem={state.problem} versions={history.versions} />}
        {state.phase === 'failed' && (
          <Alert
            type="error"
            showIcon
            message={`Failed to fetch configuration: ${state.text}`}
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
        dropsComments={state.comments}
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
