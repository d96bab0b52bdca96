// The little of a window manager that the window checks need, on a display that runs none:
//   wm_stub atoms       creates the atoms every window manager creates (WM_PROTOCOLS,
//                       WM_DELETE_WINDOW, ...) and stays connected until it is ended, so the
//                       display keeps them. JUCE only uses these atoms when they already exist.
//   wm_stub close WID   asks a window to close as a window manager does: WM_DELETE_WINDOW.
#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
    int usage()
    {
        std::fprintf (stderr, "usage: wm_stub atoms | wm_stub close WINDOW-ID\n");
        return 2;
    }

    int holdAtoms (Display* display)
    {
        const char* names[] = { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "WM_STATE", "WM_CHANGE_STATE",
                                "_NET_WM_PING", "_NET_WM_ICON", "_NET_WM_NAME", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN",
                                "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_PID", "_NET_FRAME_EXTENTS",
                                "_NET_ACTIVE_WINDOW", "_MOTIF_WM_HINTS", "UTF8_STRING" };

        for (auto* name : names)
            XInternAtom (display, name, False);

        XSync (display, False);
        std::printf ("ready\n");
        std::fflush (stdout);

        for (;;)
            pause();
    }

    int close (Display* display, const char* windowId)
    {
        XEvent event {};
        event.xclient.type = ClientMessage;
        event.xclient.window = std::strtoul (windowId, nullptr, 0);
        event.xclient.message_type = XInternAtom (display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long)XInternAtom (display, "WM_DELETE_WINDOW", False);
        event.xclient.data.l[1] = CurrentTime;

        const Status sent = XSendEvent (display, event.xclient.window, False, NoEventMask, &event);
        XSync (display, False);
        return sent != 0 ? 0 : 1;
    }
}

int main (int argc, char** argv)
{
    const bool atoms = argc == 2 && std::strcmp (argv[1], "atoms") == 0;
    const bool closing = argc == 3 && std::strcmp (argv[1], "close") == 0;

    if (! atoms && ! closing)
        return usage();

    Display* display = XOpenDisplay (nullptr);

    if (display == nullptr)
    {
        std::fprintf (stderr, "wm_stub: cannot open the display\n");
        return 2;
    }

    const int result = atoms ? holdAtoms (display) : close (display, argv[2]);
    XCloseDisplay (display);
    return result;
}
