#include "host/deck_script.h"

#include <charconv>
#include <cstdio>

namespace qkhost {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view nextWord(std::string_view* rest) {
    std::size_t end = 0;
    while (end < rest->size() && !isBlank((*rest)[end])) ++end;
    const std::string_view word = rest->substr(0, end);
    *rest = trim(rest->substr(end));
    return word;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool parseCommand(std::string_view text, ScriptCommand* command) {
    std::string_view rest = trim(text);
    if (rest.empty()) return false;
    std::string verb = lower(nextWord(&rest));
    if (verb == "deck") {
        const std::string_view number = nextWord(&rest);
        int n = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), n);
        command->deck =
            ec == std::errc() && end == number.data() + number.size() && n >= 1 && n <= Decks::kCount ? n : 0;
        verb = lower(nextWord(&rest));
    }
    if (verb.empty()) return false;
    command->verb = std::move(verb);
    if (rest.size() >= 2 && (rest.front() == '\'' || rest.front() == '"') && rest.back() == rest.front())
        rest = rest.substr(1, rest.size() - 2);
    command->argument = std::string(rest);
    return true;
}

// "70%" is 0.7, and a plain number is already the fraction, as the DJ host reads both.
bool parseVolume(std::string_view text, float* gain) {
    const bool percent = !text.empty() && text.back() == '%';
    if (percent) text.remove_suffix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
    *gain = static_cast<float>(percent ? value / 100 : value);
    return true;
}

bool runAction(Decks& decks, const ScriptCommand& c) {
    Deck* deck = decks.deck(c.deck);
    if (deck == nullptr) return false;
    if (c.verb == "load") {
        if (c.argument.empty()) return false;
        std::string error;
        auto track = decodeTrack(c.argument, decks.rate(), &error);
        if (!track) {
            std::fprintf(stderr, "qkhost: deck %d cannot load %s: %s\n", c.deck, c.argument.c_str(), error.c_str());
            return false;
        }
        deck->load(std::move(track));
        return true;
    }
    if (c.verb == "volume") {
        float gain = 0;
        if (!parseVolume(c.argument, &gain)) return false;
        deck->setGain(gain);
        return true;
    }
    if (!c.argument.empty()) return false;
    if (c.verb == "unload")
        deck->unload();
    else if (c.verb == "play")
        deck->play();
    else if (c.verb == "pause")
        deck->pause();
    else if (c.verb == "stop")
        deck->stop();
    else if (c.verb == "play_pause")
        deck->playPause();
    else
        return false;
    return true;
}

// The one command of a query, on a deck that is there.
Deck* queryCommand(Decks& decks, std::string_view query, ScriptCommand* command) {
    std::vector<ScriptCommand> commands;
    if (!parseScript(query, &commands) || commands.size() != 1 || !commands[0].argument.empty()) return nullptr;
    *command = std::move(commands[0]);
    return decks.deck(command->deck);
}

bool numberOf(const Deck& deck, const std::string& verb, double* value) {
    if (verb == "play")
        *value = deck.playing() ? 1 : 0;
    else if (verb == "get_position")
        *value = deck.position();
    else if (verb == "get_songlength")
        *value = deck.songLength();
    else
        return false;
    return true;
}

}  // namespace

bool parseScript(std::string_view script, std::vector<ScriptCommand>* commands) {
    commands->clear();
    // Song files are full of apostrophes ("Don't Stop Me Now.mp3"), so a quote opens
    // only where a word starts and closes only where one ends: inside 'Rock 'n'
    // Roll.mp3' the inner quotes stay part of the name.
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        const bool wordStart = i == 0 || isBlank(script[i - 1]) || script[i - 1] == '&';
        const bool wordEnd = i + 1 == script.size() || isBlank(script[i + 1]) || script[i + 1] == '&';
        if (quote != 0) {
            if (c == quote && wordEnd) quote = 0;
        } else if ((c == '\'' || c == '"') && wordStart) {
            quote = c;
        } else if (c == '&') {
            ScriptCommand command;
            if (!parseCommand(script.substr(start, i - start), &command)) return false;
            commands->push_back(std::move(command));
            start = i + 1;
        }
    }
    if (quote != 0) return false;
    ScriptCommand last;
    if (!parseCommand(script.substr(start), &last)) return false;
    commands->push_back(std::move(last));
    return true;
}

vdj::Result runScript(Decks& decks, std::string_view script) {
    std::vector<ScriptCommand> commands;
    if (!parseScript(script, &commands)) return kScriptFailed;
    // Like the DJ host, a command that fails does not keep the rest of the chain from running.
    bool all = true;
    for (const ScriptCommand& c : commands) all = runAction(decks, c) && all;
    return all ? vdj::kOk : kScriptFailed;
}

vdj::Result queryNumber(Decks& decks, std::string_view query, double* value) {
    *value = 0;
    ScriptCommand c;
    const Deck* deck = queryCommand(decks, query, &c);
    if (deck == nullptr || !numberOf(*deck, c.verb, value)) {
        *value = 0;
        return kScriptFailed;
    }
    return vdj::kOk;
}

vdj::Result queryText(Decks& decks, std::string_view query, std::string* text) {
    text->clear();
    ScriptCommand c;
    const Deck* deck = queryCommand(decks, query, &c);
    if (deck == nullptr) return kScriptFailed;
    if (double value = 0; numberOf(*deck, c.verb, &value)) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", value);
        *text = buffer;
        return vdj::kOk;
    }
    const auto track = deck->track();
    if (c.verb == "get_title") {
        if (track) *text = track->title;
    } else if (c.verb == "get_artist") {
        if (track) *text = track->artist;
    } else if (c.verb == "get_filepath") {
        if (track) *text = track->path;
    } else {
        return kScriptFailed;
    }
    return vdj::kOk;
}

}  // namespace qkhost
