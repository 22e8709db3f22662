// The editor area's tabs: the program, then the program's scenarios (*.scn). Each scenario is
// an EditorState of its own, shown in turn by one scenario editor, so the editor's state stays
// the only copy of its text. The scenarios are kept with the program's name.
export function scenarioName(name) {
  const base = (name || 'szenario').replace(/^.*[\\/]/, '');
  return /\.scn$/i.test(base) ? base : `${base}.scn`;
}

export function createScenarioTabs({ tablist, programTab, newTab, programHost, scenarioHost, tools }, editor, onSwitch) {
  let tabs = [];
  // -1 is the program's tab.
  let active = -1;
  const stateOf = (i) => (i === active ? editor.view.state : tabs[i].state);

  function uniqueName(wanted) {
    const taken = new Set(tabs.map((tab) => tab.name));
    if (!taken.has(wanted)) return wanted;
    const base = wanted.replace(/\.scn$/i, '');
    for (let n = 2; ; ++n) if (!taken.has(`${base}-${n}.scn`)) return `${base}-${n}.scn`;
  }

  function render() {
    tablist.querySelectorAll('[data-scenario]').forEach((node) => node.remove());
    tabs.forEach((tab, i) => {
      const node = document.createElement('button');
      node.type = 'button';
      node.setAttribute('role', 'tab');
      node.dataset.scenario = tab.name;
      node.textContent = tab.dirty ? `${tab.name} •` : tab.name;
      node.title = tab.dirty ? 'nicht heruntergeladen' : '';
      node.addEventListener('click', () => select(i));
      tablist.insertBefore(node, newTab);
    });
    const selected = (node, on) => {
      node.setAttribute('aria-selected', String(on));
      node.tabIndex = on ? 0 : -1;
    };
    selected(programTab, active === -1);
    [...tablist.querySelectorAll('[data-scenario]')].forEach((node, i) => selected(node, i === active));
    programHost.hidden = active !== -1;
    scenarioHost.hidden = active === -1;
    for (const tool of tools) tool.disabled = active === -1;
  }

  function select(i) {
    if (i === active) return;
    if (active >= 0) tabs[active].state = editor.swap(i >= 0 ? tabs[i].state : editor.newState());
    else if (i >= 0) editor.swap(tabs[i].state);
    active = i;
    render();
    onSwitch();
  }

  function add(name, text, dirty) {
    tabs.push({ name: uniqueName(scenarioName(name)), state: editor.newState(text), dirty });
    select(tabs.length - 1);
    render();
  }

  programTab.addEventListener('click', () => select(-1));
  render();

  return {
    activeIndex: () => active,
    active: () => (active >= 0 ? { name: tabs[active].name, text: stateOf(active).doc.toString() } : null),
    // The tab a test runs: the one shown, or with the program shown the first scenario.
    toTest: () => (tabs.length === 0 ? -1 : Math.max(active, 0)),
    scenario: (i) => ({ name: tabs[i].name, text: stateOf(i).doc.toString() }),
    select,
    add,
    // The active tab's text was edited.
    edited() {
      if (active >= 0 && !tabs[active].dirty) {
        tabs[active].dirty = true;
        render();
      }
    },
    saved() {
      if (active >= 0) tabs[active].dirty = false;
      render();
    },
    rename(name) {
      if (active < 0 || !name) return;
      const wanted = scenarioName(name);
      if (wanted !== tabs[active].name) tabs[active].name = uniqueName(wanted);
      render();
    },
    isDirty: () => active >= 0 && tabs[active].dirty && stateOf(active).doc.length > 0,
    close() {
      if (active < 0) return;
      const closing = active;
      select(closing > 0 ? closing - 1 : tabs.length > 1 ? 1 : -1);
      tabs.splice(closing, 1);
      if (active > closing) active -= 1;
      render();
      onSwitch();
    },
    // Replaces every scenario, e.g. with another program's; the program's tab is shown.
    replaceAll(list) {
      select(-1);
      tabs = list.map(({ name, text, dirty }) => ({ name: scenarioName(name), state: editor.newState(text), dirty: !!dirty }));
      render();
    },
    list: () => tabs.map((tab, i) => ({ name: tab.name, text: stateOf(i).doc.toString(), dirty: tab.dirty })),
    has: (name) => tabs.some((tab) => tab.name === name),
  };
}
