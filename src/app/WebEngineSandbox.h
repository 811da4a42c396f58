#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// The web engine will not start its sandbox for the root user and then ends the process. So a
// client started as root turns the sandbox off first, unless the environment already did, and
// says so once. Everything here runs before the web engine starts.
class WebEngineSandbox {
public:
    static inline const QString kRootNotice =
        QStringLiteral("⚠️ 以 root 身份运行，已关闭 Web 引擎沙箱");

    // Whether the web engine's sandbox is off already: QTWEBENGINE_DISABLE_SANDBOX set (to
    // anything), or "--no-sandbox" among the QTWEBENGINE_CHROMIUM_FLAGS.
    static bool isTurnedOff(bool disableVariableSet, const QByteArray& chromiumFlags);
    static bool shouldTurnOff(uid_t effectiveUser, bool disableVariableSet,
                              const QByteArray& chromiumFlags);
    // For this process: sets QTWEBENGINE_DISABLE_SANDBOX and prints the notice when needed, and
    // says whether it did.
    static bool turnOffForRoot();
    // Whether `turnOffForRoot` did, so that the log can say so too.
    static bool wasTurnedOff();
};
