// A stand-in for the karaoke plug-in's bridge, injected into the page before its
// own scripts run. It takes the page's posted request objects and answers
// through window.qkResolve as the plug-in does (same members, codes and texts,
// answers in request order, object members in ascending key order), over an
// in-memory POSIX file system and two fake decks that understand the
// VirtualDJ script subset the page uses. Tests drive and read it through
// window.__qkDouble.
/* eslint-disable no-var */
(function () {
  'use strict';

  var OUTSIDE = 'refused: path is outside the allowed QuorvaleKaraoke write folders';

  function sorted(value) {
    if (Array.isArray(value)) return value.map(sorted);
    if (value && typeof value === 'object') {
      var out = {};
      Object.keys(value).sort().forEach(function (k) { out[k] = sorted(value[k]); });
      return out;
    }
    return value;
  }

  // Absolute, single slashes, "." and ".." resolved, no trailing slash.
  function canonical(path) {
    if (!path) return '';
    var parts = [];
    path.split('/').forEach(function (p) {
      if (p === '' || p === '.') return;
      if (p === '..') parts.pop(); else parts.push(p);
    });
    return '/' + parts.join('/');
  }

  function parentOf(path) {
    var cut = path.lastIndexOf('/');
    return cut <= 0 ? '/' : path.slice(0, cut);
  }

  function utf8Length(text) { return new TextEncoder().encode(text).length; }

  window.__qkDoubleSetup = function (seed) {
    seed = seed || {};
    var now = seed.now || 1765324800000;
    var fs = { files: new Map(), dirs: new Set(['/']) };
    var d = {
      home: seed.home === undefined ? '/home/kj/VirtualDJ/' : seed.home,
      dataDir: '',
      writeRoots: [],
      requests: [],
      writes: [],
      log: [], // every write in order, with its content
      sends: [],
      unparsed: [],
      audience: [],
      failures: {},
      pickFile: (seed.pickFile || []).slice(),
      pickFolder: (seed.pickFolder || []).slice(),
      media: seed.media || {},
      displays: seed.displays || [{ index: 0, name: 'Display 1', width: 1920, height: 1080, main: true }],
      chunk: seed.chunk || 4194304,
      silent: seed.silent || [],
      written: [],
      cloud: seed.cloud || {},
      cloudRequests: [],
      decks: { 1: newDeck(), 2: newDeck() },
    };

    function newDeck() { return { path: '', playing: false, position: 0, length: 0, title: '', artist: '', volume: 100 }; }

    function mkdirs(path) {
      var parts = path.split('/').filter(Boolean);
      var cur = '';
      parts.forEach(function (p) { cur += '/' + p; fs.dirs.add(cur); });
    }
    function putFile(path, content, mtime) {
      path = canonical(path);
      mkdirs(parentOf(path));
      fs.files.set(path, { content: content, mtime: mtime || now });
    }
    Object.keys(seed.files || {}).forEach(function (p) { putFile(p, seed.files[p]); });
    (seed.dirs || []).forEach(function (p) { mkdirs(canonical(p)); });

    function inside(path) {
      if (!path) return false;
      return d.writeRoots.some(function (root) {
        root = canonical(root);
        if (!root) return false;
        return root === path || path.indexOf(root === '/' ? '/' : root + '/') === 0 && path !== root;
      });
    }

    function answer(id, hr, result, extra) {
      var out = { id: id, hr: hr, result: result };
      Object.keys(extra || {}).forEach(function (k) { out[k] = extra[k]; });
      return out;
    }

    function fileAction(req, id, action) {
      var path = canonical(typeof req.path === 'string' ? req.path : '');
      if ((action === 'writefile' || action === 'deletefile' || action === 'mkdir') && !inside(path)) {
        return answer(id, -1, OUTSIDE);
      }
      var f;
      switch (action) {
        case 'statfile':
          f = fs.files.get(path);
          return f ? answer(id, 0, '', { exists: true, mtime: f.mtime, size: utf8Length(f.content) })
            : answer(id, 0, '', { exists: fs.dirs.has(path), mtime: 0, size: 0 });
        case 'readfile': {
          f = fs.files.get(path);
          if (!f) return answer(id, -1, 'read failed (cannot open)');
          var text = f.content.charCodeAt(0) === 0xfeff ? f.content.slice(1) : f.content;
          var total = text.length;
          var start = typeof req.offset === 'number' && req.offset > 0 ? Math.min(Math.floor(req.offset), total) : 0;
          var count = Math.min(total - start, d.chunk);
          if (count && start + count < total) {
            var c = text.charCodeAt(start + count - 1);
            if (c >= 0xd800 && c <= 0xdbff) count -= 1;
          }
          return answer(id, 0, text.substr(start, count), { eof: start + count >= total, total: total, mtime: f.mtime });
        }
        case 'writefile': {
          var content = typeof req.content === 'string' ? req.content : '';
          var parent = parentOf(path);
          if (!fs.dirs.has(parent) && inside(parent)) mkdirs(parent);
          if (!fs.dirs.has(parent)) return answer(id, -1, 'write failed (temp)');
          putFile(path, content, ++now);
          d.writes.push(path);
          d.log.push({ path: path, content: content });
          d.written.push({ path: path, content: content });
          if (/\/audience\.json$/.test(path)) d.audience.push(content);
          return answer(id, 0, '');
        }
        case 'listdir': {
          if (!fs.dirs.has(path)) return answer(id, -1, 'listdir failed');
          var prefix = path === '/' ? '/' : path + '/';
          var entries = [];
          fs.dirs.forEach(function (p) {
            if (p !== path && p.indexOf(prefix) === 0 && p.slice(prefix.length).indexOf('/') < 0) entries.push({ name: p.slice(prefix.length), dir: true });
          });
          fs.files.forEach(function (_, p) {
            if (p.indexOf(prefix) === 0 && p.slice(prefix.length).indexOf('/') < 0) entries.push({ name: p.slice(prefix.length), dir: false });
          });
          return answer(id, 0, JSON.stringify(sorted(entries)));
        }
        case 'mkdir':
          mkdirs(path);
          return answer(id, 0, '');
        case 'deletefile': {
          var name = path.slice(path.lastIndexOf('/') + 1).toLowerCase();
          var ok = (name.indexOf('quorvalekaraoke-backup-') === 0 && /\.json$/.test(name)) || name === 'pending-end-show.json';
          if (!ok) return answer(id, -1, 'refused: not a QuorvaleKaraoke backup file');
          if (!fs.files.delete(path)) return answer(id, -1, 'delete failed');
          return answer(id, 0, '');
        }
        default:
          return answer(id, 0, JSON.stringify([{ home: '/home/kj', label: '/', root: '' }]), { home: '/home/kj' });
      }
    }

    // "deck N verb params" commands chained with "&"; false when one is not understood.
    function runScript(script) {
      return script.split('&').every(function (part) {
        var m = /^\s*deck\s+([12])\s+(\w+)\s*(.*?)\s*$/.exec(part);
        if (!m) return false;
        var deck = d.decks[m[1]];
        var verb = m[2];
        var arg = m[3];
        if (verb === 'load') {
          var q = /^'([^']*)'$|^"([^"]*)"$/.exec(arg);
          if (!q) return false;
          var path = q[1] !== undefined ? q[1] : q[2];
          var info = d.media[path] || {};
          Object.assign(deck, newDeck(), { path: path, length: info.length || 180, title: info.title || '', artist: info.artist || '', volume: deck.volume });
        } else if (verb === 'play') {
          if (!deck.path) return false;
          deck.playing = true;
        } else if (verb === 'pause') {
          deck.playing = false;
        } else if (verb === 'stop') {
          deck.playing = false; deck.position = 0;
        } else if (verb === 'play_pause') {
          deck.playing = !deck.playing && !!deck.path;
        } else if (verb === 'unload') {
          Object.assign(deck, newDeck());
        } else if (verb === 'volume') {
          deck.volume = parseFloat(arg);
        } else {
          return false;
        }
        return true;
      });
    }

    function query(script) {
      var m = /^\s*deck\s+([12])\s+(\w+)\s*$/.exec(script);
      if (!m) return null;
      var deck = d.decks[m[1]];
      switch (m[2]) {
        case 'play': return deck.playing ? 1 : 0;
        case 'get_position': return deck.position;
        case 'get_songlength': return deck.length;
        case 'get_title': return deck.title;
        case 'get_artist': return deck.artist;
        case 'get_filepath': return deck.path;
        default: return null;
      }
    }

    function g(value) {
      if (value === 0) return '0';
      var t = Number(value).toPrecision(6);
      return String(Number(t));
    }

    function handle(req) {
      var id = typeof req.id === 'string' && req.id ? req.id : '0';
      var action = typeof req.action === 'string' ? req.action : '';
      var fail = d.failures[action];
      if (fail && fail.times !== 0 && (!fail.path || (typeof req.path === 'string' && req.path.slice(-fail.path.length) === fail.path))) {
        if (fail.times > 0) fail.times -= 1;
        return answer(id, fail.hr === undefined ? -1 : fail.hr, fail.result);
      }
      switch (action) {
        case 'send': {
          var script = typeof req.script === 'string' ? req.script : '';
          d.sends.push(script);
          return answer(id, runScript(script) ? 0 : -1, '(command sent)');
        }
        case 'getinfo': {
          var v = query(typeof req.script === 'string' ? req.script : '');
          return answer(id, typeof v === 'number' ? 0 : -1, g(typeof v === 'number' ? v : 0));
        }
        case 'getstring': {
          var s = typeof req.script === 'string' ? req.script : '';
          if (s === 'get_vdj_folder') return answer(id, d.home ? 0 : -1, d.home || '');
          var t = query(s);
          return answer(id, typeof t === 'string' ? 0 : -1, typeof t === 'string' ? t : '');
        }
        case 'set_data_dir':
          d.dataDir = typeof req.path === 'string' ? req.path : '';
          return answer(id, 0, '');
        case 'set_picker_dir':
          return answer(id, 0, '');
        case 'set_write_roots':
          d.writeRoots = Array.isArray(req.roots) ? req.roots.filter(function (r) { return typeof r === 'string' && r; }) : [];
          return answer(id, 0, '');
        case 'displays':
          return answer(id, 0, JSON.stringify(sorted(d.displays)));
        case 'audience_show':
          return answer(id, 0, 'shown');
        case 'audience_hide':
          return answer(id, 0, 'hidden');
        case 'pick_file':
        case 'pick_folder': {
          var chosen = (action === 'pick_file' ? d.pickFile : d.pickFolder).shift();
          return chosen ? answer(id, 0, chosen) : answer(id, 1, '');
        }
        case 'cloud_http': {
          // seed.cloud: URL → { status, body } (a missing URL is a network failure).
          d.cloudRequests.push(req);
          var site = d.cloud[typeof req.url === 'string' ? req.url : ''];
          if (!site) return answer(id, -1, 'transport error (win32 12029)', { status: 0, body: '' });
          return answer(id, 0, '', { status: site.status || 200, body: site.body || '' });
        }
        case 'readfile': case 'writefile': case 'statfile': case 'listdir':
        case 'mkdir': case 'deletefile': case 'drives':
          return fileAction(req, id, action);
        default:
          return answer(id, -1, '(' + action + ' not implemented on Windows yet)');
      }
    }

    window.chrome = window.chrome || {};
    window.chrome.webview = {
      postMessage: function (message) {
        if (!message || typeof message !== 'object' || Array.isArray(message)) {
          d.unparsed.push(String(message));
          return;
        }
        var req = JSON.parse(JSON.stringify(message));
        d.requests.push(req);
        if (d.silent.indexOf(req.action) >= 0) return;
        var reply = JSON.stringify(sorted(handle(req)));
        setTimeout(function () {
          if (typeof window.qkResolve === 'function') window.qkResolve(JSON.parse(reply));
        }, 0);
      },
    };

    window.__qkDouble = {
      state: d,
      file: function (path) { var f = fs.files.get(canonical(path)); return f ? f.content : null; },
      json: function (path) { var f = fs.files.get(canonical(path)); return f ? JSON.parse(f.content) : null; },
      paths: function () { return Array.from(fs.files.keys()).sort(); },
      put: putFile,
      // path (optional): only requests whose path ends with it fail.
      fail: function (action, result, times, path) { d.failures[action] = { result: result, times: times === undefined ? -1 : times, path: path }; },
      heal: function (action) { delete d.failures[action]; },
      deck: function (n) { return d.decks[n]; },
      finish: function (n) { var deck = d.decks[n]; deck.position = 1; deck.playing = false; },
    };
  };
})();
