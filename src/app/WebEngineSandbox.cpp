#include "app/WebEngineSandbox.h"

#include "foundation/logging/ConsoleOutput.h"

#include <QtGlobal>

#include <unistd.h>

namespace {

constexpr char kDisableVariable[] = "QTWEBENGINE_DISABLE_SANDBOX";
constexpr char kFlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";

bool g_turnedOff = false;

}  // namespace

bool WebEngineSandbox::isTurnedOff(bool disableVariableSet, const QByteArray& chromiumFlags) {
    return disableVariableSet || chromiumFlags.simplified().split(' ').contains("--no-sandbox");
}

bool WebEngineSandbox::shouldTurnOff(uid_t effectiveUser, bool disableVariableSet,
                                     const QByteArray& chromiumFlags) {
    return effectiveUser == 0 && !isTurnedOff(disableVariableSet, chromiumFlags);
}

bool WebEngineSandbox::turnOffForRoot() {
    if (!shouldTurnOff(::geteuid(), qEnvironmentVariableIsSet(kDisableVariable),
                       qgetenv(kFlagsVariable))) {
        return false;
    }
    qputenv(kDisableVariable, "1");
    ConsoleOutput::print(kRootNotice);
    g_turnedOff = true;
    return true;
}

bool WebEngineSandbox::wasTurnedOff() {
    return g_turnedOff;
}
