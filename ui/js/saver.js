// Saves a document through the host's atomic "writefile", at most one write in
// flight per file and debounced: a burst of changes becomes one write of the
// latest state. A failed write keeps the data in memory, reports the error and
// is tried again with the next change (or by retry()).
(function (QK) {
'use strict';

const { call } = QK.bridge;

class Saver {
  // path(): the file to write; content(): the text to write now;
  // onError(err) / onSaved(): reported after each attempt.
  constructor({ path, content, delayMs = 250, onError = () => {}, onSaved = () => {} }) {
    Object.assign(this, { path, content, delayMs, onError, onSaved });
    this.timer = null;
    this.writing = null;
    this.again = false;
    this.lastWritten = null;
    this.failed = false;
  }

  schedule() {
    if (this.timer) clearTimeout(this.timer);
    this.timer = setTimeout(() => { this.timer = null; this.flush(); }, this.delayMs);
  }

  // Writes now (after the write in flight, if any); resolves once the latest state is on disk or failed.
  async flush() {
    if (this.timer) { clearTimeout(this.timer); this.timer = null; }
    if (this.writing) {
      this.again = true;
      await this.writing;
      return this.flush();
    }
    const path = this.path();
    const text = this.content();
    if (!path || (text === this.lastWritten && !this.failed)) return;
    this.writing = call('writefile', { path, content: text }).then(() => {
      this.lastWritten = text;
      this.failed = false;
      this.onSaved();
    }, (err) => {
      this.failed = true;
      this.onError(err);
    });
    await this.writing;
    this.writing = null;
    if (this.again) { this.again = false; await this.flush(); }
  }
}

QK.saver = { Saver };
}(window.QK = window.QK || {}));
