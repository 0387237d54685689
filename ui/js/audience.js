// The audience document the overlay polls ("audience.json"): who sings now,
// who is up next, the waiting list, the background track, and the switch that
// lets the overlay draw at all ("renderer" "pipeline" and "visible").
(function (QK) {
'use strict';

const { upcoming, waitTexts } = QK.show;

const NEXT_COUNT = 3;

function entry(singer, wait) {
  const song = singer.songs[0];
  const out = { singer: singer.name, title: song ? song.title : '', isNew: singer.isNew, needsSong: !song };
  if (wait !== undefined) out.wait = wait;
  return out;
}

// state: { show, settings, visible (the overlay draws), current: {singer, song, isNew} | null,
//          isPlaying, remainingMinutes, bgNow: {title, artist} | null, look: look keys | undefined }
function audienceDocument(state) {
  const { show, settings } = state;
  const list = upcoming(show);
  const waits = waitTexts(list, settings.minutesPerSong, state.isPlaying ? state.remainingMinutes : 0);
  const doc = {
    renderer: 'pipeline',
    visible: state.visible,
    isPlaying: state.isPlaying,
    venue: settings.venue,
    message: settings.message,
    firstEmoji: settings.firstEmoji,
    rotation: list.map((s, i) => entry(s, waits[i])),
    next: list.slice(0, NEXT_COUNT).map((s, i) => entry(s, waits[i])),
  };
  if (state.isPlaying && state.current) {
    doc.current = { singer: state.current.singer, title: state.current.title, isNew: state.current.isNew };
  }
  if (state.bgNow) doc.bgNow = { title: state.bgNow.title, artist: state.bgNow.artist };
  // The look keys the KJ has set (title, colours, QR code, dance mode, ...).
  if (state.look) Object.assign(doc, state.look);
  return doc;
}

QK.audience = { audienceDocument };
}(window.QK = window.QK || {}));
