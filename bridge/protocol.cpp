#include "bridge/protocol.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Length of the leading run that is copied as it stands: printable ASCII other
// than a quote or a backslash. Sixteen bytes at a time where the processor has
// the vector instructions every x86-64 machine has.
inline size_t plainRun(const unsigned char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i below = _mm_set1_epi8(0x20);  // signed: bytes from 0x80 up count as below too
    const __m128i del = _mm_set1_epi8(0x7F);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i slash = _mm_set1_epi8('\\');
    while (i + 16 <= n) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(x, below), _mm_cmpeq_epi8(x, del)),
                                             _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, slash)));
        const int mask = _mm_movemask_epi8(special);
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    while (i < n && p[i] >= 0x20 && p[i] < 0x7F && p[i] != '"' && p[i] != '\\') ++i;
    return i;
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
        const size_t run = i + plainRun(p + i, n - i);
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

std::string answerScriptFor(const Json& response) {
    std::string script;
    if (const auto it = response.find("result"); it != response.end() && it->is_string())
        script.reserve(it->get_ref<const std::string&>().size() + 256);
    script += "window.qkResolve(";
    if (!appendValue(script, response)) return answerScript(kSerializationFailedAnswer);
    script += ");";
    return script;
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
