#include "platform/X11Clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <time.h>

#include <cstring>

struct X11Clipboard::State {
    Display* display = nullptr;
    Window window = 0;
    Atom clipboard = None, targets = None, utf8 = None, property = None;
    std::string text;
    bool owner = false;
};

namespace {

uint64_t nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000;
}

}  // namespace

X11Clipboard::X11Clipboard() : state_(new State) {
    State& s = *state_;
    s.display = XOpenDisplay(nullptr);
    if (!s.display) return;
    s.window = XCreateSimpleWindow(s.display, DefaultRootWindow(s.display), 0, 0, 1, 1, 0, 0, 0);
    s.clipboard = XInternAtom(s.display, "CLIPBOARD", False);
    s.targets = XInternAtom(s.display, "TARGETS", False);
    s.utf8 = XInternAtom(s.display, "UTF8_STRING", False);
    s.property = XInternAtom(s.display, "BLEEPFORGE_CLIPBOARD", False);
}

X11Clipboard::~X11Clipboard() {
    if (state_->display) {
        XDestroyWindow(state_->display, state_->window);
        XCloseDisplay(state_->display);
    }
    delete state_;
}

bool X11Clipboard::putText(const std::string& text) {
    State& s = *state_;
    if (!s.display) return false;
    s.text = text;
    XSetSelectionOwner(s.display, s.clipboard, s.window, CurrentTime);
    s.owner = XGetSelectionOwner(s.display, s.clipboard) == s.window;
    XFlush(s.display);
    return s.owner;
}

namespace {

// Answers a request for our text, or notes that another program took the clipboard.
void handleEvent(X11Clipboard::State& s, const XEvent& e) {
    if (e.type == SelectionClear && e.xselectionclear.selection == s.clipboard) {
        s.owner = false;
        return;
    }
    if (e.type != SelectionRequest) return;
    const XSelectionRequestEvent& r = e.xselectionrequest;
    XEvent reply;
    std::memset(&reply, 0, sizeof reply);
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = s.display;
    reply.xselection.requestor = r.requestor;
    reply.xselection.selection = r.selection;
    reply.xselection.target = r.target;
    reply.xselection.time = r.time;
    reply.xselection.property = None;
    // Old clients name no property: the target then serves as the property.
    const Atom property = r.property != None ? r.property : r.target;
    if (s.owner && r.selection == s.clipboard) {
        if (r.target == s.targets) {
            const Atom offered[3] = {s.targets, s.utf8, XA_STRING};
            XChangeProperty(s.display, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 3);
            reply.xselection.property = property;
        } else if (r.target == s.utf8 || r.target == XA_STRING) {
            XChangeProperty(s.display, r.requestor, property, r.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(s.text.data()), int(s.text.size()));
            reply.xselection.property = property;
        }
    }
    XSendEvent(s.display, r.requestor, False, NoEventMask, &reply);
}

}  // namespace

void X11Clipboard::serveRequests() {
    State& s = *state_;
    if (!s.display) return;
    while (XPending(s.display)) {
        XEvent e;
        XNextEvent(s.display, &e);
        handleEvent(s, e);
    }
    XFlush(s.display);
}

bool X11Clipboard::getText(std::string& text) {
    State& s = *state_;
    if (!s.display) return false;
    serveRequests();  // a SelectionClear may be waiting
    if (s.owner) {
        text = s.text;
        return true;
    }
    if (XGetSelectionOwner(s.display, s.clipboard) == None) return false;
    for (Atom target : {s.utf8, Atom(XA_STRING)}) {
        XDeleteProperty(s.display, s.window, s.property);
        XConvertSelection(s.display, s.clipboard, target, s.property, s.window, CurrentTime);
        XFlush(s.display);
        const uint64_t deadline = nowMs() + 1000;
        bool answered = false, refused = false;
        while (!answered && nowMs() < deadline) {
            if (!XPending(s.display)) {
                pollfd fd{ConnectionNumber(s.display), POLLIN, 0};
                poll(&fd, 1, 10);
                continue;
            }
            XEvent e;
            XNextEvent(s.display, &e);
            if (e.type == SelectionNotify && e.xselection.requestor == s.window) {
                answered = true;
                refused = e.xselection.property == None;
            } else {
                handleEvent(s, e);
                XFlush(s.display);
            }
        }
        if (!answered || refused) continue;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        // Texts up to 1 MiB; a larger one would come piecewise (INCR), which is not asked for.
        const bool ok = XGetWindowProperty(s.display, s.window, s.property, 0, 262144, True, AnyPropertyType,
                                           &type, &format, &count, &remaining, &data) == Success &&
                        data && format == 8 && (type == s.utf8 || type == XA_STRING);
        if (ok) text.assign(reinterpret_cast<char*>(data), count);
        if (data) XFree(data);
        if (ok) return true;
    }
    return false;
}
