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
  first_poll: FIRST_POLL, xinput: XINPUT,
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
const DPAD_SIGNS = { up: '\u2191', down: '\u2193', left: '\u2190', right: '\u2192' };
// The rest of the standard layout on an XInput pad's controls (the Gamepad API's "standard"
// mapping is XInput's pad): its buttons by the XInput names they stand for, the home button
// the guide; its triggers are buttons 6 and 7 with a value of 0 to 1; its sticks are axes 0
// to 3, down positive, where XInput's are up positive.
const STANDARD_BUTTONS = { A: 0, B: 1, X: 2, Y: 3, LB: 4, RB: 5, Back: 8, Start: 9, LS: 10, RS: 11, Guide: 16 };
const STANDARD_TRIGGERS = { 'left trigger': 6, 'right trigger': 7 };
const STANDARD_STICKS = {
  'left stick x': [0, 1], 'left stick y': [1, -1], 'right stick x': [2, 1], 'right stick y': [3, -1],
};
const STANDARD_PLACES = { ...STANDARD_BUTTONS, ...STANDARD_TRIGGERS, ...STANDARD_STICKS, ...DPAD };
for (const name of [...XINPUT.buttons, ...XINPUT.axes.map((a) => a.control), ...XINPUT.dpad]) {
  if (!(name in STANDARD_PLACES)) throw new Error(`the standard layout has no place for XInput's ${name}`);
}

const $ = (id) => document.getElementById(id);

const state = {
  // {id, axes: [positions], povs: [angles or -1], buttons: [BUTTONS booleans], model: 'VVVV:PPPP',
  //  attached, number: the j number the plug-in gives it (0: none), arrived: plugged in after the configure}
  controllers: [],
  // The XInput users x1.. in order: {connected, axes: [values in XInput's ranges, as
  // XINPUT.axes], buttons: [booleans, b1 first], dpad: [booleans, as XINPUT.dpad]}
  users: [],
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

function newUser(connected) {
  return {
    connected, axes: XINPUT.axes.map(() => 0), buttons: XINPUT.buttons.map(() => false),
    dpad: XINPUT.dpad.map(() => false),
  };
}

// The user's pad on the platform, as the page has it.
function applyUser(u, user) {
  plugin._playground_xinput_connect(user, u.connected ? 1 : 0);
  u.axes.forEach((value, axis) => plugin._playground_xinput_set_axis(user, axis, value));
  u.buttons.forEach((pressed, i) => plugin._playground_xinput_set_button(user, i + 1, pressed ? 1 : 0));
  u.dpad.forEach((pressed, d) => plugin._playground_xinput_set_dpad(user, d, pressed ? 1 : 0));
}

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
  state.users.forEach(applyUser);
  renderUsers();
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

// A slider: its label (the axis's letters, also its data-axis), then the value shown.
function sliderRow(letters, label, min, max, value, onInput) {
  const row = document.createElement('label');
  row.className = 'axis';
  const slider = document.createElement('input');
  slider.type = 'range';
  slider.min = String(min);
  slider.max = String(max);
  slider.value = String(value);
  slider.dataset.axis = letters;
  slider.setAttribute('aria-label', label);
  const shown = document.createElement('output');
  shown.textContent = String(value);
  slider.addEventListener('input', () => onInput(Number(slider.value)));
  row.append(letters, slider, shown);
  return row;
}

const cardOfPad = (c) => document.querySelector(`.controller[data-controller="${state.controllers.indexOf(c) + 1}"]`);
const cardOfUser = (user) => document.querySelector(`.xpad[data-user="${user + 1}"]`);

// A slider of a card moved from elsewhere (a connected pad), with the value shown beside it.
function showSlider(card, letters, value, shown = value) {
  const slider = card?.querySelector(`input[data-axis="${letters}"]`);
  if (!slider) return;
  slider.value = String(value);
  slider.nextElementSibling.textContent = String(shown);
}

const showPressed = (card, selector, pressed) => card?.querySelector(selector)?.setAttribute('aria-pressed', String(pressed));

// Each control of a pad or a user set: the page's state, the platform, the card.
function setPadAxis(c, axis, position) {
  c.axes[axis] = position;
  plugin._playground_set_axis(c.id, axis, position);
  showSlider(cardOfPad(c), AXES[axis], position);
}

function setPadButton(c, i, pressed) {
  c.buttons[i] = pressed;
  plugin._playground_set_button(c.id, i + 1, pressed ? 1 : 0);
  showPressed(cardOfPad(c), `button[data-button="${i + 1}"]`, pressed);
}

// An XInput axis set; showUserAxes shows it.
function setUserAxis(user, axis, value) {
  state.users[user].axes[axis] = value;
  plugin._playground_xinput_set_axis(user, axis, value);
}

// Each of the user's sliders with XInput's value and, after the arrow, what the mapping reads.
function showUserAxes(user) {
  const read = moduleJson(plugin._playground_xinput_reading(user));
  state.users[user].axes.forEach((value, axis) => {
    showSlider(cardOfUser(user), XINPUT.axes[axis].letters, value, `${value} \u2192 ${read[axis]}`);
  });
}

function setUserButton(user, i, pressed) {
  state.users[user].buttons[i] = pressed;
  plugin._playground_xinput_set_button(user, i + 1, pressed ? 1 : 0);
  showPressed(cardOfUser(user), `button[data-button="${i + 1}"]`, pressed);
}

function setUserDpad(user, d, pressed) {
  state.users[user].dpad[d] = pressed;
  plugin._playground_xinput_set_dpad(user, d, pressed ? 1 : 0);
  showPressed(cardOfUser(user), `button[data-dpad="${XINPUT.dpad[d]}"]`, pressed);
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
    b.addEventListener('click', () => setPadButton(c, i, !c.buttons[i]));
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
    AXES.forEach((name, axis) => {
      card.append(sliderRow(name, `pad ${index + 1} ${name}`, AXIS_MIN, AXIS_MAX, c.axes[axis],
                            (position) => setPadAxis(c, axis, position)));
    });
    c.povs.forEach((angle, pov) => card.append(hatPad(c, index, angle, pov)));
    card.append(buttonRow(c));
    box.append(card);
  });
  $('add-controller').disabled = state.controllers.length >= MAX_CONTROLLERS;
  $('plug-controller').disabled = state.controllers.length >= MAX_CONTROLLERS;
}

// An XInput user's card: its token's number (XInput's own, the player light the pad shows),
// connected or not, and while connected its pad's controls in XInput's own values.
function userCard(u, user) {
  const name = `${XINPUT.letter}${user + 1}`;
  const card = document.createElement('div');
  card.className = 'xpad';
  card.dataset.user = String(user + 1);
  const title = document.createElement('h3');
  title.textContent = `${name}: XInput pad ${user + 1}, ${u.connected ? 'connected' : 'not connected'}`;
  const plug = pageButton(u.connected ? 'disconnect' : 'connect', { connect: '' });
  plug.addEventListener('click', () => {
    u.connected = !u.connected;
    plugin._playground_xinput_connect(user, u.connected ? 1 : 0);
    renderUsers();
  });
  title.append(' ', plug);
  card.append(title);
  if (!u.connected) return card;
  XINPUT.axes.forEach((a, axis) => {
    const row = sliderRow(a.letters, `${name} ${a.control}`, a.min, a.max, u.axes[axis], (value) => {
      setUserAxis(user, axis, value);
      showUserAxes(user);
    });
    row.title = a.control;
    card.append(row);
  });
  const dpad = document.createElement('div');
  dpad.className = 'dpad';
  XINPUT.dpad.forEach((direction, d) => {
    const b = pageButton(DPAD_SIGNS[direction], { dpad: direction }, u.dpad[d]);
    b.title = `D-pad ${direction}`;
    b.addEventListener('click', () => setUserDpad(user, d, !u.dpad[d]));
    dpad.append(b);
  });
  const buttons = document.createElement('div');
  buttons.className = 'buttons';
  XINPUT.buttons.forEach((label, i) => {
    const b = pageButton(label, { button: String(i + 1) }, u.buttons[i]);
    b.title = `${name}b${i + 1}`;
    b.addEventListener('click', () => setUserButton(user, i, !u.buttons[i]));
    buttons.append(b);
  });
  card.append(dpad, buttons);
  return card;
}

function renderUsers() {
  $('xinput-pads').replaceChildren(...state.users.map(userCard));
  state.users.forEach((u, user) => u.connected && showUserAxes(user));
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

// The first connected pad of the Gamepad API drives j1 as it numbers its axes and buttons,
// or stands in for x1 when it has the standard layout, which is XInput's pad.
function applyPad() {
  const pad = navigator.getGamepads ? Array.from(navigator.getGamepads()).find(Boolean) : undefined;
  const drives = $('pad-drives').value;
  const fits = drives !== 'user' || pad?.mapping === 'standard';
  $('pad').textContent = !pad ? '(no pad connected)'
    : `(pad: ${pad.id}${fits ? '' : '; not of the standard layout: it can drive j1 only'})`;
  if (!pad || !fits) return;
  if (drives === 'slot') padDrivesSlot(pad);
  if (drives === 'user') padDrivesUser(pad, 0);
}

// Axes scaled to the plug-in's range, a pressed button pressed, the D-pad buttons the first
// point of view too.
function padDrivesSlot(pad) {
  if (!state.controllers.length) return;
  // The pad the plug-in reads as j1 (a pin may make it another than the first).
  const c = state.controllers[Math.max(0, state.controllers.findIndex((p) => p.attached && p.number === 1))];
  pad.axes.slice(0, AXES.length).forEach((v, axis) => {
    setPadAxis(c, axis, Math.max(AXIS_MIN, Math.min(AXIS_MAX, Math.round(v * AXIS_MAX))));
  });
  pad.buttons.slice(0, BUTTONS).forEach((button, i) => setPadButton(c, i, button.pressed));
  if (POVS > 0) setHat(c, 0, dpadAngle(pad.buttons));
}

// The standard layout's controls on XInput's, in XInput's ranges; the pad connects the user.
function padDrivesUser(pad, user) {
  if (!state.users[user].connected) {
    state.users[user].connected = true;
    plugin._playground_xinput_connect(user, 1);
    renderUsers();
  }
  XINPUT.axes.forEach((a, axis) => {
    const stick = STANDARD_STICKS[a.control];
    // Turned over after the scaling, so that a stick half down reads as on j1.
    const value = stick ? stick[1] * Math.round((pad.axes[stick[0]] ?? 0) * a.max)
      : Math.round((pad.buttons[STANDARD_TRIGGERS[a.control]]?.value ?? 0) * a.max);
    setUserAxis(user, axis, Math.max(a.min, Math.min(a.max, value)));
  });
  showUserAxes(user);
  XINPUT.buttons.forEach((name, i) => setUserButton(user, i, Boolean(pad.buttons[STANDARD_BUTTONS[name]]?.pressed)));
  XINPUT.dpad.forEach((direction, d) => setUserDpad(user, d, Boolean(pad.buttons[DPAD[direction]]?.pressed)));
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
state.users = Array.from({ length: XINPUT.users }, (_, user) => newUser(user === 0));
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
