// Calibration: start a run, follow it through the shared state, draw its report on the image,
// save it and point the document's laser at the saved table. Point and shoot lives here too:
// both turn a click on the image into light through the calibration.

import { api, report } from './api.js';
import { currentPath, refreshFolder } from './files.js';
import { relativePath } from './geometry.js';
import { current, onState } from './device.js';
import { model } from './model.js';
import { interceptClicks } from './targets.js';
import { redraw, view } from './view.js';
import { refreshCamera, showingCamera, useCamera } from './image.js';

const $ = (id) => document.getElementById(id);
let phase = '';

function port() {
  return model.firstLaser().port || 'laser1';
}

async function loadReport() {
  try {
    const answer = await api('GET', '/api/calibration');
    showReport(answer);
  } catch (e) {
    if (e.status === 404 && !(e.data && e.data.missing)) {
      view.calibration = null;
      $('cal-report').textContent = 'no calibration yet';
      redraw();
    } else if (!(e.data && e.data.missing)) report(e);
  }
}

function number(value, digits = 2) {
  return Number.isFinite(value) ? value.toFixed(digits) : '—';
}

function showReport(answer) {
  view.calibration = answer;
  const q = answer.quality || {};
  const verdict = q.looksSound ? 'looks sound' : 'does not look sound';
  const folded = (q.foldedCells || []).length;
  $('cal-report').textContent =
    `${(answer.points || []).length} points, grid ${q.gridSize ?? '—'}: the calibration ${verdict}. ` +
    `Leave-one-out error mean ${number(q.leaveOneOutMean)}, max ${number(q.leaveOneOutMax)} ` +
    `(${number(q.leaveOneOutMaxPixels, 1)} camera px)` + (folded ? `; ${folded} folded cell(s) shaded` : '') +
    '. Arrows on the image are ten times the error.';
  $('cal-report').classList.toggle('sound', Boolean(q.looksSound));
  refreshCamera();
  redraw();
}

function showCalibrationState(state) {
  const c = state.calibration;
  const status = $('cal-status');
  if (!c) {
    status.textContent = phase ? status.textContent : 'idle';
    return;
  }
  const step = c.count ? ` ${Math.min(c.index + 1, c.count)} of ${c.count}` : '';
  let text = `${c.phase}${step}`;
  if (c.phase === 'waiting-click') text += ': click the spot on the image';
  if (c.error) text += ` — ${c.error}`;
  status.textContent = text;
  status.dataset.phase = c.phase;
  const before = phase;
  phase = c.phase;
  view.canvas.classList.toggle('waiting-click', phase === 'waiting-click');
  if (phase !== before && phase === 'done') loadReport();
  $('cal-start').disabled = phase === 'running' || phase === 'waiting-click';
}

async function start() {
  const points = Number($('cal-points').value);
  if (current.virtual && !showingCamera()) useCamera();
  await api('POST', '/api/calibration/start', { points, port: port(), intensity: 2000 });
  $('cal-status').textContent = 'starting';
}

async function save() {
  const path = $('cal-save-path').value.trim();
  if (!path) throw new Error('name the calibration file');
  const saved = await api('POST', '/api/calibration/save', { path });
  $('cal-status').textContent = `saved ${saved.bytes} bytes to ${saved.path}`;
  refreshFolder();
  // The document's first laser uses the saved table from now on (undoable like any edit).
  // Its path is relative to the document's file, as the file format wants it.
  const calibration = relativePath(currentPath(), saved.path || path);
  const lasers = model.document().lasers.length ? model.document().lasers : [{ ...model.firstLaser() }];
  model.edit((doc) => {
    doc.lasers = lasers.map((laser, i) => (i === 0 ? { ...laser, calibration } : laser));
  });
}

async function open() {
  const path = $('cal-save-path').value.trim();
  if (!path) throw new Error('name the calibration file');
  showReport(await api('POST', '/api/calibration/open', { path }));
}

// A click while the calibration waits for the spot, or in shoot mode; otherwise the tools get it.
function onImageClick([x, y]) {
  if (phase === 'waiting-click') {
    api('POST', '/api/calibration/click', { x, y }).catch(report);
    return true;
  }
  if ($('shoot-mode').checked) {
    const body = {
      x, y,
      dwellMs: Number($('shoot-dwell').value) || 200,
      intensity: Number($('shoot-intensity').value) || 5000,
      port: port(),
    };
    api('POST', '/api/shoot', body)
      .then((answer) => {
        $('shoot-status').textContent = `shot at device ${answer.device.map(Math.round).join(', ')} for ${answer.ms} ms`;
      })
      .catch(report);
    return true;
  }
  return false;
}

export function startCalibration() {
  $('cal-start').addEventListener('click', () => start().catch(report));
  $('cal-save').addEventListener('click', () => save().catch(report));
  $('cal-open').addEventListener('click', () => open().catch(report));
  $('shoot-mode').addEventListener('change', () => {
    view.canvas.classList.toggle('shooting', $('shoot-mode').checked);
    if ($('shoot-mode').checked && current.virtual && !showingCamera()) useCamera();
  });
  interceptClicks(onImageClick);
  onState(showCalibrationState);
  // A table recorded before this page opened (in another tab, say) is shown; without one, there
  // is no report to ask for.
  api('GET', '/api/camera')
    .then((camera) => (camera.calibrationRegion ? loadReport() : undefined))
    .catch(report);
}
