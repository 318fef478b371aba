// A lab user's session in the studio, step by step in one headless chromium: connect, open a
// TIFF stack, calibrate on the virtual camera, draw targets, run them and check where the beam
// went, stop a long run, and save and reopen the file. Each step leaves a screenshot; a console
// or page error fails the step during which it appeared.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import {
  folder, getJson, nearPolygon, openStudio, screenshot, segmentDistance, state, tiffStack, waitFor, waitForState,
} from './support.mjs';

// Beam positions are compared in camera pixels of the calibration table; the calibration itself
// is a fit, so a lit spot may sit a little off the drawn outline.
const TOLERANCE = 4;
const STEP = { timeout: 180000 };

let browser;
let page;
let errors;
let camera; // GET /api/camera after the calibration
let drawn; // the document after drawing: polygon and three points

// Stands in for the drawn targets when drawing failed, so that saving and opening still get tested.
// In device units it needs no calibration table.
const HANDMADE = {
  tickTime: 50,
  lasers: [{ name: 'blue', port: 'laser1' }],
  elements: [
    { type: 'polygon', points: [[20000, 20000], [40000, 19000], [42000, 38000], [22000, 40000]], fill: true, laser: 'blue' },
    { type: 'point', at: [50000, 15000], laser: 'blue' },
    { type: 'point', at: [52000, 50000], laser: 'blue' },
    { type: 'point', at: [12000, 52000], laser: 'blue' },
  ],
};

before(async () => {
  ({ browser, page, errors } = await openStudio());
});

after(async () => {
  await browser?.close();
});

// One step of the scenario: its screenshot is taken whether it passed or not.
function step(name, fn) {
  test(name, STEP, async () => {
    const before = errors.length;
    try {
      await fn();
    } finally {
      await screenshot(page, name).catch(() => {});
    }
    assert.deepEqual(errors.slice(before), [], 'the page logged errors');
  });
}

const studio = (fn, arg) => page.evaluate(fn, arg);
const imageToClient = (x, y) => studio(([x, y]) => window.studio.imageToClient(x, y), [x, y]);
const documentNow = () => studio(() => window.studio.document());

// Where an image pixel of the shown camera frame lands in the calibration table's pixels.
function toTable([x, y]) {
  const { scale, offset } = camera.toCalibration;
  return [scale * x + offset[0], scale * y + offset[1]];
}

async function clickImage(x, y) {
  const at = await imageToClient(x, y);
  await page.mouse.click(at.x, at.y);
}

// All records of the virtual device's timeline from `since` on, until the server says it ended.
async function timeline(since) {
  const records = [];
  let next = since;
  for (let polls = 0; polls < 600; polls++) {
    const { status, body } = await getJson(page, `/api/run/timeline?since=${next}`);
    assert.equal(status, 200, `GET /api/run/timeline: ${JSON.stringify(body)}`);
    records.push(...body.records);
    next = body.next;
    if (body.ended) return records;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error('the timeline never ended');
}

step('connect', async () => {
  // The studio starts connected (--virtual): disconnect first so the button does the connecting.
  await page.click('#disconnect');
  await waitForState(page, 'disconnected', (s) => !s.connected);
  await page.waitForFunction(() => /not connected/.test(document.querySelector('#state').textContent));
  await page.click('#connect-virtual');
  const s = await waitForState(page, 'connected', (s) => s.connected && s.state === 'idle');
  assert.equal(s.virtual, true);
  await page.waitForFunction(() => document.querySelector('#state').textContent.includes('idle'));
});

step('open-tiff-stack', async () => {
  // Three 64x48 planes that differ in pattern, not only in level: the page stretches contrast.
  const [width, height] = [64, 48];
  const planes = [(x) => x * 1000, (x, y) => y * 1300, (x, y) => ((x >> 3) + (y >> 3)) % 2 ? 60000 : 500].map((f) => {
    const pixels = new Uint16Array(width * height);
    for (let y = 0; y < height; y++) for (let x = 0; x < width; x++) pixels[y * width + x] = f(x, y);
    return pixels;
  });
  fs.writeFileSync(path.join(folder, 'stack.tif'), tiffStack(width, height, planes));

  const info = await getJson(page, '/api/image/info?path=stack.tif');
  assert.equal(info.status, 200, JSON.stringify(info.body));
  const { planes: n, width: w, height: h, bitsPerSample } = info.body;
  assert.deepEqual({ n, w, h, bitsPerSample }, { n: 3, w: 64, h: 48, bitsPerSample: 16 });

  const view = page.locator('#view');
  const blank = await view.screenshot();
  await page.fill('#image-path', 'stack.tif');
  await page.click('#open-image');
  await page.waitForFunction(() => Number(document.querySelector('#plane').max) === 2);
  const first = await viewChange(view, blank, 'the first plane to show');
  // As a drag of the slider ends: the value, then input and change.
  await page.$eval('#plane', (slider) => {
    slider.value = '2';
    slider.dispatchEvent(new Event('input', { bubbles: true }));
    slider.dispatchEvent(new Event('change', { bubbles: true }));
  });
  await viewChange(view, first, 'the view to show the third plane');
});

// Screenshots of the element until it differs from `was` and then holds still for one more
// look (the image arrives after the first redraw); returns the settled picture.
async function viewChange(locator, was, what) {
  let previous = null;
  for (let i = 0; i < 50; i++) {
    const now = await locator.screenshot();
    if (!now.equals(was) && previous && now.equals(previous)) return now;
    previous = now;
    await page.waitForTimeout(250);
  }
  throw new Error(`timed out waiting for ${what}`);
}

step('calibrate-on-virtual-camera', async () => {
  await page.click('#use-camera');
  await page.selectOption('#cal-points', '16');
  await page.click('#cal-start');
  await waitForState(page, 'the calibration to start', (s) => s.calibration && s.calibration.phase !== undefined, 10000);
  const s = await waitForState(page, 'the calibration to finish',
    (s) => s.calibration && ['done', 'failed', 'stopped'].includes(s.calibration.phase), 150000);
  assert.equal(s.calibration.phase, 'done', `calibration: ${JSON.stringify(s.calibration)}`);
  assert.equal(s.calibration.count, 16);
  await page.waitForFunction(() => /looks sound/.test(document.querySelector('#cal-report').textContent));
  const table = await getJson(page, '/api/calibration');
  assert.equal(table.body.points.length, 16);
  assert.equal(table.body.quality.looksSound, true);
});

step('save-calibration', async () => {
  const file = path.join(folder, 'calibration.ini');
  fs.rmSync(file, { force: true });
  await page.fill('#cal-save-path', 'calibration.ini');
  await page.click('#cal-save');
  for (let i = 0; i < 50 && !fs.existsSync(file); i++) await page.waitForTimeout(100);
  assert.ok(fs.existsSync(file), 'calibration.ini was not written');
  assert.ok(fs.statSync(file).size > 100, 'calibration.ini is nearly empty');
});

// Polygon and points in fractions of the shown camera frame, well apart from each other.
const POLYGON = [[0.30, 0.30], [0.55, 0.28], [0.60, 0.55], [0.35, 0.60]];
const POINTS = [[0.75, 0.25], [0.80, 0.70], [0.20, 0.75]];

step('draw-polygon-and-points', async () => {
  camera = (await getJson(page, '/api/camera')).body;
  const { width, height } = camera.region;
  const toImage = ([fx, fy]) => [Math.round(fx * width), Math.round(fy * height)];
  await page.locator('#view').scrollIntoViewIfNeeded();

  await page.click('#tool-polygon');
  await page.locator('#fill').check();
  for (const p of POLYGON) await clickImage(...toImage(p));
  await page.keyboard.press('Enter');
  await page.click('#tool-point');
  for (const p of POINTS) await clickImage(...toImage(p));

  drawn = await waitFor(page, 'four targets', () => {
    const doc = window.studio.document();
    return doc.elements.length === 4 ? doc : null;
  });
  const [polygon, ...points] = drawn.elements;
  assert.equal(polygon.type, 'polygon');
  assert.equal(polygon.fill, true);
  assert.equal(polygon.points.length, POLYGON.length);
  polygon.points.forEach((p, i) => assertNear(p, toTable(toImage(POLYGON[i])), `polygon vertex ${i}`));
  points.forEach((p, i) => {
    assert.equal(p.type, 'point');
    assertNear(p.at, toTable(toImage(POINTS[i])), `point ${i}`);
  });
});

function assertNear(actual, expected, what) {
  const d = Math.hypot(actual[0] - expected[0], actual[1] - expected[1]);
  assert.ok(d <= 2, `${what} at ${actual}, clicked at ${expected.map((v) => v.toFixed(1))}`);
}

step('timing-table', async () => {
  const rows = await waitFor(page, 'four timing rows with durations', () => {
    // Columns: index, type, start, duration, light, memory.
    const rows = [...document.querySelectorAll('#timing tbody tr')].map((r) => [...r.cells].map((c) => c.textContent));
    const sound = (cells) => /^\d[\d.]*\s*(µs|ms|s)$/.test(cells[3]) && /^\d[\d.]*\s*(B|kB|MB)$/.test(cells[5]);
    return rows.length === 4 && rows.every(sound) ? rows : null;
  });
  assert.equal(rows.length, 4);
  assert.match(await page.textContent('#total-time'), /\d/);
  assert.equal(await page.locator('#targets .target-row.invalid').count(), 0);
});

step('run-and-check-the-beam', async () => {
  const mark = (await getJson(page, '/api/run/timeline?since=0')).body?.next ?? 0;
  await page.click('#run');
  await waitForState(page, 'the run to start', (s) => s.run && s.run.phase !== undefined, 15000);
  await page.waitForFunction(() => {
    const bar = document.querySelector('#run-progress');
    return bar.max > 0 && bar.value >= bar.max;
  }, null, { timeout: 120000 });
  await waitForState(page, 'the run to end', (s) => s.run && s.run.phase === 'ended', 120000);

  let records = await timeline(mark);
  // The server may start each run's timeline afresh: then read it from its beginning.
  if (records.length === 0) records = await timeline(0);
  const lit = records.filter((r) => r.lit);
  assert.ok(lit.length > 0, 'nothing was lit');
  const [polygon, ...points] = drawn.elements;
  const hits = { polygon: 0, points: [0, 0, 0] };
  for (const r of lit) {
    assert.ok(Array.isArray(r.camera), `lit record without a camera position: ${JSON.stringify(r)}`);
    const i = points.findIndex((p) => segmentDistance(p.at, p.at, r.camera) <= TOLERANCE);
    if (i >= 0) hits.points[i] += 1;
    else if (nearPolygon(polygon.points, r.camera[0], r.camera[1], TOLERANCE)) hits.polygon += 1;
    else assert.fail(`lit at ${r.camera} (t ${r.t} us), outside every target`);
  }
  console.log(`lit records: polygon ${hits.polygon}, points ${hits.points.join(', ')} (of ${records.length} records)`);
  assert.ok(hits.polygon > 0, 'the polygon was never lit');
  hits.points.forEach((n, i) => assert.ok(n > 0, `point ${i} was never lit`));
});

step('stop-a-long-run', async () => {
  drawn ??= HANDMADE;
  const [, point] = drawn.elements;
  await studio((doc) => window.studio.setDocument(doc), {
    ...drawn,
    elements: [{ ...point, repeat: 20000000 }], // some 1000 s of light at 50 us a tick
  });
  await page.click('#run');
  await waitForState(page, 'the long run to be running', (s) => s.run && s.run.phase === 'running', 60000);
  await page.waitForTimeout(500);
  await page.click('#stop');
  // The device answers idle at once; the run's follower says why at its next look.
  const s = await waitForState(
    page,
    'idle after Stop',
    (s) => s.state === 'idle' && !s.running && s.run && !['uploading', 'running'].includes(s.run.phase),
    10000,
  );
  assert.equal(s.run.phase, 'stopped');
  const { body } = await getJson(page, '/api/run/timeline?since=0');
  assert.equal(body.litNow, false);
});

step('save-reload-open', async () => {
  drawn ??= HANDMADE;
  await studio((doc) => window.studio.setDocument(doc), drawn);
  const file = path.join(folder, 'scenario.json');
  fs.rmSync(file, { force: true });
  await page.fill('#file-path', 'scenario.json');
  await page.click('#save-file');
  for (let i = 0; i < 50 && !fs.existsSync(file); i++) await page.waitForTimeout(100);
  assert.equal(JSON.parse(fs.readFileSync(file, 'utf8')).elements.length, 4);

  await page.reload();
  await page.waitForFunction(() => typeof window.studio === 'object');
  await page.fill('#file-path', 'scenario.json');
  await page.click('#open-file');
  const opened = await waitFor(page, 'the file to open', () => {
    const doc = window.studio.document();
    return doc.elements.length === 4 ? doc : null;
  });
  // What the user set must come back; the file may add defaults of its own.
  // A laser may come back as the one entry of "lasers".
  const shape = (e) => ({
    type: e.type, at: e.at, points: e.points, fill: e.fill, repeat: e.repeat ?? 0,
    lasers: e.lasers ? e.lasers.map((l) => [l.laser, l.intensity ?? 10000]) : [[e.laser, e.intensity ?? 10000]],
  });
  assert.deepEqual(opened.elements.map(shape), drawn.elements.map(shape));
  // The list shows each target's laser and level as drawn, whichever form the file holds them in.
  const listed = await page.$$eval('#targets .target-row', (rows) => rows.map((r) => [r.cells[2].textContent, r.cells[3].textContent]));
  assert.deepEqual(listed, drawn.elements.map((e) => [e.laser ?? e.lasers[0].laser, String(e.intensity ?? e.lasers[0].intensity)]));
  assert.deepEqual(await documentNow().then((d) => d.lasers.map((l) => l.name)), drawn.lasers.map((l) => l.name));
});
