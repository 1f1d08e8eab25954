// The mapping playground in a real browser: Debian's Chromium, headless, driven by
// Playwright against the page served on localhost. Each test leaves a screenshot in the
// folder named by PLAYGROUND_SCREENSHOTS.
//
//   PLAYGROUND_URL=http://127.0.0.1:PORT/ PLAYGROUND_SCREENSHOTS=DIR node --test playground.test.mjs
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { chromium } from 'playwright-core';

const BASE = process.env.PLAYGROUND_URL;
const SHOTS = process.env.PLAYGROUND_SCREENSHOTS ?? '.';
mkdirSync(SHOTS, { recursive: true });

let browser;
before(async () => {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
});
after(async () => browser?.close());

// A page loaded and ready, polling paused so that each frame is one click.
async function openPage(hash = '', initScript = null) {
  const page = await browser.newPage({ viewport: { width: 1200, height: 1400 } });
  if (initScript) await page.addInitScript(initScript);
  const started = Date.now();
  await page.goto(BASE + hash);
  await page.waitForSelector('#status[data-ready="true"]');
  const loadMs = Date.now() - started;
  await page.uncheck('#running');
  return { page, loadMs };
}

const bits = (page) => page.getAttribute('#lamps', 'data-bits');

async function frameBits(page) {
  await page.click('#step');
  return bits(page);
}

async function typeMapping(page, text) {
  await page.fill('#mapping', text);
}

test('the default mapping over two pads: the first poll acquires, then the constants', async () => {
  const { page, loadMs } = await openPage();
  console.log(`page ready in ${loadMs} ms`);
  assert.match(await page.inputValue('#mapping'), /^p,a,a,j1y>8000,/);
  assert.match(await page.textContent('#answer'), /\/\/help\/\/a;p;j1:x\[<N,>N,n\],.*j2:/);
  await typeMapping(page, await page.inputValue('#mapping'));  // configure again: count frames from here
  assert.equal(await frameBits(page), '10000000000000001000000000000000');
  assert.match(await page.textContent('#frame'), /^frame 0 \(the first poll acquires/);
  assert.equal(await page.getAttribute('#lamps', 'class'), 'acquiring');
  assert.equal(await frameBits(page), '10000000000000001000000000000000');
  assert.match(await page.textContent('#frame'), /^frame 1$/, 'numbered as the host tool numbers them');
  assert.equal(await page.locator('#entries tbody tr').count(), 32);
  await page.screenshot({ path: `${SHOTS}/default-mapping.png`, fullPage: true });
  await page.close();
});

test('an address with a bare % opens the page with the mapping as it stands', async () => {
  const { page } = await openPage('#j1b1,j1x>50%');
  assert.equal(await page.inputValue('#mapping'), 'j1b1,j1x>50%');
  await page.close();
});

test('a mapping with a syntax error shows where and why', async () => {
  const { page } = await openPage();
  await typeMapping(page, 'p,j9b1');
  assert.equal(await page.textContent('#error'),
               'syntax error in token 2 "j9b1" at byte 2: the controller number after j must be 1 to 8');
  assert.equal(await page.textContent('#marked mark.error'), 'j9b1');
  assert.match(await page.textContent('#answer'), /^p,j9b1\/\/Sintax Error!\/\/help\/\/a;p;/);
  assert.equal(await frameBits(page), '11', 'after a syntax error a host reads 1 for every token');
  assert.match(await page.textContent('#frame'), /after a syntax error, what a host reads/);
  await typeMapping(page, `j9b1${',a'.repeat(200)}`);
  assert.equal(await frameBits(page), '1'.repeat(160), 'a host reads at most a table of bits, as the tool says');
  await page.screenshot({ path: `${SHOTS}/syntax-error.png`, fullPage: true });
  await page.close();
});

test('moving a stick past a threshold lights its lamp, and the mapping lives in the address', async () => {
  const { page } = await openPage();
  await typeMapping(page, 'j1y>8000,j1y<-8000,j2x>100');
  const hash = await page.evaluate(() => location.hash);
  assert.equal(hash, '#j1y%3E8000%2Cj1y%3C-8000%2Cj2x%3E100');
  await frameBits(page);
  await page.locator('.controller[data-controller="1"] input[data-axis="y"]').fill('9000');
  assert.equal(await frameBits(page), '100');
  await page.locator('.controller[data-controller="1"] input[data-axis="y"]').fill('-9000');
  await page.locator('.controller[data-controller="2"] input[data-axis="x"]').fill('101');
  assert.equal(await frameBits(page), '011');
  assert.equal(await page.locator('#lamps .lamp.on').count(), 2);
  await page.screenshot({ path: `${SHOTS}/threshold.png`, fullPage: true });

  // The address shares the mapping: a new page opened on it configures the same text.
  const shared = await openPage(hash);
  assert.equal(await shared.page.inputValue('#mapping'), 'j1y>8000,j1y<-8000,j2x>100');
  await shared.page.close();
  await page.close();
});

test('pressing a button turns an inverted entry off; the edit reaches the lamps quickly', async () => {
  const { page } = await openPage();
  await page.check('#running');
  await typeMapping(page, '!j1b1,j1b1');
  await page.waitForSelector('#timing[data-ms]');
  console.log(await page.textContent('#timing'));
  await page.uncheck('#running');
  assert.equal(await frameBits(page), '10');
  await page.click('.controller[data-controller="1"] button[data-button="1"]');
  assert.equal(await frameBits(page), '01');
  await page.screenshot({ path: `${SHOTS}/inverted-button.png`, fullPage: true });
  await page.close();
});

test('a mapping that compiles but says something else gets a warning', async () => {
  const { page } = await openPage();
  await typeMapping(page, 'j1x>=5,j3b1');
  const warnings = await page.locator('#warnings li').allTextContents();
  assert.deepEqual(warnings, ['token 1 "j1x>=5" at byte 0: "=5" is not a number: it reads as 0',
                              'token 2 "j3b1" at byte 7: j3 is not attached (2 attached)']);
  assert.equal(await page.locator('#marked mark.warning').count(), 2);
  assert.deepEqual(await page.locator('#entries td.token').allTextContents(), ['j1x>=5', 'j3b1']);
  await page.click('#add-controller');
  assert.equal(await page.locator('#warnings li').count(), 1, 'a third controller is attached now');
  assert.match(await page.textContent('#answer'), /j3:x\[<N,>N,n\]/);
  await page.screenshot({ path: `${SHOTS}/warning.png`, fullPage: true });
  await page.close();
});

test('the virtual pads have a slider and a hat; a token for a control they lack is named', async () => {
  const { page } = await openPage();
  await typeMapping(page, 'j1u>100,j1h1l,!j1h1r,j1h2u');
  assert.deepEqual(await page.locator('#warnings li').allTextContents(),
                   ['token 4 "j1h2u" at byte 21: j1 has no point of view 2 (it has 1): it reads centred']);
  await frameBits(page);
  await page.locator('.controller[data-controller="1"] input[data-axis="u"]').fill('101');
  await page.click('.controller[data-controller="1"] .hat button[data-angle="22500"]');  // down and left
  assert.equal(await frameBits(page), '1110');
  await page.screenshot({ path: `${SHOTS}/slider-hat.png`, fullPage: true });
  await page.close();
});

test('a connected pad drives controller 1, its D-pad buttons the hat; of the standard layout, it stands in for x1', async () => {
  const stubPad = () => {
    const pad = {
      id: 'Stub pad (STANDARD GAMEPAD)', index: 0, connected: true, mapping: 'standard', timestamp: 0,
      axes: [0, 0.5, 0, 0, 0, 0],
      // Button 3, and the D-pad's up (12) and right (15): the hat up and right; the right
      // trigger (7) and the home button (16), which a slot's 16 buttons leave out.
      buttons: Array.from({ length: 17 }, (_, i) => [2, 7, 12, 15, 16].includes(i))
        .map((on) => ({ pressed: on, touched: on, value: on ? 1 : 0 })),
    };
    navigator.getGamepads = () => [pad, null, null, null];
  };
  const { page } = await openPage('', stubPad);
  await typeMapping(page, 'j1y>8000,j1b3,j1b1,j1h1u,j1h1r,j1h1d');
  await frameBits(page);
  assert.equal(await frameBits(page), '110110');
  assert.match(await page.textContent('#pad'), /Stub pad/);
  assert.equal(await page.inputValue('.controller[data-controller="1"] input[data-axis="y"]'), '16384');
  await page.screenshot({ path: `${SHOTS}/gamepad.png`, fullPage: true });

  await page.selectOption('#pad-drives', 'user');
  await typeMapping(page, 'x1y>8000,x1b3,x1b1,x1h1u,x1h1r,x1h1d,x1rz>32766,x1b11,x1z>0,j1b3');
  await frameBits(page);
  assert.equal(await frameBits(page), '1101101101', 'down on the stick is down on x1 too; j1 keeps its last state');
  assert.equal(await page.textContent('.xpad[data-user="1"] input[data-axis="y"] + output'), '-16384 \u2192 16384');
  await page.close();
});

test('a group: its operands under it in the table, the D-pad or the stick lights its lamp, a fault marked at its byte', async () => {
  const { page } = await openPage();
  await typeMapping(page, '(j1y>8000|j1h1d),!(j1b1&j1b2)');
  assert.equal(await page.locator('#entries tbody tr.operand').count(), 4);
  assert.equal(await page.textContent('#entries tbody tr.entry >> nth=1 >> td.meaning'), '!(all of 2)');
  await frameBits(page);
  assert.equal(await frameBits(page), '01');
  await page.locator('.controller[data-controller="1"] input[data-axis="y"]').fill('9000');
  await page.click('.controller[data-controller="1"] button[data-button="1"]');
  await page.click('.controller[data-controller="1"] button[data-button="2"]');
  assert.equal(await frameBits(page), '10');
  await page.screenshot({ path: `${SHOTS}/group.png`, fullPage: true });
  await typeMapping(page, 'p,(j1b1||j1b2)');
  assert.equal(await page.textContent('#error'),
               'syntax error in token 2 "(j1b1||j1b2)" at byte 8: two joints in a row: a controller token must stand between them');
  assert.equal(await page.textContent('#marked mark.error'), '|');
  await typeMapping(page, '(j1b1|j9b2)');
  assert.equal(await page.textContent('#marked mark.error'), 'j9b2');
  await typeMapping(page, '(j1b3|j1b3q)');
  assert.deepEqual(await page.locator('#marked mark.warning').allTextContents(), ['j1b3q']);
  await page.close();
});

test('an XInput pad beside the slots: its triggers apart, its guide, and not connected at rest', async () => {
  const { page } = await openPage();
  await typeMapping(page, 'x1z>16383,x1rz>16383,x1b11,j1z>100,!x2b1');
  const x1 = '.xpad[data-user="1"]';
  await frameBits(page);
  await page.locator(`${x1} input[data-axis="z"]`).fill('127');
  assert.equal(await frameBits(page), '00001', 'a trigger at 127 of 255 is short of half its travel');
  await page.locator(`${x1} input[data-axis="z"]`).fill('128');
  await page.click(`${x1} button[data-button="11"]`);
  assert.equal(await frameBits(page), '10101');
  await page.locator(`${x1} input[data-axis="rz"]`).fill('255');
  assert.equal(await frameBits(page), '11101', 'both triggers at once, where a slot has them on one axis');
  await page.screenshot({ path: `${SHOTS}/xinput.png`, fullPage: true });
  await page.click(`${x1} button[data-connect]`);
  assert.equal(await frameBits(page), '00001', 'a pad not connected reads at rest');
  await page.close();
});

test('a pad plugged in while running takes the free number once the plug-in looked; a pin moves a pad', async () => {
  const { page } = await openPage();
  await typeMapping(page, 'j3b1,j1b1');
  await page.click('#plug-controller');
  const third = '.controller[data-controller="3"]';
  assert.equal(await page.getAttribute(`${third} h3`, 'data-number'), '3');
  await page.click(`${third} button[data-button="1"]`);
  let frames = 0;
  while (await frameBits(page) !== '10' && frames < 60) frames += 1;
  assert.ok(frames > 2 && frames < 60, `read as j3 after ${frames} frames, once the plug-in looked`);
  await page.screenshot({ path: `${SHOTS}/plugged-in.png`, fullPage: true });
  await page.selectOption('.controller[data-controller="2"] select', '1');
  await page.click('.controller[data-controller="2"] button[data-pin]');
  assert.equal(await page.inputValue('#mapping'), 'j1=5349:0002,j3b1,j1b1');
  assert.deepEqual(await page.locator('.controller h3').evaluateAll((hs) => hs.map((h) => h.dataset.number)),
                   ['2', '1', '3'], 'the pinned pad is j1, the others take the numbers left in order');
  await frameBits(page);
  await page.click('.controller[data-controller="2"] button[data-button="1"]');
  assert.equal(await frameBits(page), '11', 'pad 2 now drives j1b1');
  await page.screenshot({ path: `${SHOTS}/pinned.png`, fullPage: true });
  await page.close();
});
