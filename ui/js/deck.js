// VirtualDJ script for the two decks the page uses: deck 1 carries the singers'
// songs, deck 2 the background music. Only this subset is used: load, play,
// pause, stop and the queries play, get_position, get_songlength, get_title,
// get_artist.
(function (QK) {
'use strict';

const { call } = QK.bridge;

const KARAOKE_DECK = 1;
const BACKGROUND_DECK = 2;

// A path inside the script's quotes: single quotes, or double quotes for a
// name that holds an apostrophe ("Don't Stop.mp3"); a path with both cannot be
// written in the script and is refused instead of being cut short.
function quotePath(path) {
  if (!path.includes("'")) return `'${path}'`;
  if (!path.includes('"')) return `"${path}"`;
  throw new Error(`This file name cannot be loaded by VirtualDJ script: ${path}`);
}

function loadAndPlayScript(deck, path) {
  return `deck ${deck} load ${quotePath(path)} & deck ${deck} play`;
}

function send(script) {
  return call('send', { script });
}

async function number(deck, query) {
  const answer = await call('getinfo', { script: `deck ${deck} ${query}` });
  const value = Number(answer.result);
  return Number.isFinite(value) ? value : 0;
}

async function text(deck, query) {
  const answer = await call('getstring', { script: `deck ${deck} ${query}` });
  return answer.result;
}

// One look at a deck: playing, where in the song (0..1) and how long it is.
async function status(deck) {
  const playing = (await number(deck, 'play')) !== 0;
  const position = await number(deck, 'get_position');
  const length = await number(deck, 'get_songlength');
  return { playing, position, length };
}

// A song has ended when the deck stopped at (or near) its end, or went back to
// the start after it had been seen playing (a stop, an unload); a pause in the
// middle of a song is not an end, and neither is a deck still loading.
function hasEnded(st, seenPlaying) {
  if (st.position >= 0.999) return true;
  if (st.playing) return false;
  return st.position >= 0.97 || (seenPlaying && st.position <= 0);
}

QK.deck = { KARAOKE_DECK, BACKGROUND_DECK, quotePath, loadAndPlayScript, send, number, text, status, hasEnded };
}(window.QK = window.QK || {}));
