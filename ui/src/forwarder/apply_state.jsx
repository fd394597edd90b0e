import { Alert, Spin } from 'antd';
import { dismissOutcome, useApply } from './apply_tracker.js';

const outcomeAlerts = {
  applied: { type: 'success', message: 'Applied: the forwarder restarted and stayed running on the new configuration.' },
  saved: { type: 'info', message: 'Saved without a restart: no forwarder unit is configured.' },
  rolledBack: { type: 'error', message: 'Rolled back: the new configuration was not kept.' },
  notRunning: {
    type: 'error',
    message: 'The forwarder is not running: it failed with the new configuration and with the previous one.',
  },
  failed: { type: 'error', message: 'Not applied.' },
};

// The change under way, or how the last one ended until it is closed: the one
// message a change leaves, headed with what was asked when the outcome says so.
export function ApplyState() {
  const { applying, outcome } = useApply();
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
      onClose={dismissOutcome}
      message={outcome.heading ? `${outcome.heading}. ${message}` : message}
      description={outcome.text || undefined}
    />
  );
}
