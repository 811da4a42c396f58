#pragma once

// Whether the client has somewhere to show its windows. When no display Qt tries can be opened,
// Qt ends the process with an abort and advice to reinstall it, which names no cause; so main()
// asks here first, before the application object is made.
namespace DisplayAvailability {

// True when a platform is chosen with QT_QPA_PLATFORM or Qt's "-platform" argument (left to Qt),
// or when a display Qt would try can be opened: Qt tries a Wayland display first when
// WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is "wayland", then the X display (Qt's "-display"
// argument, else DISPLAY). Otherwise prints one line on standard error that names what was tried
// and how to run the client without a desktop, and returns false. When the Wayland display
// cannot be opened but the X display can, it tells Qt to use X for this process, so that Qt does
// not try Wayland first and say it failed.
bool check(int argc, char* argv[]);

}  // namespace DisplayAvailability
