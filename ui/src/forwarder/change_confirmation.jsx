import { useRef } from 'react';
import { Alert, Modal, Tag, Typography } from 'antd';
import { PlainTable } from '../components/plain_table.jsx';

const columns = [
  {
    title: 'Setting',
    key: 'label',
    render: (change) => (
      <>
        {change.label}
        {change.everySave && ' '}
        {change.everySave && <Tag className="note-tag">written by every save</Tag>}
      </>
    ),
  },
  { title: 'Now', key: 'before', render: (change) => change.before },
  { title: 'After saving', key: 'after', render: (change) => change.after },
];

// Lists what a save changes, old and new, before the forwarder is restarted
// with it. `changes` is null while nothing waits for confirmation. Once in
// place it puts focus on its primary button, so that Enter confirms; focusing
// it while it still zooms in would scroll the page under it. `afterClose`
// runs once it has gone, whichever way it was closed.
export function ChangeConfirmation({ changes, dropsComments, onConfirm, onCancel, afterClose }) {
  const confirmButton = useRef(null);
  const everySaveChanges = (changes ?? []).filter((change) => change.everySave);
  return (
    <Modal
      open={changes !== null}
      title="Save and restart the forwarder?"
      okText="Save and restart"
      okButtonProps={{ ref: confirmButton }}
      afterOpenChange={(open) => open && confirmButton.current?.focus({ preventScroll: true })}
      onOk={onConfirm}
      onCancel={onCancel}
      afterClose={afterClose}
      width={720}
      className="change-confirmation"
      destroyOnHidden
    >
      {changes?.length === 0 ? (
        <Typography.Paragraph>
          Nothing in the file changes. Saving restarts the forwarder with the same settings.
        </Typography.Paragraph>
      ) : (
        <PlainTable rowKey="key" columns={columns} rows={changes ?? []} className="change-table" />
      )}
      {dropsComments && (
        <Alert
          type="info"
          showIcon
          className="change-warning"
          message="The current file has comments. Saving writes the file without them; the version with comments stays in History."
        />
      )}
      {everySaveChanges.length > 0 && (
        <Alert
          type="warning"
          showIcon
          className="change-warning"
          message="This save also changes the radio settings every save writes, and with them what the gateway may transmit on."
        />
      )}
    </Modal>
  );
}
