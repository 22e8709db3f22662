// The panel as the window draws it: eight LEDs above eight switches, bit 7 at the left, on a
// 574 x 254 board that scales with the page. The drawing is one SVG; each switch is a real
// button laid over its column, so keyboard, screen readers, mouse and touch all reach it.
const SVG = 'http://www.w3.org/2000/svg';
const WIDTH = 574;
const HEIGHT = 254;
const COLUMN_LEFT = 10;
const PITCH = 70;
const IMAGE = 62;
const LED_Y = 50;
const SWITCH_Y = 160;
const BITS = 8;

function svg(name, attributes, parent) {
  const element = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, String(value));
  parent?.appendChild(element);
  return element;
}

function label(parent, x, y, text) {
  const group = svg('g', { class: 'panel-label' }, parent);
  svg('rect', { x, y, width: text.length * 7 + 2, height: 16 }, group);
  svg('text', { x: x + 1, y: y + 12 }, group).textContent = text;
}

function stateName(on) {
  return on ? 'an' : 'aus';
}

// Column 0 at the left shows bit 7.
function columnX(bit) {
  return COLUMN_LEFT + PITCH * (BITS - 1 - bit);
}

// The amber frame around a forced LED or switch; the stylesheet shows it only when forced.
function forcedFrame(group, y) {
  svg('rect', { x: 0, y, width: IMAGE + 4, height: IMAGE + 4, rx: 6, class: 'forced-frame' }, group);
}

function drawLed(board, bit) {
  const cx = columnX(bit) + IMAGE / 2;
  const cy = LED_Y + IMAGE / 2;
  const group = svg('g', { class: 'led', role: 'img' }, board);
  forcedFrame(group, LED_Y - 2);
  group.lastChild.setAttribute('x', columnX(bit) - 2);
  svg('circle', { cx, cy, r: 28, class: 'led-body' }, group);
  svg('circle', { cx: cx - 9, cy: cy - 9, r: 7, class: 'led-shine' }, group);
  return group;
}

function drawSwitch(board, bit) {
  const x = columnX(bit);
  const group = svg('g', { class: 'switch', 'aria-hidden': 'true' }, board);
  forcedFrame(group, SWITCH_Y - 2);
  group.lastChild.setAttribute('x', x - 2);
  svg('rect', { x: x + 8, y: SWITCH_Y + 36, width: 46, height: 26, rx: 3, class: 'switch-body' }, group);
  // Both lever positions are drawn; the stylesheet shows the one for the state.
  for (const [name, stemY, knobY] of [
    ['lever-up', 28, 26],
    ['lever-down', 48, 72],
  ]) {
    const lever = svg('g', { class: name }, group);
    svg('rect', { x: x + 27, y: SWITCH_Y + stemY, width: 8, height: 22, class: 'switch-stem' }, lever);
    svg('circle', { cx: x + 31, cy: SWITCH_Y + knobY, r: 6, class: 'switch-knob' }, lever);
  }
  svg('circle', { cx: x + 31, cy: SWITCH_Y + 49, r: 8, class: 'switch-hub' }, group);
  return group;
}

function percent(value, whole) {
  return `${(value * 100) / whole}%`;
}

// The button covers the column with its gap to the right, as the window's click area does.
function switchButton(bit, onToggle) {
  const button = document.createElement('button');
  button.type = 'button';
  button.className = 'switch-button';
  button.setAttribute('role', 'switch');
  button.setAttribute('aria-checked', 'false');
  button.setAttribute('aria-label', `Schalter E0.${bit}`);
  button.title = `Schalter E0.${bit}: aus`;
  button.style.left = percent(columnX(bit), WIDTH);
  button.style.top = percent(SWITCH_Y, HEIGHT);
  button.style.width = percent(PITCH, WIDTH);
  button.style.height = percent(IMAGE, HEIGHT);
  button.addEventListener('click', () => onToggle(bit));
  return button;
}

function drawHint(board) {
  const group = svg('g', { class: 'panel-hint' }, board);
  svg('rect', { x: 107, y: 97, width: 360, height: 60, rx: 6 }, group);
  const first = svg('text', { x: WIDTH / 2, y: 122, class: 'panel-hint-title' }, group);
  first.textContent = 'Kein Programm geladen';
  svg('text', { x: WIDTH / 2, y: 142 }, group).textContent =
    'Beispiele, Öffnen oder eine .awl-Datei hierher ziehen';
  return group;
}

export function createPanel(container, onToggle) {
  const board = svg('svg', { viewBox: `0 0 ${WIDTH} ${HEIGHT}`, class: 'panel-board' });
  svg('rect', { width: WIDTH, height: HEIGHT, class: 'panel-background' }, board);
  label(board, 20, 10, 'Led7');
  label(board, 520, 10, 'Led0');
  label(board, 20, 120, 'Swt7');
  label(board, 520, 120, 'Swt0');
  const leds = [];
  const switches = [];
  const buttons = [];
  for (let bit = 0; bit < BITS; ++bit) {
    leds.push(drawLed(board, bit));
    switches.push(drawSwitch(board, bit));
  }
  const hint = drawHint(board);
  container.appendChild(board);
  for (let bit = BITS - 1; bit >= 0; --bit) {
    const button = switchButton(bit, onToggle);
    buttons[bit] = button;
    container.appendChild(button);
  }

  return {
    update(ledBits, switchBits, hasProgram, forcedLeds = 0, forcedSwitches = 0) {
      for (let bit = 0; bit < BITS; ++bit) {
        const lit = ((ledBits >> bit) & 1) === 1;
        const on = ((switchBits >> bit) & 1) === 1;
        const switchForced = ((forcedSwitches >> bit) & 1) === 1;
        leds[bit].classList.toggle('forced', ((forcedLeds >> bit) & 1) === 1);
        switches[bit].classList.toggle('forced', switchForced);
        leds[bit].classList.toggle('on', lit);
        leds[bit].setAttribute('aria-label', `LED A0.${bit}: ${stateName(lit)}`);
        switches[bit].classList.toggle('on', on);
        buttons[bit].setAttribute('aria-checked', String(on));
        buttons[bit].title = `Schalter E0.${bit}: ${stateName(on)}${switchForced ? ', forciert' : ''}`;
      }
      hint.classList.toggle('hidden', hasProgram);
    },
  };
}
