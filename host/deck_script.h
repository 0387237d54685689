// The part of the DJ host's script language that qkhost understands: enough for
// the manager page to run a show on two decks.
//
//   actions  [deck N] load 'path' | unload | play | pause | stop | play_pause | volume 70%
//   queries  [deck N] play | get_position | get_songlength | get_title | get_artist | get_filepath
//
// N is 1 or 2; without it a command goes to the active deck, deck 1. Actions chain
// with " & " and run in order. A quoted path (single or double quotes) may hold
// blanks, '&' and any UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/decks.h"
#include "kit/vdj_plugin.h"

namespace qkhost {

// What the host answers to a script it does not understand (E_FAIL).
inline constexpr vdj::Result kScriptFailed = static_cast<vdj::Result>(0x80004005u);

struct ScriptCommand {
    int deck = 1;          // 1 or 2; 0 when the script named a deck that is not there
    std::string verb;      // lower case
    std::string argument;  // the rest, quotes removed from a quoted path
};

// Splits a script at the '&' outside quotes. Nothing when it has an unclosed quote
// or an empty command.
bool parseScript(std::string_view script, std::vector<ScriptCommand>* commands);

// Runs every action of the chain in order; kOk when each one was understood and
// done, kScriptFailed otherwise. A load decodes the song on the calling thread
// before it returns, so that "load ... & play" plays the new song and a query
// right after it already answers for the new song: a page that polls "play" to
// notice the end of a song must never see a deck that is still loading as stopped.
vdj::Result runScript(Decks& decks, std::string_view script);

// A query for a number: kOk and the value, or kScriptFailed and 0. An empty deck
// answers 0, as the DJ host does.
vdj::Result queryNumber(Decks& decks, std::string_view query, double* value);

// A query for text: kOk and the text, or kScriptFailed and "". The number queries
// answer their value as text ("%g"); an empty deck answers "".
vdj::Result queryText(Decks& decks, std::string_view query, std::string* text);

}  // namespace qkhost
