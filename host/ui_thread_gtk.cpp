#include <gtk/gtk.h>

#include <cstdio>
#include <future>
#include <thread>

#include "host/ui_thread.h"

namespace qkhost {

struct UiThread::State {
    std::thread thread;
    GMainLoop* loop = nullptr;
    bool running = false;
};

namespace {

struct Call {
    std::function<void()> fn;
    std::promise<void> done;
};

gboolean runCall(gpointer data) {
    auto* call = static_cast<Call*>(data);
    try {
        call->fn();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qkhost: UI call failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "qkhost: UI call failed\n");
    }
    call->done.set_value();
    return G_SOURCE_REMOVE;
}

}  // namespace

UiThread::UiThread() : state_(std::make_unique<State>()) {}
UiThread::~UiThread() { stop(); }

bool UiThread::start(std::string* error) {
    if (state_->running) return true;
    std::promise<bool> opened;
    auto openedFuture = opened.get_future();
    state_->loop = g_main_loop_new(nullptr, FALSE);
    state_->thread = std::thread([this, &opened] {
        if (gtk_init_check(nullptr, nullptr) == FALSE) {
            opened.set_value(false);
            return;
        }
        // Told from inside the loop: once start() returns, this thread owns the
        // default main context, so no call ever runs on the caller's thread.
        g_idle_add(
            [](gpointer p) -> gboolean {
                static_cast<std::promise<bool>*>(p)->set_value(true);
                return G_SOURCE_REMOVE;
            },
            &opened);
        g_main_loop_run(state_->loop);
        // What is still queued (answers to a page that is gone) is let go here.
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    });
    if (!openedFuture.get()) {
        state_->thread.join();
        g_main_loop_unref(state_->loop);
        state_->loop = nullptr;
        if (error) *error = "cannot open the display";
        return false;
    }
    state_->running = true;
    return true;
}

bool UiThread::running() const { return state_->running; }

void UiThread::run(const std::function<void()>& fn) {
    if (!state_->running) return;
    Call call{fn, {}};
    auto done = call.done.get_future();
    g_main_context_invoke(nullptr, &runCall, &call);
    done.wait();
}

void UiThread::runAfter(double seconds, std::function<void()> fn) {
    if (!state_->running) return;
    auto* heap = new std::function<void()>(std::move(fn));
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(seconds * 1000),
        [](gpointer data) -> gboolean {
            try {
                (*static_cast<std::function<void()>*>(data))();
            } catch (...) {
                std::fprintf(stderr, "qkhost: UI call failed\n");
            }
            return G_SOURCE_REMOVE;
        },
        heap, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

void UiThread::stop() {
    if (!state_->running) return;
    state_->running = false;
    g_main_loop_quit(state_->loop);
    state_->thread.join();
    g_main_loop_unref(state_->loop);
    state_->loop = nullptr;
}

}  // namespace qkhost
