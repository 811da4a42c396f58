// Starts crash reporting with crash capture, records some context and aborts.
#include "foundation/crashreporting/LocalCrashReportClient.h"

#include <QCoreApplication>

#include <cstdlib>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    LocalCrashReportClient client({QString::fromLocal8Bit(argv[1]), true, 100, 30});
    client.start({{}, QStringLiteral("child@1"), QStringLiteral("release"), false});
    client.configureScope([](CrashReportScope& scope) { scope.setTag("7", "user_id"); });
    client.setUser(CrashReportUser{"7", std::nullopt, std::nullopt});
    client.addBreadcrumb({"app", "opened", CrashReportLevel::info, std::nullopt});
    client.addBreadcrumb({"app", "about to fail", CrashReportLevel::warning, std::nullopt});
    std::abort();
}
