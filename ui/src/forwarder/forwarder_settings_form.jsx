import { useEffect, useRef, useState } from 'react';
import { Alert, Button, Col, Divider, Form, Input, Row, Tag, Typography } from 'antd';
import { SaveOutlined } from '@ant-design/icons';
import { channelReading, formFieldProblem, forwarderFields, plannedConfig, planFormValues, radioSettingRows }
  from './forwarder_form.js';
import { fieldProblem, formatMhz, offsetWarning } from './forwarder_rules.js';
import { detectRegion, fixedSettingsId } from './regions.js';
import { RegionSelect } from './region_select.jsx';
import './forwarder_extras.css';

const fieldsNamed = (...names) => forwarderFields.filter((field) => names.includes(field.name));
const gatewayColumns = { serverAddress: { xs: 24, md: 10 }, serverPort: { xs: 24, sm: 8, md: 5 }, gatewayId: { xs: 24, sm: 16, md: 9 } };
const radios = [
  { title: 'Radio 0', fields: fieldsNamed('freq0', 'if0', 'if1', 'if2', 'if3') },
  { title: 'Radio 1', fields: fieldsNamed('freq1', 'if4', 'if5', 'if6', 'if7') },
];
const rowLayout = { layout: 'horizontal', labelCol: { xs: 24, sm: 10 }, wrapperCol: { xs: 24, sm: 14 } };
const channelFieldNames = forwarderFields.filter((field) => field.kind === 'offset').map((field) => field.name);
const baseFieldNames = forwarderFields.filter((field) => field.kind === 'baseFrequency').map((field) => field.name);
// A refused Save takes the operator to the first field to mend, with the
// cursor in it, mid-window so that the bar that holds Save does not cover it.
const firstErrorInSight = { focus: true, block: 'center' };

// A channel's rule reads the whole form: its frequency depends on its radio's
// base, and the selected region's band applies to it.
function rulesFor(field, config, setup) {
  const rules = [({ getFieldsValue }) => ({
    validator: (_, text) => {
      const problem = formFieldProblem(config, { ...getFieldsValue(), [field.name]: text }, setup, field);
      return problem ? Promise.reject(new Error(problem)) : Promise.resolve();
    },
  })];
  if (field.kind === 'offset') {
    rules.push({
      warningOnly: true,
      validator: (_, text) => (offsetWarning(text) ? Promise.reject(new Error(offsetWarning(text))) : Promise.resolve()),
    });
  }
  return rules;
}

// What a frequency field's number means: the base in MHz, a channel's radio
// as the file (or the applied plan) assigns it and the frequency it listens
// on, or "off" when it does not listen.
function reading(field, planned, values) {
  if (field.kind === 'baseFrequency') {
    const text = values?.[field.name];
    return fieldProblem(field, text) ? 'Hz' : `Hz = ${formatMhz(Number(text))}`;
  }
  const { radio, enabled, frequency } = channelReading(planned, values ?? {}, field.channel);
  const on = radio === null ? 'no radio' : `radio ${radio}`;
  if (!enabled) return `${on} · off`;
  return `${on} · ${frequency === null ? '?' : formatMhz(frequency)}`;
}

function FieldItem({ field, config, setup, planned, values, ...layout }) {
  const numeric = field.kind !== 'address' && field.kind !== 'gatewayId';
  const addon = field.kind === 'baseFrequency' || field.kind === 'offset' ? reading(field, planned, values) : undefined;
  return (
    <Form.Item label={field.label} name={field.name} rules={rulesFor(field, config, setup)}
      dependencies={field.kind === 'offset' ? baseFieldNames : undefined} {...layout}>
      <Input
        inputMode={numeric ? 'numeric' : undefined}
        spellCheck={false}
        autoComplete="off"
        addonAfter={addon && <span data-reading={field.name}>{addon}</span>}
      />
    </Form.Item>
  );
}

// What every save writes whatever the form holds, for the selected region,
// and where the file differs.
function EverySaveSettings({ config, region }) {
  const rows = radioSettingRows(config, region);
  const differing = rows.filter((row) => row.current !== null);
  return (
    <section className="fixed-settings" aria-labelledby="fixed-settings-title">
      <Typography.Title level={2} id="fixed-settings-title" className="section-title">
        Written by every save
      </Typography.Title>
      <ul className="fixed-settings-list">
        {rows.map((row) => (
          <li key={row.key} data-setting={row.key}>
            <span>{row.label}</span>
            <strong>{row.value}</strong>
            {row.current !== null && <Tag className="note-tag">file: {row.current}</Tag>}
          </li>
        ))}
      </ul>
      {differing.length > 0 && (
        <Alert
          type="warning"
          showIcon
          className="fixed-settings-warning"
          message={`Saving changes ${differing.length === 1 ? 'a radio setting' : `${differing.length} radio settings`} of the file`}
          description={`${differing.map((row) => `${row.label}: ${row.current} → ${row.value}`).join('; ')}. This changes what the radios may transmit on.`}
        />
      )}
    </section>
  );
}

function formState(saving, unsaved) {
  if (saving) return 'Locked while the change is applied: the form shows the file again once the forwarder has been checked.';
  return unsaved ? 'Unsaved changes: Save shows them before anything is written.' : 'No unsaved changes.';
}

// The form reports whether it differs from what was loaded through
// `onUnsavedChange`, and hands a valid form with its setup (the region and any
// applied plan) to `onSubmit`; Enter in a field submits it too.
export function ForwarderSettingsForm({ config, initialValues, onSubmit, onUnsavedChange, saving, saveButtonRef }) {
  const [form] = Form.useForm();
  const values = Form.useWatch([], form) ?? initialValues;
  const [detectedRegion] = useState(() => detectRegion(config));
  const loadedRegion = detectedRegion ?? fixedSettingsId;
  const [setup, setSetup] = useState({ region: loadedRegion, plan: null });
  const loadedSetup = useRef(setup);
  const planned = plannedConfig(config, setup.plan);
  const unsaved = setup.region !== loadedRegion || setup.plan !== null
    || forwarderFields.some((field) => (values[field.name] ?? '') !== initialValues[field.name]);
  useEffect(() => onUnsavedChange(unsaved), [unsaved, onUnsavedChange]);

  // Another region or plan changes which channels are in band: their messages
  // follow at once. The rejection only repeats what the fields now show.
  useEffect(() => {
    if (setup !== loadedSetup.current) form.validateFields(channelFieldNames).catch(() => {});
  }, [setup, form]);

  function applyPlan() {
    form.setFieldsValue(planFormValues(setup.region));
    setSetup({ ...setup, plan: setup.region });
  }

  const shared = { config, setup, planned, values };
  return (
    <Form form={form} layout="vertical" initialValues={initialValues} onFinish={(saved) => onSubmit(saved, setup)}
      className="forwarder-form" requiredMark={false} scrollToFirstError={firstErrorInSight} disabled={saving}>
      <Row gutter={16}>
        {fieldsNamed('serverAddress', 'serverPort', 'gatewayId').map((field) => (
          <Col key={field.name} {...gatewayColumns[field.name]}>
            <FieldItem field={field} {...shared} />
          </Col>
        ))}
      </Row>
      <RegionSelect
        region={setup.region}
        plan={setup.plan}
        recognised={detectedRegion !== null}
        locked={saving}
        onChange={(region) => setSetup({ ...setup, region })}
        onApplyPlan={applyPlan}
      />
      <Row gutter={24}>
        {radios.map((radio) => (
          <Col key={radio.title} xs={24} xl={12}>
            <Divider orientation="left">{radio.title}</Divider>
            {radio.fields.map((field) => (
              <FieldItem key={field.name} field={field} {...shared} {...rowLayout} />
            ))}
          </Col>
        ))}
      </Row>
      <EverySaveSettings config={config} region={setup.region} />
      <div className="form-actions">
        <Button ref={saveButtonRef} type="primary" htmlType="submit" icon={<SaveOutlined />} loading={saving}>
          Save
        </Button>
        <Typography.Text type="secondary" className="form-state">
          {formState(saving, unsaved)}
        </Typography.Text>
      </div>
    </Form>
  );
}
