// A host built without GTK has no UI thread: the plug-ins run without windows.
#include "host/ui_thread.h"

namespace qkhost {

struct UiThread::State {};

UiThread::UiThread() : state_(std::make_unique<State>()) {}
UiThread::~UiThread() = default;
bool UiThread::start(std::string* error) {
    if (error) *error = "built without GTK";
    return false;
}
bool UiThread::running() const { return false; }
void UiThread::run(const std::function<void()>&) {}
void UiThread::runAfter(double, std::function<void()>) {}
void UiThread::stop() {}

}  // namespace qkhost
