// For tests that drive the built plug-in's real windows under Xvfb: this thread
// is the UI thread and pumps the GLib main loop itself.
#pragma once

#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

namespace qktest {

inline bool pumpUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Runs a script in the web view that fills `window` and returns its result as JSON.
inline std::optional<std::string> pageEval(void* window, const std::string& script) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(window));
    if (child == nullptr || !WEBKIT_IS_WEB_VIEW(child)) return std::nullopt;
    struct Result {
        bool done = false;
        std::optional<std::string> json;
    } result;
    webkit_web_view_evaluate_javascript(
        WEBKIT_WEB_VIEW(child), script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* res, gpointer data) {
            auto* r = static_cast<Result*>(data);
            r->done = true;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, nullptr);
            if (value == nullptr) return;
            gchar* text = jsc_value_to_json(value, 0);
            if (text != nullptr) r->json = text;
            g_free(text);
            g_object_unref(value);
        },
        &result);
    pumpUntil([&] { return result.done; }, 10);
    return result.json;
}

inline int countOccurrences(const std::string& text, const std::string& needle) {
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// The web engine's helper processes that are children of this process.
inline int webProcessChildren() {
    int n = 0;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = readFile(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        const auto open = stat.find('(');
        const std::string name = stat.substr(open + 1, close - open - 1);
        // "pid (comm) state ppid ..."
        const std::string rest = stat.substr(close + 4);
        const std::string ppid = rest.substr(0, rest.find(' '));
        if (ppid == self && name.rfind("WebKit", 0) == 0) ++n;
    }
    return n;
}

// The top-level windows of this process with this title.
inline int toplevelsTitled(const std::string& title) {
    int n = 0;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l != nullptr; l = l->next) {
        const char* t = gtk_window_get_title(GTK_WINDOW(l->data));
        if (t != nullptr && title == t) ++n;
    }
    g_list_free(all);
    return n;
}

}  // namespace qktest
