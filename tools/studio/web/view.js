// The canvas: the camera image and every overlay, drawn in one pass. Targets, paths, dose and the
// calibration report are in document pixels (the calibration table's camera image); the image is
// in its own pixels, mapped through toCalibration from the server.

import { identityMap } from './geometry.js';
import { model } from './model.js';

const canvas = document.getElementById('view');
const context = canvas.getContext('2d');

export const view = {
  canvas,
  image: null,            // ImageBitmap
  imageSize: [1280, 1024],
  map: identityMap,       // image px -> document px
  preview: null,          // answer of /api/sequence/preview
  doseImage: null,        // canvas made from preview.dose
  calibration: null,      // answer of /api/calibration
  draft: null,            // shape being drawn: {type, points:[[x,y]...]} in document px
  run: null,              // {spot:[x,y]|null, lit, trail:[[x,y]...]}
  zoom: 1,
  pan: [0, 0],
};

function layer(name) {
  const box = document.getElementById('layer-' + name);
  return !box || box.checked;
}

// The canvas's CSS size, kept by a ResizeObserver: reading clientWidth in a draw would force a
// layout of the whole page (a thousand table rows) in the middle of an update.
const size = [canvas.clientWidth, canvas.clientHeight];

// Image px -> canvas CSS px: client = offset + k * image.
function fit() {
  const [width, height] = size;
  const [iw, ih] = view.imageSize;
  const base = Math.min(width / iw, height / ih);
  const k = base * view.zoom;
  return { k, ox: (width - iw * base) / 2 + view.pan[0], oy: (height - ih * base) / 2 + view.pan[1] };
}

export function imageToClient(x, y) {
  const rect = canvas.getBoundingClientRect();
  const { k, ox, oy } = fit();
  return { x: rect.left + ox + k * x, y: rect.top + oy + k * y };
}

export function clientToImage(clientX, clientY) {
  const rect = canvas.getBoundingClientRect();
  const { k, ox, oy } = fit();
  return [(clientX - rect.left - ox) / k, (clientY - rect.top - oy) / k];
}

export function clientToDocument(clientX, clientY) {
  const [x, y] = clientToImage(clientX, clientY);
  return [view.map.scale * x + view.map.offset[0], view.map.scale * y + view.map.offset[1]];
}

// How many document px one CSS px of the canvas spans (for hit tolerances and marker sizes).
export function documentPerScreen() {
  return view.map.scale / fit().k;
}

export function zoomAt(clientX, clientY, factor) {
  const rect = canvas.getBoundingClientRect();
  const before = clientToImage(clientX, clientY);
  view.zoom = Math.min(40, Math.max(0.2, view.zoom * factor));
  const { k, ox, oy } = fit();
  view.pan[0] += clientX - rect.left - (ox + k * before[0]);
  view.pan[1] += clientY - rect.top - (oy + k * before[1]);
  redraw();
}

export function resetZoom() {
  view.zoom = 1;
  view.pan = [0, 0];
  redraw();
}

function heat(t) {
  // dark red -> red -> yellow -> white, as the dose grows
  const r = Math.min(255, Math.round(510 * t + 80));
  const g = Math.max(0, Math.min(255, Math.round(510 * (t - 0.4))));
  const b = Math.max(0, Math.min(255, Math.round(510 * (t - 0.8))));
  return [r, g, b];
}

export function setPreview(preview) {
  view.preview = preview;
  view.doseImage = null;
  const dose = preview && preview.dose;
  if (dose && dose.width > 0 && dose.height > 0 && Array.isArray(dose.values) && dose.max > 0) {
    const picture = document.createElement('canvas');
    picture.width = dose.width;
    picture.height = dose.height;
    const pixels = picture.getContext('2d').createImageData(dose.width, dose.height);
    for (let i = 0; i < dose.values.length && i < dose.width * dose.height; ++i) {
      const t = dose.values[i] / dose.max;
      if (t <= 0) continue;
      const [r, g, b] = heat(t);
      pixels.data.set([r, g, b, Math.round(60 + 160 * t)], i * 4);
    }
    picture.getContext('2d').putImageData(pixels, 0, 0);
    view.doseImage = picture;
  }
  redraw();
}

const pair = (p) => Array.isArray(p) && p.length >= 2 && Number.isFinite(p[0]) && Number.isFinite(p[1]);

// A target the server refuses may still be malformed; those draw nothing rather than stop the draw.
function drawable(element) {
  if (!element || typeof element !== 'object') return false;
  switch (element.type) {
    case 'point': return pair(element.at);
    case 'line': return pair(element.from) && pair(element.to);
    case 'ellipse': return Array.isArray(element.rect) && element.rect.length === 4 && element.rect.every(Number.isFinite);
    case 'polygon': return Array.isArray(element.points) && element.points.every(pair);
    default: return false;
  }
}

function elementPath(path, element, marker) {
  if (!drawable(element)) return;
  switch (element.type) {
    case 'point':
      path.moveTo(element.at[0] + marker, element.at[1]);
      path.arc(element.at[0], element.at[1], marker, 0, 2 * Math.PI);
      break;
    case 'line':
      path.moveTo(element.from[0], element.from[1]);
      path.lineTo(element.to[0], element.to[1]);
      break;
    case 'ellipse': {
      const [x, y, w, h] = element.rect;
      path.moveTo(x + w, y + h / 2);
      path.ellipse(x + w / 2, y + h / 2, Math.abs(w / 2), Math.abs(h / 2), 0, 0, 2 * Math.PI);
      break;
    }
    case 'polygon': {
      const points = element.points || [];
      points.forEach((p, i) => (i ? path.lineTo(p[0], p[1]) : path.moveTo(p[0], p[1])));
      if (element.fill && points.length > 2) path.closePath();
      break;
    }
    default:
      break;
  }
}

function drawTargets(elements, unit) {
  const normal = new Path2D();
  const filled = new Path2D();
  const marker = 4 * unit;
  elements.forEach((element, i) => {
    if (i === model.selected || i === model.invalid) return;
    elementPath(element.fill ? filled : normal, element, marker);
  });
  context.lineWidth = 1.5 * unit;
  context.fillStyle = 'rgba(0, 200, 255, 0.18)';
  context.fill(filled, 'evenodd');
  context.strokeStyle = '#00e5ff';
  context.stroke(normal);
  context.stroke(filled);
  const special = (index, colour) => {
    if (index < 0 || index >= elements.length) return;
    const path = new Path2D();
    elementPath(path, elements[index], marker * 1.5);
    context.lineWidth = 3 * unit;
    context.strokeStyle = colour;
    context.stroke(path);
  };
  special(model.invalid, '#ff1744');
  special(model.selected, '#ffea00');
}

function drawPaths(paths, unit) {
  const groups = new Map();
  for (const p of paths) {
    if (!Array.isArray(p.points) || p.points.length === 0) continue;
    const key = (p.color || '#1f6fd1') + (p.lit ? '|lit' : '|travel');
    if (!groups.has(key)) groups.set(key, new Path2D());
    const path = groups.get(key);
    p.points.forEach((q, i) => (i ? path.lineTo(q[0], q[1]) : path.moveTo(q[0], q[1])));
    if (p.points.length === 1) path.arc(p.points[0][0], p.points[0][1], 1.5 * unit, 0, 2 * Math.PI);
  }
  for (const [key, path] of groups) {
    const [colour, kind] = key.split('|');
    context.strokeStyle = colour;
    context.lineWidth = (kind === 'lit' ? 2 : 1) * unit;
    context.setLineDash(kind === 'lit' ? [] : [6 * unit, 4 * unit]);
    context.stroke(path);
  }
  context.setLineDash([]);
}

const arrowScale = 10;

function drawCalibration(report, unit) {
  const quality = report.quality || {};
  context.fillStyle = 'rgba(255, 64, 129, 0.25)';
  for (const cell of quality.foldedCells || []) {
    const path = new Path2D();
    cell.forEach((q, i) => (i ? path.lineTo(q[0], q[1]) : path.moveTo(q[0], q[1])));
    path.closePath();
    context.fill(path);
  }
  const arrows = new Path2D();
  const heads = new Path2D();
  for (const point of quality.points || report.points || []) {
    const [x, y] = point.camera;
    heads.moveTo(x + 3 * unit, y);
    heads.arc(x, y, 3 * unit, 0, 2 * Math.PI);
    if (!point.arrow) continue;
    const tx = x + arrowScale * point.arrow[0];
    const ty = y + arrowScale * point.arrow[1];
    arrows.moveTo(x, y);
    arrows.lineTo(tx, ty);
    const angle = Math.atan2(ty - y, tx - x);
    for (const side of [-0.5, 0.5]) {
      arrows.moveTo(tx, ty);
      arrows.lineTo(tx - 8 * unit * Math.cos(angle + side), ty - 8 * unit * Math.sin(angle + side));
    }
  }
  context.lineWidth = 1.5 * unit;
  context.strokeStyle = '#ff4081';
  context.stroke(arrows);
  context.fillStyle = '#ff4081';
  context.fill(heads);
}

function drawDraft(draft, unit) {
  const path = new Path2D();
  const points = draft.points;
  if (draft.type === 'ellipse' && points.length === 2) {
    const [a, b] = points;
    const x = Math.min(a[0], b[0]);
    const y = Math.min(a[1], b[1]);
    const w = Math.abs(b[0] - a[0]);
    const h = Math.abs(b[1] - a[1]);
    path.rect(x, y, w, h);
    path.moveTo(x + w, y + h / 2);
    path.ellipse(x + w / 2, y + h / 2, w / 2, h / 2, 0, 0, 2 * Math.PI);
  } else {
    points.forEach((q, i) => (i ? path.lineTo(q[0], q[1]) : path.moveTo(q[0], q[1])));
    if (draft.cursor && points.length) path.lineTo(draft.cursor[0], draft.cursor[1]);
  }
  context.lineWidth = 1.5 * unit;
  context.strokeStyle = '#ffea00';
  context.setLineDash([4 * unit, 3 * unit]);
  context.stroke(path);
  context.setLineDash([]);
}

function drawRun(run, unit) {
  if (run.trail.length > 1) {
    const path = new Path2D();
    run.trail.forEach((q, i) => (i ? path.lineTo(q[0], q[1]) : path.moveTo(q[0], q[1])));
    context.lineWidth = 1 * unit;
    context.strokeStyle = 'rgba(118, 255, 3, 0.6)';
    context.stroke(path);
  }
  if (run.spot) {
    context.beginPath();
    context.arc(run.spot[0], run.spot[1], 6 * unit, 0, 2 * Math.PI);
    context.fillStyle = run.lit ? '#76ff03' : 'rgba(118, 255, 3, 0.25)';
    context.fill();
  }
}

function legend(text, line) {
  context.font = '12px system-ui, sans-serif';
  context.fillStyle = 'rgba(0, 0, 0, 0.6)';
  const width = context.measureText(text).width;
  context.fillRect(6, 6 + line * 18, width + 10, 17);
  context.fillStyle = '#fff';
  context.fillText(text, 11, 19 + line * 18);
}

// Draw everything now. Returns the milliseconds it took.
export function draw() {
  const started = performance.now();
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(size[0] * ratio));
  const height = Math.max(1, Math.round(size[1] * ratio));
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  context.setTransform(1, 0, 0, 1, 0, 0);
  context.fillStyle = '#111';
  context.fillRect(0, 0, width, height);
  const { k, ox, oy } = fit();
  // image px
  context.setTransform(ratio * k, 0, 0, ratio * k, ratio * ox, ratio * oy);
  context.strokeStyle = '#444';
  context.lineWidth = 1 / k;
  context.strokeRect(0, 0, view.imageSize[0], view.imageSize[1]);
  if (view.image && layer('image')) {
    context.imageSmoothingEnabled = false;
    context.drawImage(view.image, 0, 0, view.imageSize[0], view.imageSize[1]);
  }
  // document px: image = (doc - offset) / scale
  const s = view.map.scale;
  const [mx, my] = view.map.offset;
  context.setTransform((ratio * k) / s, 0, 0, (ratio * k) / s, ratio * (ox - (k * mx) / s), ratio * (oy - (k * my) / s));
  const unit = s / k;  // one CSS px in document px
  const lines = [];
  if (view.doseImage && layer('dose')) {
    const dose = view.preview.dose;
    const origin = dose.origin || [0, 0];
    context.imageSmoothingEnabled = true;
    context.drawImage(view.doseImage, origin[0], origin[1], dose.width * dose.cell, dose.height * dose.cell);
  }
  if (view.preview && layer('paths')) drawPaths(view.preview.paths || [], unit);
  if (layer('targets')) drawTargets(model.document().elements, unit);
  if (view.calibration && layer('calibration')) {
    drawCalibration(view.calibration, unit);
    lines.push(`calibration: arrows show the leave-one-out error ×${arrowScale}`);
  }
  if (view.draft) drawDraft(view.draft, unit);
  if (view.run) drawRun(view.run, unit);
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  lines.forEach((text, i) => legend(text, i));
  return performance.now() - started;
}

let pending = false;

// Draw at the next frame; many changes in one frame cost one draw.
export function redraw() {
  if (pending) return;
  pending = true;
  requestAnimationFrame(() => {
    pending = false;
    draw();
  });
}

new ResizeObserver((entries) => {
  const box = entries[entries.length - 1].contentRect;
  size[0] = box.width;
  size[1] = box.height;
  redraw();
}).observe(canvas);
