#include "foundation/concurrency/ProcessSignals.h"

#include <csignal>

namespace ProcessSignals {

void ignoreBrokenPipe() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace ProcessSignals
