import { Button, Form } from 'antd';
import { fixedSettingsId, regionChoices } from './regions.js';

// The region whose transmit range every save writes, and the way to put its
// channel plan into the form. The select is the browser's own: antd's Select
// would add its virtual list and overlay code to the console's chunk for one
// list of ten entries, and phones show their own picker for a native one.
export function RegionSelect({ region, plan, recognised, locked, onChange, onApplyPlan }) {
  const notes = [
    recognised ? '' : 'The file\'s region was not recognised, so saves keep the fixed settings unless a region is chosen.',
    plan === null ? '' : `${plan}'s channel plan is in the form: Save lists every member it changes.`,
  ].filter(Boolean);
  const note = notes.length > 0 ? notes.join(' ') : null;
  return (
    <Form.Item label="Region" htmlFor="region" extra={note && <span id="region-note">{note}</span>}>
      <div className="region-controls">
        <select
          id="region"
          className="region-select"
          value={region}
          disabled={locked}
          aria-describedby={note ? 'region-note' : undefined}
          onChange={(event) => onChange(event.target.value)}
        >
          {regionChoices.map((choice) => (
            <option key={choice.id} value={choice.id}>
              {choice.label}
            </option>
          ))}
        </select>
        <Button onClick={onApplyPlan} disabled={locked || region === fixedSettingsId}>
          Use this region's channel plan
        </Button>
      </div>
    </Form.Item>
  );
}
