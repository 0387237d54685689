// The monitor layout text of QK_MONITORS, read the same way on every platform.
#include <charconv>
#include <climits>

#include "platform/monitors.h"

namespace qk::platform {
namespace {

// A decimal number at the front of `text`, which is advanced past it.
std::optional<long long> takeNumber(std::string_view& text, bool allowSign) {
    bool negative = false;
    if (allowSign && !text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || value > INT_MAX / 2) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return negative ? -value : value;
}

std::optional<MonitorInfo> parseEntry(std::string_view text) {
    const auto width = takeNumber(text, false);
    if (!width || *width <= 0 || text.empty() || text.front() != 'x') return std::nullopt;
    text.remove_prefix(1);
    const auto height = takeNumber(text, false);
    if (!height || *height <= 0 || text.empty() || (text.front() != '+' && text.front() != '-')) return std::nullopt;
    const auto x = takeNumber(text, true);
    if (!x || text.empty() || (text.front() != '+' && text.front() != '-')) return std::nullopt;
    const auto y = takeNumber(text, true);
    if (!y || !text.empty()) return std::nullopt;
    MonitorInfo m;
    m.left = static_cast<int>(*x);
    m.top = static_cast<int>(*y);
    m.right = static_cast<int>(*x + *width);
    m.bottom = static_cast<int>(*y + *height);
    return m;
}

}  // namespace

std::optional<std::vector<MonitorInfo>> parseMonitorLayout(std::string_view text) {
    std::vector<MonitorInfo> out;
    while (!text.empty()) {
        const std::size_t cut = text.find(';');
        const auto entry = parseEntry(text.substr(0, cut));
        if (!entry) return std::nullopt;
        out.push_back(*entry);
        out.back().primary = out.size() == 1;
        out.back().deviceName = "layout-" + std::to_string(out.size());
        if (cut == std::string_view::npos) break;
        text.remove_prefix(cut + 1);
    }
    if (out.empty()) return std::nullopt;
    return out;
}

}  // namespace qk::platform
