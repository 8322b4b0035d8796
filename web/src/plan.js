// The operator tree of the plan document (--explain=FILE.json), as the page
// shows it: one button per node with its operation, its label and its row
// count (or why it has none), nested as the plan is; a click shows the
// node's intermediate table (from --trace) and marks its text in the query
// line.
//
// The document is {query, status, root, nodes}, the nodes listed parent
// before children, each {id, op, label, text, span [begin, end) (bytes of
// the query line), parent, children [id], name, columns [{name, type}] or
// null, evaluated, failed, fused, rows, time (ms), trace {rows, total,
// truncated}}; a node of an extended operation (--extended) also has
// extended (its name: join, njoin, intersect, divide) and origin ('call'
// for the node that stands for the operation as written, 'definition' for
// the nodes of the six that define it, drawn fainter).

// Nodes drawn at most; the rest of a very large plan is counted.
export const SHOWN_NODES = 500;

// The nodes of a document by id, in their order, as plain data: {id, op,
// label, text, span, name, columns, rowCount, time, evaluated, failed,
// fused, trace: {rows, total, truncated} or null, children: [id],
// extended (a name, or null), origin ('written', 'call' or 'definition')};
// null for a document without nodes.
export function readPlan(doc) {
  if (!doc || typeof doc !== 'object' || !Array.isArray(doc.nodes) || doc.nodes.length === 0) return null;
  const nodes = new Map();
  for (const n of doc.nodes) {
    nodes.set(n.id, {
      id: n.id,
      op: String(n.op),
      label: String(n.label ?? n.text ?? ''),
      text: String(n.text ?? ''),
      span: Array.isArray(n.span) && n.span.length === 2 ? n.span.map(Number) : null,
      name: String(n.name ?? ''),
      columns: Array.isArray(n.columns) ? n.columns.map((c) => ({ name: String(c.name), type: String(c.type) })) : null,
      rowCount: typeof n.rows === 'number' ? n.rows : null,
      time: typeof n.time === 'number' ? n.time : null,
      evaluated: Boolean(n.evaluated),
      failed: Boolean(n.failed),
      fused: Boolean(n.fused),
      trace: n.trace && Array.isArray(n.trace.rows)
        ? { rows: n.trace.rows.map((r) => r.map(String)), total: Number(n.trace.total), truncated: Boolean(n.trace.truncated) }
        : null,
      children: Array.isArray(n.children) ? n.children : [],
      extended: typeof n.extended === 'string' ? n.extended : null,
      origin: n.origin === 'call' || n.origin === 'definition' ? n.origin : 'written',
    });
  }
  const root = nodes.has(doc.root) ? doc.root : doc.nodes[0].id;
  return { query: String(doc.query ?? ''), status: doc.status, root, nodes, order: doc.nodes.map((n) => n.id) };
}

function plural(n, word) {
  return `${n.toLocaleString('en-US')} ${word}${n === 1 ? '' : 's'}`;
}

// What a node's button says after its label.
export function nodeSummary(node) {
  if (node.failed) return 'failed here';
  if (node.fused) return 'not built: the selection tests each pair of rows';
  if (!node.evaluated) return 'not evaluated';
  const time = node.time === null ? '' : `, ${node.time.toFixed(3)} ms`;
  return `${plural(node.rowCount ?? 0, 'row')}${time}`;
}

// Builds the tree into `into`; onSelect(node, button) is called on a click.
// Returns the plan read, or null.
export function renderPlan(into, doc, onSelect) {
  into.replaceChildren();
  const plan = readPlan(doc);
  if (!plan) return null;
  // The first SHOWN_NODES nodes in the document's order: as each parent
  // stands before its children, they hang together from the root.
  const shown = new Set(plan.order.slice(0, SHOWN_NODES));
  const items = new Map();
  for (const id of plan.order) {
    if (!shown.has(id)) continue;
    const node = plan.nodes.get(id);
    const li = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'plan-node' + (node.failed ? ' failed' : '') + (node.evaluated ? '' : ' idle') +
      (node.origin === 'definition' ? ' definition' : '');
    button.dataset.id = String(id);
    const op = document.createElement('span');
    op.className = 'plan-op';
    // An extended operation's node is named as written; the nodes of its
    // definition by their own operation.
    op.textContent = node.origin === 'call' ? node.extended : node.op;
    const label = document.createElement('span');
    label.className = 'plan-text';
    label.textContent = node.label;
    const count = document.createElement('span');
    count.className = 'plan-rows';
    count.textContent = nodeSummary(node);
    button.append(op, ' ', label, ' ', count);
    button.title = node.text;
    button.addEventListener('click', () => onSelect(node, button));
    li.append(button);
    items.set(id, li);
  }
  const top = document.createElement('ul');
  top.className = 'plan-tree';
  for (const id of plan.order) {
    const li = items.get(id);
    if (!li) continue;
    const kids = plan.nodes.get(id).children.filter((c) => items.has(c));
    if (kids.length) {
      const ul = document.createElement('ul');
      for (const c of kids) ul.append(items.get(c));
      li.append(ul);
    }
  }
  top.append(items.get(plan.root));
  into.append(top);
  if (plan.order.length > shown.size) {
    const p = document.createElement('p');
    p.className = 'plan-more';
    p.textContent = `${plural(plan.order.length - shown.size, 'more node')} not shown.`;
    into.append(p);
  }
  return plan;
}
