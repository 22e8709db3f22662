// The Variablen table as the window has it: operands typed as in a program, each shown in its
// format with a value to write once or to force. The engine keeps the rows; the page sends what
// the user does and draws what the worker reports, about ten times a second.
const FORMATS = ['Dezimal', 'Binär', 'Hex'];

function element(name, attributes = {}, text = '') {
  const node = document.createElement(name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (text) node.textContent = text;
  return node;
}

function button(text, onClick) {
  const node = element('button', { type: 'button' }, text);
  node.addEventListener('click', onClick);
  return node;
}

// `send(op, row, value)` asks the worker for one change of the table.
export function createWatchTable({ body, addInput, addError }, send) {
  let rows = [];
  // A write's or force's complaint, kept with its row until the row's next change.
  const complaints = new Map();
  const drawn = [];

  function rowOf(node) {
    return drawn.findIndex((entry) => entry.tr.contains(node));
  }

  function act(op, node, value) {
    const row = rowOf(node);
    if (row < 0) return;
    complaints.delete(row);
    send(op, row, value);
  }

  // The field's value goes first, so Schreiben and Forcieren use what is typed.
  function withControl(op) {
    return (event) => {
      const row = rowOf(event.target);
      act('setControl', event.target, drawn[row].control.value);
      act(op, event.target);
    };
  }

  function drawRow(index) {
    const tr = element('tr');
    const operand = element('input', { type: 'text', 'aria-label': `Operand, Zeile ${index + 1}`, spellcheck: 'false' });
    operand.addEventListener('change', () => act('setOperand', operand, operand.value.trim()));
    const format = element('select', { 'aria-label': `Format, Zeile ${index + 1}` });
    for (const name of FORMATS) format.appendChild(element('option', { value: name }, name));
    format.addEventListener('change', () => act('setFormat', format, format.value));
    const value = element('output', { class: 'watch-value' });
    const control = element('input', { type: 'text', 'aria-label': `Steuerwert, Zeile ${index + 1}`, spellcheck: 'false' });
    control.addEventListener('change', () => act('setControl', control, control.value.trim()));
    const cells = [operand, format, value, control].map((child) => {
      const td = element('td');
      td.appendChild(child);
      return td;
    });
    // The row's problem, on a line of its own below it.
    const messageRow = element('tr', { class: 'watch-message-row' });
    const message = element('td', { class: 'watch-message', colspan: '5', 'aria-live': 'polite' });
    messageRow.appendChild(message);
    const actions = element('td', { class: 'watch-actions' });
    actions.append(
      button('Schreiben', withControl('write')),
      button('Forcieren', withControl('force')),
      button('Entforcen', (event) => act('release', event.target)),
      button('Entfernen', (event) => act('remove', event.target)),
    );
    tr.append(...cells, actions);
    body.append(tr, messageRow);
    return { tr, messageRow, operand, format, value, control, message };
  }

  // A field being typed in keeps what is typed.
  function setField(field, text) {
    if (document.activeElement !== field && field.value !== text) field.value = text;
  }

  function render() {
    while (drawn.length > rows.length) {
      const gone = drawn.pop();
      gone.tr.remove();
      gone.messageRow.remove();
    }
    while (drawn.length < rows.length) drawn.push(drawRow(drawn.length));
    rows.forEach((row, i) => {
      const cells = drawn[i];
      setField(cells.operand, row.operand);
      cells.format.value = row.format;
      if (cells.value.textContent !== row.value) cells.value.textContent = row.value;
      setField(cells.control, row.control);
      const message = row.message || complaints.get(i) || '';
      if (cells.message.textContent !== message) cells.message.textContent = message;
      cells.tr.classList.toggle('forced', row.forced);
      cells.messageRow.hidden = message === '';
    });
  }

  addInput.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter' || addInput.value.trim() === '') return;
    event.preventDefault();
    addError.textContent = '';
    send('append', undefined, addInput.value.trim());
    addInput.value = '';
  });

  return {
    // The worker's report: the rows, and after a change of the user's its result.
    update({ values, op, row, error }) {
      const before = rows.length;
      rows = values.rows ?? [];
      if (op === 'remove') {
        // The rows below moved up, and their complaints with them.
        const moved = [...complaints].filter(([at]) => at !== row).map(([at, text]) => [at > row ? at - 1 : at, text]);
        complaints.clear();
        moved.forEach(([at, text]) => complaints.set(at, text));
      } else if (error && op === 'append' && rows.length === before) {
        addError.textContent = error;
      } else if (error && row !== undefined) {
        complaints.set(row, error);
      }
      render();
    },
    rowCount: () => rows.length,
  };
}
