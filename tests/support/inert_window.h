// A window that does nothing: the base of the doubles that stand for a window
// where the code under test asks only one or two things of it.
#pragma once

#include <memory>
#include <vector>

#include "platform/window.h"

namespace qktest {

class InertWindow : public qk::platform::Window {
public:
    void* nativeHandle() const override { return nullptr; }
    void setEvents(qk::platform::WindowEvents*) override {}
    void show(bool) override {}
    void hide() override {}
    bool isVisible() const override { return false; }
    bool isEmbedded() const override { return false; }
    bool isForeground() const override { return false; }
    void bringToForeground() override {}
    qk::platform::WindowRect normalRect() const override { return {}; }
    void setNormalRect(const qk::platform::WindowRect&) override {}
    bool isMaximised() const override { return false; }
    bool isMinimised() const override { return false; }
    bool isOnAnyMonitor() const override { return true; }
    void showWithoutFocus() override {}
    void placeOnTop(const qk::platform::WindowRect&) override {}
    void keepOnTop() override {}
    void startTimer(int, unsigned) override {}
    void stopTimer(int) override {}
    bool registerHotkey(int, unsigned, unsigned) override { return false; }
    void unregisterHotkey(int) override {}
    std::shared_ptr<qk::platform::PostTarget> postTarget() override { return nullptr; }
    std::vector<std::unique_ptr<qk::platform::PostedRecord>> drainPosted(int) override { return {}; }
};

}  // namespace qktest
