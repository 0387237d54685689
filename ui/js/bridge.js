// The one road to native services: every request is a JSON object posted to the
// host's web view, every answer comes back through window.qkResolve with the
// request's id. Nothing else in the page talks to the host directly.
(function (QK) {
'use strict';

const DEFAULT_TIMEOUT_MS = 8000;

// A failed request: `hr` is the host's code (or null for a time-out or a missing
// host), `action` the request that failed, `message` a text fit for the KJ.
class BridgeError extends Error {
  constructor(action, hr, detail) {
    super(describeFailure(action, hr, detail));
    this.action = action;
    this.hr = hr;
    this.detail = detail;
  }
}

const ACTION_NAMES = {
  readfile: 'read a file',
  writefile: 'save a file',
  statfile: 'look at a file',
  listdir: 'list a folder',
  mkdir: 'create a folder',
  deletefile: 'delete a file',
  send: 'send a command to VirtualDJ',
  getinfo: 'ask VirtualDJ about a deck',
  getstring: 'ask VirtualDJ for a text',
  set_data_dir: 'set the data folder',
  set_write_roots: 'set the write folders',
  displays: 'list the screens',
  audience_show: 'show the audience screen',
  audience_hide: 'hide the audience screen',
  pick_file: 'open the file picker',
  pick_folder: 'open the folder picker',
  cloud_http: 'reach the web service',
};

function describeFailure(action, hr, detail) {
  const what = ACTION_NAMES[action] || action;
  if (hr === null) return `Could not ${what}: ${detail}`;
  return `Could not ${what}: ${detail || 'no reason given'} (code ${hr})`;
}

let nextId = 0;
const pending = new Map();

function hostPost() {
  const webview = window.chrome && window.chrome.webview;
  return webview && typeof webview.postMessage === 'function' ? webview : null;
}

// Answers arrive as plain objects ("id", "hr", "result" and action members).
// An answer nobody waits for (late after a time-out, or the host's fixed
// failure answer with id "0") is dropped.
window.qkResolve = (answer) => {
  if (!answer || typeof answer !== 'object') return;
  const entry = pending.get(String(answer.id));
  if (!entry) return;
  pending.delete(String(answer.id));
  clearTimeout(entry.timer);
  entry.resolve(answer);
};

// Sends one request and resolves with the whole answer object; an answer whose
// "hr" is not 0 rejects with a BridgeError unless `okCodes` lists that code
// (the pickers answer 1 for "nothing chosen").
function call(action, members = {}, { okCodes = [0], timeout = DEFAULT_TIMEOUT_MS } = {}) {
  const webview = hostPost();
  if (!webview) return Promise.reject(new BridgeError(action, null, 'the page is not running inside the karaoke plug-in'));
  const id = `qk${Date.now().toString(36)}-${++nextId}`;
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      pending.delete(id);
      reject(new BridgeError(action, null, `no answer after ${Math.round(timeout / 1000)} s`));
    }, timeout);
    pending.set(id, {
      timer,
      resolve: (answer) => {
        const hr = typeof answer.hr === 'number' ? answer.hr : -1;
        if (okCodes.includes(hr)) resolve(answer);
        else reject(new BridgeError(action, hr, typeof answer.result === 'string' ? answer.result : ''));
      },
    });
    try {
      webview.postMessage(Object.assign({}, members, { id, action }));
    } catch (err) {
      pending.delete(id);
      clearTimeout(timer);
      reject(new BridgeError(action, null, String(err && err.message || err)));
    }
  });
}

// Reads a whole text file, chunk by chunk as the host hands it out.
// Resolves with null when the file cannot be opened (a missing file).
async function readText(path) {
  let text = '';
  for (;;) {
    let answer;
    try {
      answer = await call('readfile', { path, offset: text.length });
    } catch (err) {
      if (err instanceof BridgeError && err.detail === 'read failed (cannot open)') return null;
      throw err;
    }
    text += answer.result;
    if (answer.eof || answer.result === '') return text;
  }
}

// Lists a folder; the host sends the list as JSON text inside "result".
async function listDir(path) {
  const answer = await call('listdir', { path });
  const entries = JSON.parse(answer.result);
  return Array.isArray(entries) ? entries : [];
}

QK.bridge = { BridgeError, call, readText, listDir };
}(window.QK = window.QK || {}));
