#pragma once

// The X server's repeat of a held key. By default it repeats with a release and a press at one
// instant; XKB lets each client ask for presses alone ("detectable auto-repeat"), which servers
// may refuse.
namespace X11AutoRepeat {

// Asks the X server of the running application, the first time, to repeat held keys with
// presses alone; true when the application is on X and the server agreed. GUI thread only.
bool repeatWithPressesOnly();

}  // namespace X11AutoRepeat
