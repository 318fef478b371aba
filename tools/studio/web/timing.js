// After every change the server checks the document and previews it: timing table, total, first
// invalid target, beam paths, dose and the time strip all come from its answers.

import { api, report } from './api.js';
import { elementOfPointer } from './geometry.js';
import { model } from './model.js';
import { escapeHtml, markRows } from './targets.js';
import { draw, setPreview } from './view.js';
import { currentPath } from './files.js';

const $ = (id) => document.getElementById(id);
const debounceMs = 50;

let timer = 0;
let generation = 0;       // of the newest request
let waiters = [];         // resolved once the newest document's timing is shown
export const timing = { version: 0, lastUpdateMs: 0, check: null, preview: null };

export function formatUs(us) {
  if (us === undefined || us === null || !Number.isFinite(us)) return '—';
  if (Math.abs(us) >= 1e6) return (us / 1e6).toFixed(3) + ' s';
  if (Math.abs(us) >= 1e3) return (us / 1e3).toFixed(2) + ' ms';
  return Math.round(us) + ' µs';
}

export function formatBytes(bytes) {
  if (!Number.isFinite(bytes)) return '—';
  if (bytes >= 1e6) return (bytes / 1e6).toFixed(2) + ' MB';
  if (bytes >= 1e4) return (bytes / 1e3).toFixed(1) + ' kB';
  return bytes + ' B';
}

// A promise resolved after the timing of the document as it is now has been shown.
export function afterUpdate() {
  return new Promise((resolve) => {
    waiters.push(resolve);
    if (!timer && generation === shownGeneration && !inFlight) schedule();
  });
}

// A lone change is checked at once; changes that follow one another closely (typing, a burst of
// clicks) wait until they pause for debounceMs and are checked together.
export function schedule() {
  const quiet = !inFlight && !timer && performance.now() - lastStart >= debounceMs;
  clearTimeout(timer);
  timer = setTimeout(() => {
    timer = 0;
    run();
  }, quiet ? 0 : debounceMs);
}

let lastStart = -Infinity;

let shownGeneration = 0;
let inFlight = 0;

function query() {
  const path = currentPath();
  return path ? '?path=' + encodeURIComponent(path) : '';
}

async function run() {
  const mine = ++generation;
  const started = performance.now();
  lastStart = started;
  const body = JSON.stringify(model.document());
  if (model.document().elements.length === 0) {
    // nothing to check: the server would only say so
    show(null, null, null);
    return finish(mine, started);
  }
  inFlight++;
  // One request: the preview carries the check report of the same compile. A document the
  // compiler refuses gets no preview; the check then names the target, with the timing before it.
  let check = null;
  let failure = null;
  let preview = null;
  try {
    preview = await api('POST', '/api/sequence/preview' + query(), body);
    check = preview.check || null;
  } catch (refused) {
    try {
      check = await api('POST', '/api/sequence/check' + query(), body);
    } catch (e) {
      failure = e;
    }
  }
  inFlight--;
  if (mine !== generation) return;  // a newer document is on its way
  try {
    show(check, failure, preview);
  } catch (e) {
    report(e);  // an answer of an unexpected shape; the waiters are told all the same
  }
  finish(mine, started);
}

function finish(mine, started) {
  draw();
  timing.lastUpdateMs = performance.now() - started;
  shownGeneration = mine;
  $('timing').dataset.version = String(++timing.version);
  if (!timer) {
    const done = waiters;
    waiters = [];
    for (const resolve of done) resolve(timing.lastUpdateMs);
  }
}

function rowsFrom(check, preview, count) {
  const rows = new Array(count).fill(null);
  if (preview && Array.isArray(preview.timing)) {
    for (const t of preview.timing) {
      if (t.index >= 0 && t.index < count) rows[t.index] = [t.type, t.startUs, t.durationUs, t.illuminationUs, t.bytes];
    }
  } else if (check && Array.isArray(check.elements)) {
    const tick = check.tickTime || 0;
    for (const e of check.elements) {
      if (e.index >= 0 && e.index < count) {
        rows[e.index] = [e.type, e.start * tick, e.duration * tick, e.illumination * tick, e.bytes];
      }
    }
  }
  return rows;
}

function show(check, failure, preview) {
  const doc = model.document();
  const count = doc.elements.length;
  timing.check = check;
  timing.preview = preview;
  // Which target is wrong, and why.
  let reason = '';
  let pointer = '';
  if (check && !check.ok && check.error) {
    reason = check.error.message;
    pointer = check.error.pointer;
  } else if (failure) {
    reason = failure.message;
    pointer = failure.data && failure.data.pointer;
  }
  model.invalid = elementOfPointer(pointer);
  model.invalidReason = reason;
  markRows();
  const message = $('check-message');
  message.hidden = !reason;
  message.textContent = reason ? (pointer ? pointer + ': ' : '') + reason : '';

  const rows = rowsFrom(check, preview, count);
  const parts = new Array(count);
  for (let i = 0; i < count; ++i) {
    const r = rows[i];
    const type = r ? r[0] : doc.elements[i].type;
    const cls = i === model.invalid ? ' class="invalid"' : '';
    parts[i] = `<tr${cls}><td>${i}</td><td>${escapeHtml(type)}</td><td>${r ? formatUs(r[1]) : '—'}</td>` +
      `<td>${r ? formatUs(r[2]) : '—'}</td><td>${r ? formatUs(r[3]) : '—'}</td><td>${r ? formatBytes(r[4]) : '—'}</td></tr>`;
  }
  $('timing').tBodies[0].innerHTML = parts.join('');

  let total = null;
  if (preview && Number.isFinite(preview.totalUs)) total = preview.totalUs;
  else if (check && check.ok) total = check.endTick * check.tickTime;
  $('total-time').textContent = total === null ? '—' : formatUs(total);
  const light = check && check.ok ? check.illuminationTicks * check.tickTime : null;
  $('light-time').textContent = light === null ? '' : `light ${formatUs(light)}`;

  setPreview(preview);
  drawStrip(rows, total, preview ? preview.strip || [] : []);
}

const markColours = { ttl: '#ff9100', wait: '#2979ff', analog: '#00c853' };

const stripSize = [0, 0];  // CSS px, kept by a ResizeObserver (no forced layout in an update)
let lastStrip = null;

function drawStrip(rows, totalUs, marks) {
  lastStrip = [rows, totalUs, marks];
  const canvas = $('strip-canvas');
  const ratio = window.devicePixelRatio || 1;
  const [w, h] = stripSize;
  const width = Math.max(1, Math.round(w * ratio));
  const height = Math.max(1, Math.round(h * ratio));
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  const context = canvas.getContext('2d');
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  context.clearRect(0, 0, w, h);
  let end = totalUs || 0;
  for (const r of rows) if (r) end = Math.max(end, r[1] + r[2]);
  for (const m of marks) end = Math.max(end, m.tUs);
  const summary = $('strip-summary');
  if (!(end > 0)) {
    summary.textContent = 'nothing to run';
    return;
  }
  const x = (us) => (us / end) * w;
  // each target: its span grey, its light yellow from the start of the span
  context.fillStyle = '#cfd8dc';
  for (const r of rows) if (r) context.fillRect(x(r[1]), h * 0.35, Math.max(0.5, x(r[2])), h * 0.3);
  context.fillStyle = '#ffc400';
  for (const r of rows) if (r && r[3] > 0) context.fillRect(x(r[1]), h * 0.4, Math.max(0.5, x(r[3])), h * 0.2);
  const counts = {};
  for (const m of marks) {
    counts[m.kind] = (counts[m.kind] || 0) + 1;
    context.fillStyle = markColours[m.kind] || '#000';
    context.fillRect(x(m.tUs) - 1, 0, 2, h);
  }
  const parts = Object.entries(counts).map(([kind, n]) => `${n} ${kind}`);
  summary.textContent = `0 … ${formatUs(end)}` + (parts.length ? ' · marks: ' + parts.join(', ') : '');
  canvas.title = marks.map((m) => `${formatUs(m.tUs)} ${m.kind}${m.label ? ' ' + m.label : ''}`).join('\n');
}

export function startTiming() {
  const strip = $('strip-canvas');
  stripSize[0] = strip.clientWidth;
  stripSize[1] = strip.clientHeight;
  new ResizeObserver((entries) => {
    const box = entries[entries.length - 1].contentRect;
    stripSize[0] = box.width;
    stripSize[1] = box.height;
    if (lastStrip) drawStrip(...lastStrip);
  }).observe(strip);
  model.onChange((kind) => {
    if (kind !== 'selection' && kind !== 'drag') schedule();
  });
}
