// A small read-only table for the console's short lists (the kept versions,
// the changes a save makes). It draws what antd's Table would for these lists
// without its sorting, paging, selection and virtual scrolling machinery, which
// would otherwise be a fifth of the console's script.
//
// `columns`: { key, title, render(row), from } where `from` ('md' or 'lg')
// hides the column on narrower screens. `rows` are keyed by `rowKey`.
// `stackOnPhones` draws each row as a card of labelled lines on phones, where
// columns side by side would break their words letter by letter.
export function PlainTable({ columns, rows, rowKey, className = '', loading = false, emptyText, stackOnPhones = false }) {
  const shown = (column) => (column.from ? `from-${column.from}` : undefined);
  const label = (column) => (stackOnPhones && typeof column.title === 'string' ? column.title : undefined);
  return (
    <div className={['plain-table', stackOnPhones && 'plain-table-stacked', className].filter(Boolean).join(' ')}
      aria-busy={loading || undefined}>
      <table>
        <thead>
          <tr>
            {columns.map((column) => (
              <th key={column.key} scope="col" className={shown(column)}>
                {column.title}
              </th>
            ))}
          </tr>
        </thead>
        <tbody>
          {rows.map((row) => (
            <tr key={row[rowKey]}>
              {columns.map((column) => (
                <td key={column.key} className={shown(column)} data-label={label(column)}>
                  {column.render(row)}
                </td>
              ))}
            </tr>
          ))}
        </tbody>
      </table>
      {loading && <div className="plain-table-note">Loading…</div>}
      {!loading && rows.length === 0 && emptyText && <div className="plain-table-note">{emptyText}</div>}
    </div>
  );
}
