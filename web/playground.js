// The playground page: the plug-in (joybits_playground.wasm) driven as a host drives it,
// over virtual controllers the page scripts.
import createPlayground from './joybits_playground.js';

const plugin = await createPlayground();

// The command codes, the slots, the axes and what the first poll gives, as the module's own
// headers have them.
const FACTS = JSON.parse(plugin.UTF8ToString(plugin._playground_facts()));
const {
  set_window: CMD_SET_WINDOW, release: CMD_RELEASE, configure: CMD_CONFIGURE, poll: CMD_POLL, next_bit: CMD_NEXT_BIT,
} = FACTS.commands;
const {
  axes: AXES, povs: POVS, buttons: BUTTONS, slots: MAX_CONTROLLERS, axis_min: AXIS_MIN, axis_max: AXIS_MAX,
  first_poll: FIRST_POLL,
} = FACTS;
const GROUP = 16;
// The page's frame, as a host polling at 60 Hz has it: the platform's clock moves by it.
const FRAME_MS = Math.round(1000 / 60);
// A point of view's positions as a 3 x 3 grid: hundredths of a degree clockwise from up,
// -1 in the middle for centred.
const HAT_GRID = [31500, 0, 4500, 27000, -1, 9000, 22500, 18000, 13500];
const HAT_SIGNS = ['\u2196', '\u2191', '\u2197', '\u2190', '\u00b7', '\u2192', '\u2199', '\u2193', '\u2198'];
// The standard Gamepad layout's D-pad buttons, which drive the first point of view too.
const DPAD = { up: 12, down: 13, left: 14, right: 15 };

const $ = (id) => document.getElementById(id);

const state = {
  // {id, axes: [positions], povs: [angles or -1], buttons: [BUTTONS booleans], model: 'VVVV:PPPP',
  //  attached, number: the j number the plug-in gives it (0: none), arrived: plugged in after the configure}
  controllers: [],
  mapping: '',
  entries: [],
  polls: 0,             // polls since the last configure
  pendingEdit: null,    // time of the edit not yet shown in the lamps
  readsAfterError: null,  // after a syntax error: how many bits a host reads, as the report counts them
};

// The plug-in's one export; a text argument goes through the runtime's string passing.
function device(command, argument = 0) {
  return plugin.__pbplug_Device(command, argument);
}

function configureText(text) {
  const answer = plugin.ccall('_pbplug_Device', 'number', ['number', 'string'], [CMD_CONFIGURE, text]);
  return plugin.UTF8ToString(answer);
}

// The module's report of the mapping the plug-in compiles for text: {mapping, table,
// syntax_error, warnings}, with the lines to show.
function describe(text) {
  return JSON.parse(plugin.UTF8ToString(plugin.ccall('playground_describe', 'number', ['string'], [text])));
}

// --- The controllers -------------------------------------------------------------------

function newController() {
  return {
    id: -1, axes: AXES.map(() => 0), povs: Array(POVS).fill(-1), buttons: Array(BUTTONS).fill(false), model: '',
    attached: true, number: 0, arrived: false,
  };
}

const moduleJson = (pointer) => JSON.parse(plugin.UTF8ToString(pointer));

// The pad on the platform, with its inputs and its plug as the page has them.
function addToPlatform(c) {
  c.id = plugin._playground_add_controller();
  c.model = moduleJson(plugin._playground_model(c.id));
  applyController(c);
  if (!c.attached) plugin._playground_set_attached(c.id, 0);
}

function applyController(c) {
  c.axes.forEach((position, axis) => plugin._playground_set_axis(c.id, axis, position));
  c.povs.forEach((angle, pov) => plugin._playground_set_pov(c.id, pov, angle));
  c.buttons.forEach((pressed, i) => plugin._playground_set_button(c.id, i + 1, pressed ? 1 : 0));
}

// The plug-in enumerates controllers when it is configured: after a controller comes or
// goes the platform is set up again and the mapping configured again.
function rebuildControllers() {
  device(CMD_RELEASE);
  plugin._playground_reset();
  state.controllers.forEach(addToPlatform);
  device(CMD_SET_WINDOW, 1);  // any window handle will do: the devices only want one
  configure();
}

// A pad plugged in while the plug-in runs: no configure; the plug-in takes it into the
// first free number once it has looked for new pads.
function plugInController() {
  const c = newController();
  addToPlatform(c);
  c.number = plugin._playground_arrival_number(c.id);
  c.arrived = true;
  state.controllers.push(c);
  renderControllers();
}

// A pin for the pad at the front of the mapping, which keeps number for its model.
function pinController(c, number) {
  state.mapping = `j${number}=${c.model},${state.mapping}`;
  $('mapping').value = state.mapping;
  history.replaceState(null, '', `#${encodeURIComponent(state.mapping)}`);
  configure();
}

// A button of the page: its text, its data-* fields, its aria-pressed state when it has one.
function pageButton(text, data, pressed) {
  const b = document.createElement('button');
  b.type = 'button';
  b.textContent = text;
  Object.assign(b.dataset, data);
  if (pressed !== undefined) b.setAttribute('aria-pressed', String(pressed));
  return b;
}

// The card's title: the number the plug-in gives the pad, the pad and its model, and what
// can be done with it: removed (the platform set up again and a configure), unplugged or
// plugged back in (while the plug-in runs), pinned to a number.
function controllerTitle(c, index) {
  const title = document.createElement('h3');
  const number = c.number && c.attached ? `j${c.number}` : 'not read';
  title.textContent = `${number}: pad ${index + 1} (${c.model})`;
  title.dataset.number = String(c.attached ? c.number : 0);
  const remove = pageButton('remove', {});
  remove.className = 'remove';
  remove.addEventListener('click', () => {
    state.controllers.splice(index, 1);
    rebuildControllers();
  });
  const plug = pageButton(c.attached ? 'unplug' : 'plug in', { plug: '' });
  plug.addEventListener('click', () => {
    c.attached = !c.attached;
    plugin._playground_set_attached(c.id, c.attached ? 1 : 0);
    // Away at the configure, it comes as a pad plugged in later; else it keeps its number.
    if (c.attached && c.number === 0) Object.assign(c, { number: plugin._playground_arrival_number(c.id), arrived: true });
    renderControllers();
  });
  const pinTo = document.createElement('select');
  pinTo.setAttribute('aria-label', `the number to pin pad ${index + 1} to`);
  for (let n = 1; n <= MAX_CONTROLLERS; ++n) pinTo.append(new Option(`j${n}`, String(n), false, n === c.number));
  const pin = pageButton('pin', { pin: '' });
  pin.addEventListener('click', () => pinController(c, Number(pinTo.value)));
  title.append(' ', remove, ' ', plug, ' ', pinTo, pin);
  if (c.arrived) {
    const note = document.createElement('small');
    note.textContent = ' plugged in while the plug-in runs: read once it has looked for new pads';
    title.append(note);
  }
  return title;
}

function axisRow(c, index, name, axis) {
  const row = document.createElement('label');
  row.className = 'axis';
  const slider = document.createElement('input');
  slider.type = 'range';
  slider.min = String(AXIS_MIN);
  slider.max = String(AXIS_MAX);
  slider.value = String(c.axes[axis]);
  slider.dataset.axis = name;
  slider.setAttribute('aria-label', `pad ${index + 1} ${name}`);
  const value = document.createElement('output');
  value.textContent = String(c.axes[axis]);
  slider.addEventListener('input', () => {
    c.axes[axis] = Number(slider.value);
    value.textContent = slider.value;
    plugin._playground_set_axis(c.id, axis, c.axes[axis]);
  });
  row.append(name, slider, value);
  return row;
}

function hatPad(c, index, angle, pov) {
  const hat = document.createElement('div');
  hat.className = 'hat';
  hat.dataset.pov = String(pov + 1);
  hat.setAttribute('aria-label', `pad ${index + 1} h${pov + 1}`);
  HAT_GRID.forEach((position, i) => {
    const b = pageButton(HAT_SIGNS[i], { angle: String(position) }, position === angle);
    b.addEventListener('click', () => setHat(c, pov, position));
    hat.append(b);
  });
  return hat;
}

function buttonRow(c) {
  const buttons = document.createElement('div');
  buttons.className = 'buttons';
  c.buttons.forEach((pressed, i) => {
    const b = pageButton(`b${i + 1}`, { button: String(i + 1) }, pressed);
    b.addEventListener('click', () => {
      c.buttons[i] = !c.buttons[i];
      b.setAttribute('aria-pressed', String(c.buttons[i]));
      plugin._playground_set_button(c.id, i + 1, c.buttons[i] ? 1 : 0);
    });
    buttons.append(b);
  });
  return buttons;
}

function renderControllers() {
  const box = $('controllers');
  box.replaceChildren();
  state.controllers.forEach((c, index) => {
    const card = document.createElement('div');
    card.className = 'controller';
    card.dataset.controller = String(index + 1);
    card.append(controllerTitle(c, index));
    AXES.forEach((name, axis) => card.append(axisRow(c, index, name, axis)));
    c.povs.forEach((angle, pov) => card.append(hatPad(c, index, angle, pov)));
    card.append(buttonRow(c));
    box.append(card);
  });
  $('add-controller').disabled = state.controllers.length >= MAX_CONTROLLERS;
  $('plug-controller').disabled = state.controllers.length >= MAX_CONTROLLERS;
}

function setHat(c, pov, angle) {
  c.povs[pov] = angle;
  plugin._playground_set_pov(c.id, pov, angle);
  const index = state.controllers.indexOf(c) + 1;
  document.querySelectorAll(`.controller[data-controller="${index}"] .hat[data-pov="${pov + 1}"] button`)
    .forEach((b) => b.setAttribute('aria-pressed', String(Number(b.dataset.angle) === angle)));
}

// The hat's angle for the D-pad buttons held: one of eight, or -1 with none (or with
// only opposite ones).
function dpadAngle(buttons) {
  const held = (b) => (buttons[b]?.pressed ? 1 : 0);
  const x = held(DPAD.right) - held(DPAD.left);
  const y = held(DPAD.down) - held(DPAD.up);
  return HAT_GRID[(y + 1) * 3 + (x + 1)];
}

// A connected pad (the Gamepad API) drives j1: axes scaled to the plug-in's range, a
// pressed button pressed, the D-pad buttons the first point of view too.
function applyPad() {
  const pads = navigator.getGamepads ? Array.from(navigator.getGamepads()).filter(Boolean) : [];
  $('pad').textContent = pads.length ? `(pad: ${pads[0].id})` : '(no pad connected)';
  if (!pads.length || !$('use-pad').checked || !state.controllers.length) return;
  // The pad the plug-in reads as j1 (a pin may make it another than the first).
  const index = Math.max(0, state.controllers.findIndex((p) => p.attached && p.number === 1));
  const c = state.controllers[index];
  const card = document.querySelector(`.controller[data-controller="${index + 1}"]`);
  pads[0].axes.slice(0, AXES.length).forEach((v, axis) => {
    const position = Math.max(AXIS_MIN, Math.min(AXIS_MAX, Math.round(v * AXIS_MAX)));
    c.axes[axis] = position;
    plugin._playground_set_axis(c.id, axis, position);
    const slider = card?.querySelector(`input[data-axis="${AXES[axis]}"]`);
    if (slider) {
      slider.value = String(position);
      slider.nextElementSibling.textContent = String(position);
    }
  });
  pads[0].buttons.slice(0, BUTTONS).forEach((button, i) => {
    c.buttons[i] = button.pressed;
    plugin._playground_set_button(c.id, i + 1, button.pressed ? 1 : 0);
    card?.querySelector(`button[data-button="${i + 1}"]`)?.setAttribute('aria-pressed', String(button.pressed));
  });
  if (POVS > 0) setHat(c, 0, dpadAngle(pads[0].buttons));
}

// --- The mapping -----------------------------------------------------------------------

function markedText(text, info) {
  const marks = info.warnings.map((w) => ({ from: w.offset, to: w.offset + w.length, kind: 'warning', title: w.message }));
  const error = info.syntax_error;
  if (error) {
    // The fault's bytes: the whole token, or inside a group the operand, joint or ')' at fault.
    marks.push({ from: error.fault, to: error.fault + Math.max(error.fault_length, 1), kind: 'error', title: error.reason });
  }
  marks.sort((a, b) => a.from - b.from);
  // The offsets count the bytes of the text as the plug-in gets it (UTF-8).
  const bytes = new TextEncoder().encode(text);
  const cut = (from, to = bytes.length) => new TextDecoder().decode(bytes.subarray(from, to));
  const pre = $('marked');
  pre.replaceChildren();
  let at = 0;
  for (const m of marks) {
    if (m.from < at) continue;
    pre.append(cut(at, m.from));
    const mark = document.createElement('mark');
    mark.className = m.kind;
    mark.title = m.title;
    mark.textContent = cut(m.from, m.to) || ' ';
    pre.append(mark);
    at = m.to;
  }
  pre.append(cut(at));
}

function configure() {
  const answer = configureText(state.mapping);
  const numbers = moduleJson(plugin.ccall('playground_numbers', 'number', ['string'], [state.mapping]));
  state.controllers.forEach((c, i) => Object.assign(c, { number: numbers[i], arrived: false }));
  renderControllers();
  state.polls = 0;
  $('answer').textContent = answer;
  const info = describe(state.mapping);
  markedText(info.mapping, info);
  const error = $('error');
  error.hidden = !info.syntax_error;
  if (info.syntax_error) error.textContent = info.syntax_error.text;
  const list = $('warnings');
  list.replaceChildren(...info.warnings.map((w) => {
    const li = document.createElement('li');
    li.textContent = w.text;
    return li;
  }));
  state.entries = info.table;
  state.readsAfterError = info.syntax_error ? info.syntax_error.reads_after_error : null;
  renderTable();
  renderLamps('');
}

function tableRow(index, e, className) {
  const row = document.createElement('tr');
  row.className = className;
  for (const [cls, value] of [['index', index], ['token', e.token], ['word', e.word], ['meaning', e.meaning],
                              ['bit', '']]) {
    const cell = document.createElement('td');
    cell.className = cls;
    cell.textContent = value;
    row.append(cell);
  }
  return row;
}

// One row per entry; under a group, one per operand.
function renderTable() {
  const body = document.querySelector('#entries tbody');
  body.replaceChildren(...state.entries.flatMap((e, i) => [
    tableRow(String(i + 1), e, 'entry'),
    ...(e.operands ?? []).map((o) => tableRow('', o, 'operand')),
  ]));
}

function renderLamps(bits) {
  const box = $('lamps');
  box.classList.toggle('acquiring', state.polls === 1);
  const rows = [];
  for (let g = 0; g * GROUP < bits.length; ++g) {
    const row = document.createElement('div');
    row.className = 'lamp-row';
    const label = document.createElement('span');
    label.className = 'group';
    label.textContent = String(g * GROUP + 1);
    row.append(label);
    for (let i = g * GROUP; i < Math.min(bits.length, (g + 1) * GROUP); ++i) {
      const lamp = document.createElement('span');
      lamp.className = bits[i] === '1' ? 'lamp on' : 'lamp';
      lamp.dataset.bit = String(i + 1);
      lamp.title = `${i + 1}: ${state.entries[i]?.token ?? ''}`;
      row.append(lamp);
    }
    rows.push(row);
  }
  box.replaceChildren(...rows);
  box.dataset.bits = bits;
  document.querySelectorAll('#entries tbody tr.entry').forEach((row, i) => {
    const cell = row.querySelector('td.bit');
    cell.textContent = bits[i] ?? '';
    cell.classList.toggle('on', bits[i] === '1');
  });
  box.classList.toggle('after-error', state.readsAfterError !== null);
  // Frames are numbered from 0, the acquiring poll, as the host tool numbers them.
  $('frame').textContent = (state.polls === 0 ? 'configured, not polled yet'
    : state.polls === 1 ? `frame 0 (${FIRST_POLL})`
    : `frame ${state.polls - 1}`) + (state.readsAfterError !== null ? ': after a syntax error, what a host reads' : '');
}

// One frame as a host reads it: a poll, then one read per entry.
function frame() {
  plugin._playground_advance_clock(FRAME_MS);
  applyPad();
  const count = device(CMD_POLL);
  const reads = state.readsAfterError ?? count;
  let bits = '';
  for (let i = 0; i < reads; ++i) bits += device(CMD_NEXT_BIT) ? '1' : '0';
  state.polls += 1;
  renderLamps(bits);
  // From an edit to the lamps of the first frame with fresh state (the second poll).
  // Only while polling runs every frame: a paused page waits for its clicks.
  if (state.pendingEdit !== null && state.polls === 2 && $('running').checked) {
    $('timing').textContent = `edit to updated lamps: ${(performance.now() - state.pendingEdit).toFixed(1)} ms ` +
                              '(configure and two frames)';
    $('timing').dataset.ms = String(performance.now() - state.pendingEdit);
    state.pendingEdit = null;
  }
}

function loop() {
  if ($('running').checked) frame();
  requestAnimationFrame(loop);
}

// The mapping in the address: each run of escapes that decodes is decoded, and anything
// else (a bare '%', as in "j1x>50%") is taken as it stands.
function mappingFromAddress() {
  if (location.hash.length <= 1) return null;
  return location.hash.slice(1).replace(/(%[0-9A-Fa-f]{2})+/g, (escapes) => {
    try {
      return decodeURIComponent(escapes);
    } catch {
      return escapes;
    }
  });
}

// --- Start -----------------------------------------------------------------------------

$('mapping').addEventListener('input', () => {
  state.pendingEdit = performance.now();
  state.mapping = $('mapping').value;
  history.replaceState(null, '', `#${encodeURIComponent(state.mapping)}`);
  configure();
});
$('step').addEventListener('click', frame);
$('plug-controller').addEventListener('click', plugInController);
$('add-controller').addEventListener('click', () => {
  if (state.controllers.length >= MAX_CONTROLLERS) return;
  state.controllers.push(newController());
  rebuildControllers();
});

state.controllers = [newController(), newController()];
const shared = mappingFromAddress();
state.mapping = shared ?? '';
rebuildControllers();
if (shared === null) {
  // The default mapping, as the plug-in answers it: the editor starts with its text.
  state.mapping = describe('').mapping;
  configure();
}
$('mapping').value = state.mapping;
$('status').textContent = `ready: plug-in loaded in ${performance.now().toFixed(0)} ms`;
$('status').dataset.ready = 'true';
requestAnimationFrame(loop);
