// The operator tree of --explain=json, as the page shows it: one button per
// node with its operation, its text and its row count, nested as the plan
// is; a click shows the node's intermediate table (from --trace) and marks
// its span in the query line.
//
// A node is read defensively, so that a field renamed or missing shows as
// absent rather than breaking the page:
//   op, text, span [begin, end) (bytes of the query line), columns
//   [{name, type}], rows (the row count), time, failed, children [node],
//   trace: the node's first rows, as [[cell]] or {columns, rows}.

export function planRoot(doc) {
  if (!doc || typeof doc !== 'object') return null;
  if (Array.isArray(doc)) return doc.length ? doc[0] : null;
  return doc.plan || doc.root || doc.tree || doc;
}

function rowCountOf(node) {
  for (const k of ['rows', 'row_count', 'rowCount', 'count']) {
    if (typeof node[k] === 'number') return node[k];
  }
  return null;
}

function columnsOf(node) {
  const cols = node.columns || node.output || (node.trace && node.trace.columns) || [];
  return Array.isArray(cols)
    ? cols.map((c) => (typeof c === 'string' ? { name: c, type: '' } : { name: String(c.name ?? ''), type: String(c.type ?? '') }))
    : [];
}

function traceRowsOf(node) {
  const tr = node.trace ?? node.sample ?? node.first_rows;
  const rows = Array.isArray(tr) ? tr : tr && Array.isArray(tr.rows) ? tr.rows : null;
  if (!rows) return null;
  return rows.map((r) => (Array.isArray(r) ? r.map((c) => (c === null ? '' : String(c))) : [String(r)]));
}

// Plain data for one node: {op, text, span, columns, rowCount, time,
// failed, traceRows, children}.
export function readNode(node) {
  if (!node || typeof node !== 'object') return null;
  const span = Array.isArray(node.span) && node.span.length === 2 ? node.span.map(Number) : null;
  return {
    op: String(node.op ?? node.operation ?? '?'),
    text: String(node.text ?? ''),
    span,
    columns: columnsOf(node),
    rowCount: rowCountOf(node),
    time: typeof node.time === 'number' ? node.time : null,
    failed: Boolean(node.failed),
    traceRows: traceRowsOf(node),
    children: (Array.isArray(node.children) ? node.children : []).map(readNode).filter(Boolean),
  };
}

function plural(n, word) {
  return `${n.toLocaleString('en-US')} ${word}${n === 1 ? '' : 's'}`;
}

// Builds the tree into `into`; onSelect(node, button) is called on a click.
export function renderPlan(into, doc, onSelect) {
  into.replaceChildren();
  const root = readNode(planRoot(doc));
  if (!root) return null;
  const build = (node, path) => {
    const li = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'plan-node' + (node.failed ? ' failed' : '');
    button.dataset.path = path;
    const op = document.createElement('span');
    op.className = 'plan-op';
    op.textContent = node.op;
    const text = document.createElement('span');
    text.className = 'plan-text';
    text.textContent = node.text;
    const count = document.createElement('span');
    count.className = 'plan-rows';
    count.textContent = node.rowCount === null ? (node.failed ? 'failed' : '') : plural(node.rowCount, 'row');
    button.append(op, ' ', text, ' ', count);
    button.addEventListener('click', () => onSelect(node, button));
    li.append(button);
    if (node.children.length) {
      const ul = document.createElement('ul');
      node.children.forEach((c, i) => ul.append(build(c, `${path}.${i}`)));
      li.append(ul);
    }
    return li;
  };
  const ul = document.createElement('ul');
  ul.className = 'plan-tree';
  ul.append(build(root, '0'));
  into.append(ul);
  return root;
}
