// Running the document on the device: progress from the shared state, and on the virtual device
// the executed timeline replayed on the image as a moving spot.

import { api, report } from './api.js';
import { current, onState } from './device.js';
import { currentPath } from './files.js';
import { model } from './model.js';
import { formatUs } from './timing.js';
import { redraw, view } from './view.js';
import { showingCamera, useCamera } from './image.js';

const $ = (id) => document.getElementById(id);
const pollMs = 100;
const trailLength = 400;

let phase = '';
const replay = { records: [], next: 0, cursor: 0, startWall: 0, startT: 0, polling: false, frame: 0 };

async function runDocument() {
  const body = { document: model.document() };
  const path = currentPath();
  if (path) body.path = path;
  await api('POST', '/api/run', body);
  $('run-status').textContent = 'starting';
  if (current.virtual) {
    startReplay();
    if (!showingCamera()) useCamera();
  }
}

function showRun(state) {
  const r = state.run;
  const progress = $('run-progress');
  const status = $('run-status');
  if (!r) {
    $('run').disabled = false;
    return;
  }
  const before = phase;
  phase = r.phase;
  status.dataset.phase = r.phase;
  if (r.phase === 'uploading') {
    progress.max = Math.max(1, r.totalBytes || 1);
    progress.value = r.uploadedBytes || 0;
    status.textContent = `uploading ${r.uploadedBytes || 0} of ${r.totalBytes || '?'} bytes`;
  } else {
    const total = r.totalMs || 0;
    progress.max = Math.max(1, total);
    progress.value = Math.min(total, r.elapsedMs || 0);
    if (r.phase === 'ended') progress.value = progress.max;
    status.textContent = `${r.phase}: ${formatUs((r.elapsedMs || 0) * 1000)} of ${formatUs(total * 1000)}` +
      (r.error ? ` — ${r.error}` : '');
  }
  $('run').disabled = r.phase === 'uploading' || r.phase === 'running';
  const active = (p) => p === 'uploading' || p === 'running';
  if (active(r.phase) && !active(before) && state.virtual) startReplay();
}

function startReplay() {
  if (replay.polling) return;  // already following this run
  Object.assign(replay, { records: [], next: 0, cursor: 0, startWall: 0, startT: 0 });
  view.run = { spot: null, lit: false, trail: [] };
  if (!replay.polling) poll();
  if (!replay.frame) replay.frame = requestAnimationFrame(step);
}

async function poll() {
  replay.polling = true;
  try {
    for (;;) {
      const answer = await api('GET', '/api/run/timeline?since=' + replay.next);
      for (const record of answer.records || []) replay.records.push(record);
      replay.next = answer.next ?? replay.next + (answer.records || []).length;
      const active = phase === 'running' || phase === 'uploading';
      if (answer.ended || (!active && !(answer.records || []).length)) break;
      await new Promise((resolve) => setTimeout(resolve, pollMs));
    }
  } catch (e) {
    if (!(e.status === 409 && phase !== 'running')) report(e);
  } finally {
    replay.polling = false;
  }
}

// Where the record's beam is on the image: the server maps it through the calibration; without
// one the document's camera pixels are device units, so the device position is the place.
function spotOf(record) {
  if (record.camera) return record.camera;
  const laser = model.firstLaser();
  return !laser.calibration && Number.isFinite(record.x) ? [record.x, record.y] : null;
}

// Show the spot where the device was `lag` ms ago, at the device's own pace.
function step() {
  replay.frame = 0;
  const records = replay.records;
  if (records.length) {
    const now = performance.now();
    if (!replay.startWall) {
      replay.startWall = now + 150;  // a little behind, so that the next batch is there in time
      replay.startT = records[0].t;
    }
    const t = replay.startT + (now - replay.startWall) * 1000;
    const run = view.run || (view.run = { spot: null, lit: false, trail: [] });
    while (replay.cursor < records.length && records[replay.cursor].t <= t) {
      const record = records[replay.cursor++];
      run.spot = spotOf(record);
      run.lit = record.lit;
      if (run.spot && record.lit) {
        run.trail.push(run.spot);
        if (run.trail.length > trailLength) run.trail.splice(0, run.trail.length - trailLength);
      }
    }
    redraw();
  }
  const more = replay.polling || replay.cursor < records.length;
  if (more) replay.frame = requestAnimationFrame(step);
}

export function startRun() {
  $('run').addEventListener('click', () => runDocument().catch(report));
  $('clear-replay').addEventListener('click', () => {
    view.run = null;
    redraw();
  });
  onState(showRun);
}
