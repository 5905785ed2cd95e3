// Drops files on a window the way a file manager does (the XDND protocol, version 5, offering
// text/uri-list), for the window checks.
//   xdnd_drop WINDOW_ID URI...
// Exits 0 once the target has taken the data and finished the drop, 1 on a timeout or error.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

Display* dpy;
Window source, target;

Atom atom(const char* name) { return XInternAtom(dpy, name, False); }

void sendMessage(const char* type, long l1, long l2, long l3, long l4) {
    XEvent e{};
    e.xclient = {ClientMessage, 0, False, dpy, target, atom(type), 32, {}};
    const long data[] = {long(source), l1, l2, l3, l4};
    for (int i = 0; i < 5; ++i) e.xclient.data.l[i] = data[i];
    XSendEvent(dpy, target, False, NoEventMask, &e);
    XFlush(dpy);
}

// Waits up to 5 s for an event; false on timeout.
bool nextEvent(XEvent& e) {
    for (int waited = 0; waited < 500 && !XPending(dpy); ++waited) usleep(10000);
    if (!XPending(dpy)) return false;
    XNextEvent(dpy, &e);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || !(dpy = XOpenDisplay(nullptr))) {
        std::fprintf(stderr, "usage: xdnd_drop WINDOW_ID URI... (with a display)\n");
        return 1;
    }
    target = Window(std::strtoul(argv[1], nullptr, 0));
    source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    std::string uris;
    for (int i = 2; i < argc; ++i) uris += std::string(argv[i]) + "\r\n";

    const Atom selection = atom("XdndSelection"), uriList = atom("text/uri-list");
    XSetSelectionOwner(dpy, selection, source, CurrentTime);
    sendMessage("XdndEnter", 5L << 24, long(uriList), 0, 0);
    sendMessage("XdndPosition", 0, (10L << 16) | 10L, CurrentTime, long(atom("XdndActionCopy")));

    bool dropped = false;
    XEvent e;
    while (nextEvent(e)) {
        if (e.type == ClientMessage && e.xclient.message_type == atom("XdndStatus") && !dropped) {
            if (!(e.xclient.data.l[1] & 1)) {
                std::fprintf(stderr, "xdnd_drop: the window refused the drop\n");
                return 1;
            }
            sendMessage("XdndDrop", 0, CurrentTime, 0, 0);
            dropped = true;
        } else if (e.type == SelectionRequest) {
            const XSelectionRequestEvent& r = e.xselectionrequest;
            XEvent reply{};
            reply.xselection = {SelectionNotify, 0,        False, dpy,   r.requestor,
                                r.selection,     r.target, None,  r.time};
            if (r.target == uriList) {
                XChangeProperty(dpy, r.requestor, r.property, uriList, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(uris.data()), int(uris.size()));
                reply.xselection.property = r.property;
            }
            XSendEvent(dpy, r.requestor, False, NoEventMask, &reply);
            XFlush(dpy);
        } else if (e.type == ClientMessage && e.xclient.message_type == atom("XdndFinished")) {
            return 0;
        }
    }
    std::fprintf(stderr, "xdnd_drop: timed out (%s)\n", dropped ? "after the drop" : "no status");
    return 1;
}
