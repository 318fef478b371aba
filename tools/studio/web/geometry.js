// Plain geometry of targets: no DOM, so it can be checked outside a browser.

// Image pixels <-> document (calibration table) pixels: tx = s*x + ox.
export function toDocument(map, x, y) {
  return [map.scale * x + map.offset[0], map.scale * y + map.offset[1]];
}

export function toImage(map, x, y) {
  return [(x - map.offset[0]) / map.scale, (y - map.offset[1]) / map.scale];
}

export const identityMap = Object.freeze({ scale: 1, offset: [0, 0] });

// The corner points a target is drawn through (document px), closed for closed shapes.
const pair = (p) => Array.isArray(p) && p.length >= 2 && Number.isFinite(p[0]) && Number.isFinite(p[1]);

export function outline(element) {
  if (!element) return [];
  switch (element.type) {
    case 'point':
      return pair(element.at) ? [element.at] : [];
    case 'line':
      return pair(element.from) && pair(element.to) ? [element.from, element.to] : [];
    case 'polygon':
      return Array.isArray(element.points) ? element.points.filter(pair) : [];
    case 'ellipse': {
      if (!Array.isArray(element.rect) || !element.rect.every(Number.isFinite)) return [];
      const [x, y, w, h] = element.rect;
      const points = [];
      for (let i = 0; i <= 32; ++i) {
        const a = (i / 32) * 2 * Math.PI;
        points.push([x + w / 2 + (w / 2) * Math.cos(a), y + h / 2 + (h / 2) * Math.sin(a)]);
      }
      return points;
    }
    default:
      return [];
  }
}

function segmentDistance(p, a, b) {
  const dx = b[0] - a[0];
  const dy = b[1] - a[1];
  const length2 = dx * dx + dy * dy;
  let t = length2 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / length2 : 0;
  t = Math.max(0, Math.min(1, t));
  return Math.hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

function inside(p, polygon) {
  let result = false;
  for (let i = 0, j = polygon.length - 1; i < polygon.length; j = i++) {
    const [xi, yi] = polygon[i];
    const [xj, yj] = polygon[j];
    if (yi > p[1] !== yj > p[1] && p[0] < ((xj - xi) * (p[1] - yi)) / (yj - yi) + xi) result = !result;
  }
  return result;
}

// Distance from p to the target as drawn; 0 inside a filled shape.
export function distanceTo(element, p) {
  const points = outline(element);
  if (points.length === 0) return Infinity;
  if (points.length === 1) return Math.hypot(p[0] - points[0][0], p[1] - points[0][1]);
  if (element.fill && element.type !== 'line' && inside(p, points)) return 0;
  let best = Infinity;
  for (let i = 1; i < points.length; ++i) best = Math.min(best, segmentDistance(p, points[i - 1], points[i]));
  return best;
}

// The topmost (last drawn) target within `tolerance` of p, or -1.
export function hitTest(elements, p, tolerance) {
  let best = -1;
  let bestDistance = tolerance;
  for (let i = elements.length - 1; i >= 0; --i) {
    const d = distanceTo(elements[i], p);
    if (d < bestDistance || (d === 0 && bestDistance > 0)) {
      best = i;
      bestDistance = d;
      if (d === 0) break;
    }
  }
  return best;
}

const round = (v) => Math.round(v * 100) / 100;

// A copy of the target shifted by (dx, dy) document px.
export function moved(element, dx, dy) {
  const shift = (q) => [round(q[0] + dx), round(q[1] + dy)];
  const copy = { ...element };
  if (pair(copy.at)) copy.at = shift(copy.at);
  if (pair(copy.from)) copy.from = shift(copy.from);
  if (pair(copy.to)) copy.to = shift(copy.to);
  if (Array.isArray(copy.rect) && copy.rect.length === 4) copy.rect = [round(copy.rect[0] + dx), round(copy.rect[1] + dy), copy.rect[2], copy.rect[3]];
  if (Array.isArray(copy.points)) copy.points = copy.points.map((q) => (pair(q) ? shift(q) : q));
  return copy;
}

// The rectangle [x, y, w, h] spanned by two corners of a drag.
export function boxOf(a, b) {
  return [round(Math.min(a[0], b[0])), round(Math.min(a[1], b[1])), round(Math.abs(b[0] - a[0])), round(Math.abs(b[1] - a[1]))];
}

// The index of the element a check error pointer ("/elements/N/...") names, or -1.
export function elementOfPointer(pointer) {
  const match = /^\/elements\/(\d+)(\/|$)/.exec(pointer || '');
  return match ? Number(match[1]) : -1;
}

export { round };

// `target` (a path in the folder) as seen from the folder of the file `from`, as a document refers
// to its calibration table: relativePath('runs/a.json', 'cal.ini') is '../cal.ini'.
export function relativePath(from, target) {
  const base = (from || '').split('/').filter(Boolean).slice(0, -1);
  const parts = target.split('/').filter(Boolean);
  let common = 0;
  while (common < base.length && common < parts.length - 1 && base[common] === parts[common]) ++common;
  return [...base.slice(common).map(() => '..'), ...parts.slice(common)].join('/');
}

// The file writer gives every beam element its lasers as a list ("lasers": [{laser, intensity}]),
// which means the same as "laser" and "intensity" when it holds one entry; the page edits that
// form. Longer lists, and entries with more than those two fields, stay as they are.
export function oneLaserForm(element) {
  if (!element || typeof element !== 'object' || 'laser' in element) return element;
  const list = element.lasers;
  if (!Array.isArray(list) || list.length !== 1 || !list[0] || typeof list[0] !== 'object') return element;
  const [only] = list;
  if (Object.keys(only).some((key) => key !== 'laser' && key !== 'intensity')) return element;
  const { lasers, ...rest } = element;
  return only.intensity === undefined ? { ...rest, laser: only.laser } : { ...rest, laser: only.laser, intensity: only.intensity };
}

// A document as it came from a file or a caller, its targets in the page's form.
export function inPageForm(doc) {
  if (!doc || typeof doc !== 'object' || !Array.isArray(doc.elements)) return doc;
  return { ...doc, elements: doc.elements.map(oneLaserForm) };
}
