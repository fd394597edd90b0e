import { Alert } from 'antd';

// The one message an action leaves: in the page's flow, so that it covers
// nothing (the session banners included), read out by screen readers as it
// appears, and kept until the operator's next action replaces or closes it.
// `outcome` is null or { type, text }.
export function OutcomeAlert({ outcome, onClose }) {
  if (!outcome) return null;
  return <Alert className="page-outcome" type={outcome.type} showIcon closable onClose={onClose} message={outcome.text} />;
}
