// Programs in and out of the page: the file picker, a file dropped on the page, a download of
// the text, and the bundled examples, fetched once at start so they work offline afterwards.
export function programName(name) {
  const base = (name || 'programm').replace(/^.*[\\/]/, '');
  return /\.awl$/i.test(base) ? base : `${base}.awl`;
}

export async function fetchExamples() {
  const response = await fetch('examples/index.json');
  if (!response.ok) throw new Error(`examples/index.json: ${response.status}`);
  const index = await response.json();
  const text = (file) => fetch(`examples/${encodeURIComponent(file)}`).then((r) => r.text());
  return Promise.all(
    index.map(async (entry) => {
      const [program, scenario] = await Promise.all([text(entry.name), entry.scenario ? text(entry.scenario) : null]);
      return { ...entry, text: program, scenarioText: scenario };
    }),
  );
}

// Downloads `text` as the file `fileName`, e.g. programName(name) for the program.
export function downloadText(fileName, text) {
  const url = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = fileName;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 0);
}

export function wireFileInput(button, input, onFile) {
  button?.addEventListener('click', () => input.click());
  input.addEventListener('change', async () => {
    const [file] = input.files;
    input.value = '';
    if (file) onFile(file.name, await file.text());
  });
}

// A drop of one file anywhere on the page opens it; the editor's own text drop is left alone.
export function wireDrop(target, onFile) {
  const hasFile = (event) => [...(event.dataTransfer?.types ?? [])].includes('Files');
  target.addEventListener('dragover', (event) => {
    if (!hasFile(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
  });
  target.addEventListener(
    'drop',
    async (event) => {
      if (!hasFile(event)) return;
      event.preventDefault();
      event.stopPropagation();
      const [file] = event.dataTransfer.files;
      if (file) onFile(file.name, await file.text());
    },
    true,
  );
}

export function buildExamplesMenu(button, menu, examples, onPick) {
  for (const example of examples) {
    const item = document.createElement('button');
    item.type = 'button';
    item.setAttribute('role', 'menuitem');
    item.dataset.example = example.name;
    item.textContent = example.title ? `${example.name} – ${example.title}` : example.name;
    item.addEventListener('click', () => {
      close();
      onPick(example);
    });
    menu.appendChild(item);
  }
  const close = () => {
    menu.hidden = true;
    button.setAttribute('aria-expanded', 'false');
  };
  button.addEventListener('click', () => {
    const open = menu.hidden;
    menu.hidden = !open;
    button.setAttribute('aria-expanded', String(open));
    if (open) menu.querySelector('button')?.focus();
  });
  menu.addEventListener('keydown', (event) => {
    const items = [...menu.querySelectorAll('button')];
    const at = items.indexOf(document.activeElement);
    const step = { ArrowDown: 1, ArrowUp: -1 }[event.key];
    if (step) {
      event.preventDefault();
      items[(at + step + items.length) % items.length]?.focus();
    } else if (event.key === 'Escape') {
      close();
      button.focus();
    }
  });
  document.addEventListener('click', (event) => {
    if (!menu.hidden && !menu.contains(event.target) && event.target !== button) close();
  });
}
