// Drawing and editing targets on the canvas, and the list of targets beside it. Mouse handlers
// only change the document; the server is asked later (debounced) by timing.js.

import { boxOf, hitTest, moved, round } from './geometry.js';
import { model } from './model.js';
import { clientToDocument, clientToImage, documentPerScreen, redraw, view, zoomAt } from './view.js';

const $ = (id) => document.getElementById(id);
const tools = ['select', 'point', 'line', 'ellipse', 'polygon'];
let tool = 'select';
let gesture = null;  // the drag in progress
const interceptors = [];  // calibration clicks and point-and-shoot come before the tools

// `handler(imagePoint)` returns true when it took the click.
export function interceptClicks(handler) {
  interceptors.push(handler);
}

export function setTool(name) {
  tool = name;
  view.draft = null;
  for (const t of tools) $('tool-' + t).classList.toggle('active', t === name);
  view.canvas.dataset.tool = name;
  redraw();
}

function newElement(type) {
  const laser = model.firstLaser().name;
  const base = { type, laser, intensity: 5000 };
  if (type === 'point') return { ...base, repeat: 99 };
  if (type === 'ellipse' || type === 'polygon') return { ...base, fill: $('fill').checked };
  return base;
}

function add(element) {
  model.edit((doc) => doc.elements.push(element), 'append');
  model.select(model.document().elements.length - 1);
}

const at = (event) => clientToDocument(event.clientX, event.clientY).map(round);

function finishPolygon() {
  if (!view.draft || view.draft.type !== 'polygon') return;
  // The clicks of a double-click land on (nearly) the last vertex: they add none of their own.
  const near = 3 * documentPerScreen();
  const points = view.draft.points.filter(
    (p, i, all) => i === 0 || Math.hypot(p[0] - all[i - 1][0], p[1] - all[i - 1][1]) > near);
  view.draft = null;
  if (points.length < 2) return redraw();
  const element = newElement('polygon');
  // An outline goes back to where it started; a filled polygon is closed by its filling.
  element.points = element.fill || points.length < 3 ? points : [...points, points[0]];
  add(element);
}

function onPointerDown(event) {
  if (event.button === 1 || (event.button === 0 && event.shiftKey && tool === 'select')) {
    gesture = { kind: 'pan', last: [event.clientX, event.clientY] };
    view.canvas.setPointerCapture(event.pointerId);
    return;
  }
  if (event.button !== 0) return;
  const imagePoint = clientToImage(event.clientX, event.clientY);
  for (const handler of interceptors) if (handler(imagePoint)) return;
  const p = at(event);
  if (tool === 'point') return add({ ...newElement('point'), at: p });
  if (tool === 'polygon') {
    if (!view.draft) view.draft = { type: 'polygon', points: [] };
    view.draft.points.push(p);
    return redraw();
  }
  view.canvas.setPointerCapture(event.pointerId);
  if (tool === 'line' || tool === 'ellipse') {
    view.draft = { type: tool, points: [p, p] };
    gesture = { kind: 'draw' };
    return redraw();
  }
  const hit = hitTest(model.document().elements, p, 6 * documentPerScreen());
  model.select(hit);
  if (hit >= 0) gesture = { kind: 'move', start: p, original: model.document(), moved: false };
}

function onPointerMove(event) {
  if (gesture && gesture.kind === 'pan') {
    view.pan[0] += event.clientX - gesture.last[0];
    view.pan[1] += event.clientY - gesture.last[1];
    gesture.last = [event.clientX, event.clientY];
    return redraw();
  }
  const p = at(event);
  showCursor(event, p);
  if (view.draft && view.draft.type === 'polygon') {
    view.draft.cursor = p;
    return redraw();
  }
  if (!gesture) return;
  if (gesture.kind === 'draw') {
    view.draft.points[1] = p;
    return redraw();
  }
  if (gesture.kind === 'move') {
    const dx = p[0] - gesture.start[0];
    const dy = p[1] - gesture.start[1];
    if (!gesture.moved && Math.hypot(dx, dy) < 2 * documentPerScreen()) return;
    gesture.moved = true;
    const elements = gesture.original.elements.slice();
    elements[model.selected] = moved(elements[model.selected], dx, dy);
    model.preview({ ...gesture.original, elements });
  }
}

function showCursor(event, p) {
  const [x, y] = clientToImage(event.clientX, event.clientY);
  const inside = x >= 0 && y >= 0 && x < view.imageSize[0] && y < view.imageSize[1];
  $('cursor').textContent = inside ? `image ${Math.floor(x)}, ${Math.floor(y)} · target px ${p[0].toFixed(1)}, ${p[1].toFixed(1)}` : '';
}

function onPointerUp() {
  const done = gesture;
  gesture = null;
  if (!done) return;
  if (done.kind === 'move' && done.moved) model.commit(done.original, model.document());
  if (done.kind === 'draw' && view.draft) {
    const [a, b] = view.draft.points;
    const type = view.draft.type;
    view.draft = null;
    if (Math.hypot(b[0] - a[0], b[1] - a[1]) < 2 * documentPerScreen()) return redraw();
    if (type === 'line') add({ ...newElement('line'), from: a, to: b });
    else add({ ...newElement('ellipse'), rect: boxOf(a, b) });
  }
}

export function deleteSelected() {
  const index = model.selected;
  if (index < 0 || index >= model.document().elements.length) return;
  model.edit((doc) => doc.elements.splice(index, 1));
  model.select(-1);
}

function reorder(index, step) {
  const other = index + step;
  const count = model.document().elements.length;
  if (index < 0 || other < 0 || other >= count) return;
  model.edit((doc) => {
    [doc.elements[index], doc.elements[other]] = [doc.elements[other], doc.elements[index]];
  });
  model.select(other);
}

function typing(target) {
  return target && (target.tagName === 'INPUT' || target.tagName === 'SELECT' || target.tagName === 'TEXTAREA');
}

function onKey(event) {
  if (event.key === 'Escape') {
    view.draft = null;
    gesture = null;
    return redraw();
  }
  const inField = typing(event.target) && event.target.type !== 'checkbox' && event.target.type !== 'range';
  if (inField) return;
  const control = event.ctrlKey || event.metaKey;
  if (control && (event.key === 'z' || event.key === 'Z') && !event.shiftKey) {
    event.preventDefault();
    model.undo();
  } else if (control && (event.key === 'y' || event.key === 'Y' || ((event.key === 'z' || event.key === 'Z') && event.shiftKey))) {
    event.preventDefault();
    model.redo();
  } else if (event.key === 'Enter' && view.draft && view.draft.type === 'polygon') {
    event.preventDefault();
    finishPolygon();
  } else if (event.key === 'Delete' || event.key === 'Backspace') {
    if (model.selected >= 0) {
      event.preventDefault();
      deleteSelected();
    }
  }
}

// ---- the list of targets

export const escapeHtml = (text) =>
  String(text).replace(/[&<>"']/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' })[c]);

// Rows are plain text, which a thousand of lay out quickly; the selected row gets the editors
// and the buttons that move it.
function rowHtml(element, index) {
  if (!element || typeof element !== 'object') element = { type: '?' };
  const fill = element.type === 'ellipse' || element.type === 'polygon' ? (element.fill ? 'yes' : 'no') : '';
  return `<tr class="target-row" data-index="${index}"><td>${index}</td><td>${escapeHtml(element.type)}</td>` +
    `<td>${escapeHtml(element.laser ?? '')}</td><td>${escapeHtml(element.intensity ?? 10000)}</td>` +
    `<td>${escapeHtml(element.repeat ?? 0)}</td>` +
    `<td>${fill}</td><td></td></tr>`;
}

function editorCells(element) {
  if (!element || typeof element !== 'object') element = {};
  const laser = element.laser ?? '';
  const names = (model.document().lasers || []).map((l) => l.name);
  const lasers = names.includes(laser) ? names : [laser, ...names];
  const options = lasers
    .map((name) => `<option${name === laser ? ' selected' : ''}>${escapeHtml(name)}</option>`)
    .join('');
  const fill = element.type === 'ellipse' || element.type === 'polygon'
    ? `<input type="checkbox" data-field="fill"${element.fill ? ' checked' : ''} aria-label="fill">`
    : '';
  return [
    `<select data-field="laser" aria-label="laser">${options}</select>`,
    `<input type="number" data-field="intensity" min="0" max="10000" step="100" value="${escapeHtml(element.intensity ?? 10000)}" aria-label="intensity">`,
    `<input type="number" data-field="repeat" min="0" step="1" value="${escapeHtml(element.repeat ?? 0)}" aria-label="repetitions">`,
    fill,
    '<button data-move="-1" title="earlier" aria-label="earlier">▲</button><button data-move="1" title="later" aria-label="later">▼</button>',
  ];
}

function showRow(row, index, editing) {
  const element = model.document().elements[index];
  if (!row || !element) return;
  const template = document.createElement('tbody');
  template.innerHTML = rowHtml(element, index);
  const fresh = template.rows[0];
  if (editing) editorCells(element).forEach((html, i) => (fresh.cells[2 + i].innerHTML = html));
  row.replaceChildren(...fresh.cells);
}

let shownSelected = -1;
let shownInvalid = -1;

function rowAt(index) {
  return index >= 0 ? $('targets').tBodies[0].rows[index] : null;
}

export function markRows() {
  const before = [rowAt(shownSelected), rowAt(shownInvalid)];
  for (const row of before) if (row) row.classList.remove('selected', 'invalid');
  if (shownSelected !== model.selected) {
    showRow(before[0], shownSelected, false);
    showRow(rowAt(model.selected), model.selected, true);
  }
  if (before[1]) before[1].removeAttribute('title');
  const selected = rowAt(model.selected);
  if (selected) selected.classList.add('selected');
  const invalid = rowAt(model.invalid);
  if (invalid) {
    invalid.classList.add('invalid');
    invalid.title = model.invalidReason;
  }
  shownSelected = model.selected;
  shownInvalid = model.invalid;
}

export function buildList() {
  const doc = model.document();
  const parts = new Array(doc.elements.length);
  for (let i = 0; i < doc.elements.length; ++i) parts[i] = rowHtml(doc.elements[i], i);
  $('targets').tBodies[0].innerHTML = parts.join('');
  shownSelected = shownInvalid = -1;
  markRows();
  $('target-count').textContent = String(doc.elements.length);
}

// A target added at the end: one new row instead of a new list.
function appendRow() {
  const elements = model.document().elements;
  const body = $('targets').tBodies[0];
  if (body.rows.length !== elements.length - 1) return buildList();
  body.insertAdjacentHTML('beforeend', rowHtml(elements[elements.length - 1], elements.length - 1));
  $('target-count').textContent = String(elements.length);
  markRows();
}

function onListChange(event) {
  const field = event.target.dataset.field;
  const row = event.target.closest('tr.target-row');
  if (!field || !row) return;
  const index = Number(row.dataset.index);
  let value;
  if (field === 'fill') value = event.target.checked;
  else if (field === 'laser') value = event.target.value;
  else {
    value = Number(event.target.value);
    if (!Number.isFinite(value)) return;
  }
  model.edit((doc) => {
    doc.elements[index] = { ...doc.elements[index], [field]: value };
  }, 'values');
}

function onListClick(event) {
  const row = event.target.closest('tr.target-row');
  if (!row) return;
  const index = Number(row.dataset.index);
  const step = event.target.dataset.move;
  if (step) return reorder(index, Number(step));
  if (model.selected !== index) model.select(index);
}

export function startTargets() {
  for (const t of tools) $('tool-' + t).addEventListener('click', () => setTool(t));
  setTool('select');
  const canvas = view.canvas;
  canvas.addEventListener('pointerdown', onPointerDown);
  canvas.addEventListener('pointermove', onPointerMove);
  canvas.addEventListener('pointerup', onPointerUp);
  canvas.addEventListener('pointercancel', onPointerUp);
  canvas.addEventListener('dblclick', (event) => {
    event.preventDefault();
    finishPolygon();
  });
  canvas.addEventListener('wheel', (event) => {
    event.preventDefault();
    zoomAt(event.clientX, event.clientY, event.deltaY < 0 ? 1.2 : 1 / 1.2);
  }, { passive: false });
  document.addEventListener('keydown', onKey);
  $('undo').addEventListener('click', () => model.undo());
  $('redo').addEventListener('click', () => model.redo());
  $('delete').addEventListener('click', deleteSelected);
  const list = $('targets');
  list.addEventListener('change', onListChange);
  list.addEventListener('click', onListClick);
  model.onChange((kind) => {
    if (kind === 'structure') buildList();
    else if (kind === 'append') appendRow();
    else markRows();
    $('undo').disabled = !model.canUndo();
    $('redo').disabled = !model.canRedo();
    $('delete').disabled = model.selected < 0;
    redraw();
  });
}
