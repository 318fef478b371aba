// The sequence document being edited, its selection and its undo history. Every change goes
// through here so that the view, the lists and the timing follow it.

import { UndoStack } from './undo.js';

export const defaultLaser = Object.freeze({ name: 'blue', port: 'laser1' });

function emptyDocument() {
  return { tickTime: 50, units: 'camera', lasers: [{ ...defaultLaser }], elements: [] };
}

const listeners = [];
const history = new UndoStack();
let doc = emptyDocument();

export const model = {
  selected: -1,
  invalid: -1,          // the first target the server refused
  invalidReason: '',

  document() {
    return doc;
  },

  // kind: 'structure' (targets added, removed, reordered: lists are rebuilt), 'append' (one target
  // added at the end), 'values' (a target
  // changed in place), 'drag' (a change not yet committed) or 'selection'.
  onChange(listener) {
    listeners.push(listener);
  },

  notify(kind = 'structure') {
    for (const listener of listeners) listener(kind);
  },

  // Replace the document, undoably. A document without targets or lasers gets empty lists, so
  // that every view can count on them.
  set(next, kind = 'structure') {
    history.record(doc);
    doc = next && typeof next === 'object' ? { ...next } : {};
    if (!Array.isArray(doc.elements)) doc.elements = [];
    if (!Array.isArray(doc.lasers)) doc.lasers = [];
    if (model.selected >= doc.elements.length) model.selected = -1;
    model.notify(kind);
  },

  // Apply `change(copy)` to a copy of the document, undoably.
  edit(change, kind = 'structure') {
    const next = { ...doc, lasers: doc.lasers, elements: doc.elements.slice() };
    change(next);
    model.set(next, kind);
  },

  // Show a document without recording it (a drag in progress); commit with set().
  preview(next) {
    doc = next;
    model.notify('drag');
  },

  // End a drag: record `original` (the document before the drag) and keep `next`.
  commit(original, next, kind = 'values') {
    history.record(original);
    doc = next;
    model.notify(kind);
  },

  // Forget a preview and go back to `original`.
  restore(original) {
    doc = original;
    model.notify('drag');
  },

  undo() {
    const previous = history.undo(doc);
    if (previous) {
      doc = previous;
      model.selected = -1;
      model.notify('structure');
    }
  },

  redo() {
    const next = history.redo(doc);
    if (next) {
      doc = next;
      model.selected = -1;
      model.notify('structure');
    }
  },

  canUndo: () => history.canUndo(),
  canRedo: () => history.canRedo(),

  select(index) {
    model.selected = index;
    model.notify('selection');
  },

  firstLaser() {
    return doc.lasers && doc.lasers.length ? doc.lasers[0] : defaultLaser;
  },
};
