// Undo and redo over whole documents. Snapshots are JSON text: cheap to keep, and a snapshot can
// never be changed behind the stack's back.

export class UndoStack {
  constructor(limit = 200) {
    this.limit = limit;
    this.past = [];
    this.future = [];
  }

  // Remember `before` (the document as it was before a change); a new change drops the redo side.
  record(before) {
    const text = JSON.stringify(before);
    if (this.past.length && this.past[this.past.length - 1] === text) return;
    this.past.push(text);
    if (this.past.length > this.limit) this.past.shift();
    this.future.length = 0;
  }

  canUndo() {
    return this.past.length > 0;
  }

  canRedo() {
    return this.future.length > 0;
  }

  // Returns the document to show instead of `current`, or null when there is nothing to undo.
  undo(current) {
    if (!this.past.length) return null;
    this.future.push(JSON.stringify(current));
    return JSON.parse(this.past.pop());
  }

  redo(current) {
    if (!this.future.length) return null;
    this.past.push(JSON.stringify(current));
    return JSON.parse(this.future.pop());
  }
}
