#pragma once

// Whether the client has somewhere to show its windows. Without a display Qt ends the process
// with an abort and a message that names no cause, so main() asks here first, before the
// application object is made.
namespace DisplayAvailability {

// True when there is a desktop session (DISPLAY or WAYLAND_DISPLAY) or a platform chosen with
// QT_QPA_PLATFORM or Qt's "-platform" argument. Otherwise prints one line that says what is
// missing and how to run the client, and returns false.
bool check(int argc, char* argv[]);

}  // namespace DisplayAvailability
