// Paths as the host writes them: backslashes when the host folder looks like a
// Windows path, slashes otherwise.
(function (QK) {
'use strict';

function looksWindows(folder) {
  return /^[A-Za-z]:/.test(folder) || folder.startsWith('\\\\') || (folder.includes('\\') && !folder.includes('/'));
}

function separatorFor(folder) {
  return looksWindows(folder) ? '\\' : '/';
}

// The data folder exactly as the companion plug-ins derive it from the host's
// folder: on Windows every slash becomes a backslash; then the trailing
// separators go and the platform's separator and "QuorvaleKaraoke" follow.
function dataFolderFrom(hostFolder) {
  const sep = separatorFor(hostFolder);
  let folder = sep === '\\' ? hostFolder.replace(/\//g, '\\') : hostFolder;
  while (folder.endsWith(sep)) folder = folder.slice(0, -1);
  return folder + sep + 'QuorvaleKaraoke';
}

function joinPath(folder, ...names) {
  const sep = separatorFor(folder);
  let out = folder;
  for (const name of names) {
    while (out.endsWith(sep)) out = out.slice(0, -1);
    out += sep + name;
  }
  return out;
}

function baseName(path) {
  const cut = Math.max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
  return cut >= 0 ? path.slice(cut + 1) : path;
}

// "Artist - Title.mp3" gives the artist and the title; anything else is a title.
function songFromPath(path) {
  const name = baseName(path).replace(/\.[^.]+$/, '');
  const dash = name.indexOf(' - ');
  if (dash > 0) return { path, title: name.slice(dash + 3).trim(), artist: name.slice(0, dash).trim() };
  return { path, title: name.trim(), artist: '' };
}

const MEDIA = new Set(['mp3', 'm4a', 'aac', 'wav', 'flac', 'ogg', 'opus', 'wma', 'mp4', 'm4v', 'mkv', 'avi', 'webm', 'mov', 'cdg', 'zip', 'vdjstems']);

function isMediaFile(name) {
  const dot = name.lastIndexOf('.');
  return dot > 0 && MEDIA.has(name.slice(dot + 1).toLowerCase());
}

QK.paths = { looksWindows, separatorFor, dataFolderFrom, joinPath, baseName, songFromPath, isMediaFile };
}(window.QK = window.QK || {}));
