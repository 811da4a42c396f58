#include "app/DisplayAvailability.h"

#include "foundation/logging/ConsoleOutput.h"

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cstring>

namespace DisplayAvailability {

namespace {

// Qt reads "-platform <name>", and the same with two dashes, from the command line.
bool choosesPlatform(int argc, char* argv[]) {
    for (int index = 1; index + 1 < argc; ++index) {
        if (std::strcmp(argv[index], "-platform") == 0 ||
            std::strcmp(argv[index], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool check(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || choosesPlatform(argc, argv)) {
        return true;
    }
    const QString program =
        argc > 0 ? QFile::decodeName(argv[0]) : QStringLiteral("brisca-cloudphone");
    ConsoleOutput::print(
        QStringLiteral("❌ 没有可用的显示：DISPLAY、WAYLAND_DISPLAY 和 QT_QPA_PLATFORM 都未设置。"
                       "请在桌面会话中启动，或用 xvfb-run 在虚拟显示上运行：xvfb-run -a ") +
        program);
    return false;
}

}  // namespace DisplayAvailability
