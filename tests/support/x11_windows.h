// The top-level windows of the test's X server, found by title. Include after
// gtest: the X11 headers define macros (None) that gtest must not see.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace qktest {

// A mapped top-level window with this title; 0 when there is none. (A toolkit
// may keep unmapped windows of the same title, which cannot take the focus.)
inline ::Window viewableWindowNamed(Display* x, const std::string& title) {
    ::Window root = 0, parent = 0, found = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count) == 0) return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(x, children[i], &attributes) == 0 || attributes.map_state != IsViewable) continue;
        char* name = nullptr;
        if (XFetchName(x, children[i], &name) != 0 && name != nullptr) {
            if (title == name) found = children[i];
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace qktest
