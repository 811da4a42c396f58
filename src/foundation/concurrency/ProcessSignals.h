#pragma once

// Signals whose default action would end the process where a failed call is the answer wanted.
namespace ProcessSignals {

// At start-up, before any thread is made: a write to a connection whose peer has gone fails with
// EPIPE instead of ending the process. A file sent to a socket (sendfile) has no per-call flag
// for this, so a peer that resets its connection in the middle of a reply would otherwise end
// the client. Programs started from the process get the default action back (QProcess restores
// it in the child).
void ignoreBrokenPipe();

}  // namespace ProcessSignals
