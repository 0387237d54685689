#include "bridge/protocol.h"

#include <cstdint>

namespace qk::bridge {

std::string stringMember(const Json& object, std::string_view key) { return getString(object, key); }

std::optional<double> numberMember(const Json& object, std::string_view key) {
    if (!object.is_object()) return std::nullopt;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

std::optional<bool> boolMember(const Json& object, std::string_view key) {
    if (!object.is_object()) return std::nullopt;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

Json makeAnswer(const std::string& id, int hr, std::string result) {
    Json answer = Json::object();
    answer["id"] = id;
    answer["hr"] = hr;
    answer["result"] = std::move(result);
    return answer;
}

namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendEscape(std::string& out, std::uint32_t unit) {
    char e[6] = {'\\', 'u', kHex[(unit >> 12) & 0xF], kHex[(unit >> 8) & 0xF], kHex[(unit >> 4) & 0xF],
                 kHex[unit & 0xF]};
    out.append(e, 6);
}

// The answers carry whole files (a "readfile" chunk is up to 4 Mi units), so
// strings are escaped here in runs rather than character by character; the text
// is the one the JSON library prints with ASCII output and strict UTF-8.
bool appendString(std::string& out, const std::string& s) {
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        size_t run = i;
        while (run < n && p[run] >= 0x20 && p[run] < 0x7F && p[run] != '"' && p[run] != '\\') ++run;
        out.append(s, i, run - i);
        i = run;
        if (i >= n) break;
        const unsigned char b = p[i];
        if (b < 0x80) {
            switch (b) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default: appendEscape(out, b); break;  // other controls and DEL
            }
            ++i;
            continue;
        }
        // Strict UTF-8: shortest form, no surrogates, nothing past U+10FFFF.
        std::uint32_t cp;
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1F;
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0F;
            need = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07;
            need = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(need) >= n) return false;  // cut short
        for (int k = 1; k <= need; ++k) {
            const unsigned char c = p[i + static_cast<size_t>(k)];
            if (c < lo || c > hi) return false;
            lo = 0x80;
            hi = 0xBF;
            cp = (cp << 6) | (c & 0x3F);
        }
        i += static_cast<size_t>(need) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendEscape(out, 0xD800 + (cp >> 10));
            appendEscape(out, 0xDC00 + (cp & 0x3FF));
        } else {
            appendEscape(out, cp);
        }
    }
    out += '"';
    return true;
}

bool appendValue(std::string& out, const Json& v) {
    switch (v.type()) {
        case Json::value_t::object: {
            out += '{';
            bool first = true;
            for (auto it = v.begin(); it != v.end(); ++it) {
                if (!first) out += ',';
                first = false;
                if (!appendString(out, it.key())) return false;
                out += ':';
                if (!appendValue(out, it.value())) return false;
            }
            out += '}';
            return true;
        }
        case Json::value_t::array: {
            out += '[';
            bool first = true;
            for (const auto& element : v) {
                if (!first) out += ',';
                first = false;
                if (!appendValue(out, element)) return false;
            }
            out += ']';
            return true;
        }
        case Json::value_t::string:
            return appendString(out, v.get_ref<const std::string&>());
        default:
            // Numbers, booleans and null print as the library prints them.
            out += v.dump();
            return true;
    }
}

}  // namespace

std::optional<std::string> serializeAnswer(const Json& value) {
    std::string out;
    if (!appendValue(out, value)) return std::nullopt;
    return out;
}

std::string serializeAnswerOrFallback(const Json& value) {
    auto text = serializeAnswer(value);
    return text ? std::move(*text) : std::string(kSerializationFailedAnswer);
}

std::string answerScript(std::string_view serialized) {
    std::string script;
    script.reserve(serialized.size() + 19);
    script += "window.qkResolve(";
    script += serialized;
    script += ");";
    return script;
}

}  // namespace qk::bridge
