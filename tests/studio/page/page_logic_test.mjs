// The page's pure logic, outside a browser: the undo history and the geometry of targets.
// Run: node --test tests/studio/page/
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { UndoStack } from '../../../tools/studio/web/undo.js';
import {
  boxOf, distanceTo, elementOfPointer, hitTest, inPageForm, moved, relativePath, toDocument, toImage,
} from '../../../tools/studio/web/geometry.js';

test('undo and redo walk back and forth through recorded documents', () => {
  const stack = new UndoStack();
  const docs = [{ n: 0 }, { n: 1 }, { n: 2 }];
  stack.record(docs[0]);
  stack.record(docs[1]);
  let current = docs[2];
  current = stack.undo(current);
  assert.deepEqual(current, docs[1]);
  current = stack.undo(current);
  assert.deepEqual(current, docs[0]);
  assert.equal(stack.undo(current), null, 'nothing before the first');
  current = stack.redo(current);
  current = stack.redo(current);
  assert.deepEqual(current, docs[2]);
  assert.equal(stack.redo(current), null);
});

test('a new change drops what could be redone, and snapshots do not follow later mutation', () => {
  const stack = new UndoStack();
  const doc = { elements: [1] };
  stack.record(doc);
  doc.elements.push(2);  // the caller changes its object afterwards
  const back = stack.undo({ elements: [1, 2, 3] });
  assert.deepEqual(back, { elements: [1] });
  stack.record(back);
  assert.equal(stack.canRedo(), false);
});

test('the history keeps at most its limit, dropping the oldest', () => {
  const stack = new UndoStack(3);
  for (let i = 0; i < 5; ++i) stack.record({ i });
  const seen = [];
  let current = { i: 5 };
  while ((current = stack.undo(current))) seen.push(current.i);
  assert.deepEqual(seen, [4, 3, 2]);
});

test('image and document pixels map both ways', () => {
  const maps = [
    { scale: 1, offset: [0, 0] },
    { scale: 2, offset: [100, 50] },   // binned image of a region
    { scale: 0.5, offset: [-3, 7.5] },
  ];
  for (const map of maps) {
    for (const [x, y] of [[0, 0], [10, 20], [639.5, 511]]) {
      const [tx, ty] = toDocument(map, x, y);
      assert.equal(tx, map.scale * x + map.offset[0]);
      const [bx, by] = toImage(map, tx, ty);
      assert.ok(Math.abs(bx - x) < 1e-9 && Math.abs(by - y) < 1e-9, JSON.stringify({ map, x, y }));
    }
  }
});

test('distance to each kind of target', () => {
  const cases = [
    [{ type: 'point', at: [10, 10] }, [13, 14], 5],
    [{ type: 'line', from: [0, 0], to: [10, 0] }, [5, 3], 3],
    [{ type: 'line', from: [0, 0], to: [10, 0] }, [13, 4], 5],              // past the end
    [{ type: 'polygon', points: [[0, 0], [10, 0], [10, 10]] }, [5, 5], 5],  // an outline is not closed
    [{ type: 'polygon', points: [[0, 0], [10, 0], [10, 10], [0, 10]], fill: true }, [5, 4], 0],
    [{ type: 'polygon', points: [[0, 0], [10, 0], [10, 10], [0, 10]] }, [5, 4], 4],
    [{ type: 'ellipse', rect: [0, 0, 20, 10], fill: true }, [10, 5], 0],
  ];
  for (const [element, p, expected] of cases) {
    assert.ok(Math.abs(distanceTo(element, p) - expected) < 0.05, `${JSON.stringify(element)} ${p}: ${distanceTo(element, p)}`);
  }
  const ring = distanceTo({ type: 'ellipse', rect: [0, 0, 20, 10] }, [10, 5]);
  assert.ok(ring > 4.9 && ring < 5.1, 'an outline ellipse is hit on its ring only');
});

test('hit testing takes the topmost target within the tolerance', () => {
  const elements = [
    { type: 'point', at: [10, 10] },
    { type: 'point', at: [12, 10] },
    { type: 'line', from: [0, 50], to: [100, 50] },
  ];
  assert.equal(hitTest(elements, [11, 10], 5), 1, 'the later one is on top');
  assert.equal(hitTest(elements, [50, 52], 5), 2);
  assert.equal(hitTest(elements, [50, 70], 5), -1);
  assert.equal(hitTest([], [0, 0], 5), -1);
});

test('moving shifts every coordinate of every kind and leaves the original alone', () => {
  const shapes = [
    { type: 'point', at: [1, 2], repeat: 3 },
    { type: 'line', from: [1, 2], to: [3, 4] },
    { type: 'ellipse', rect: [1, 2, 30, 40], fill: true },
    { type: 'polygon', points: [[1, 2], [3, 4], [5, 6]] },
  ];
  const expected = [
    { type: 'point', at: [11, -3], repeat: 3 },
    { type: 'line', from: [11, -3], to: [13, -1] },
    { type: 'ellipse', rect: [11, -3, 30, 40], fill: true },
    { type: 'polygon', points: [[11, -3], [13, -1], [15, 1]] },
  ];
  shapes.forEach((shape, i) => {
    const before = JSON.stringify(shape);
    assert.deepEqual(moved(shape, 10, -5), expected[i]);
    assert.equal(JSON.stringify(shape), before);
  });
});

test('a drag box is the same whichever corner it starts from', () => {
  for (const [a, b] of [[[10, 20], [40, 60]], [[40, 60], [10, 20]], [[10, 60], [40, 20]]]) {
    assert.deepEqual(boxOf(a, b), [10, 20, 30, 40]);
  }
});

test('error pointers name the element they are about', () => {
  const cases = [['/elements/3', 3], ['/elements/12/laser', 12], ['/elements', -1], ['/lasers/0/port', -1],
    ['', -1], [undefined, -1], ['/elements/x', -1]];
  for (const [pointer, index] of cases) assert.equal(elementOfPointer(pointer), index, String(pointer));
});

test('a calibration path is written relative to the document file', () => {
  const cases = [
    ['', 'calibration.ini', 'calibration.ini'],                  // no file yet: the folder itself
    ['seq.json', 'cal/table.ini', 'cal/table.ini'],
    ['runs/a.json', 'calibration.ini', '../calibration.ini'],
    ['runs/a.json', 'runs/cal.ini', 'cal.ini'],
    ['runs/day1/a.json', 'runs/cal/t.ini', '../cal/t.ini'],
    ['a/b/c.json', 'x/y.ini', '../../x/y.ini'],
  ];
  for (const [from, target, expected] of cases) assert.equal(relativePath(from, target), expected, `${from} -> ${target}`);
});

test('malformed targets from a refused file are never hit and survive a move', () => {
  const broken = [{ type: 'point' }, { type: 'line', from: [1, 2] }, { type: 'ellipse', rect: [1, 2] },
    { type: 'polygon', points: 'none' }, { type: 'jump', target: 3 }, null];
  assert.equal(hitTest(broken, [1, 2], 100), -1);
  for (const element of broken.slice(0, 5)) assert.doesNotThrow(() => moved(element, 1, 1), JSON.stringify(element));
});

test('one-entry laser lists of a written file read as the laser and intensity the page edits', () => {
  const written = {
    lasers: [{ name: 'blue' }],
    elements: [
      { type: 'point', at: [1, 2], lasers: [{ laser: 'blue', intensity: 5000 }] },
      { type: 'line', from: [0, 0], to: [1, 1], lasers: [{ laser: 'blue' }] },
      { type: 'point', at: [3, 4], lasers: [{ laser: 'blue', intensity: 1 }, { laser: 'red', intensity: 2 }] },
      { type: 'point', at: [5, 6], laser: 'blue', intensity: 7 },
      { type: 'setTTL', port: 'ttl1', value: 1 },
    ],
  };
  const page = inPageForm(written);
  assert.deepEqual(page.elements[0], { type: 'point', at: [1, 2], laser: 'blue', intensity: 5000 });
  assert.deepEqual(page.elements[1], { type: 'line', from: [0, 0], to: [1, 1], laser: 'blue' });
  assert.deepEqual(page.elements.slice(2), written.elements.slice(2));  // kept as they were
  assert.equal(written.elements[0].laser, undefined);  // the input is not changed
  assert.equal(inPageForm(null), null);
});
