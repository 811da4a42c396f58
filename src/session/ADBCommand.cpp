#include "session/ADBCommand.h"

ADBCommand ADBCommand::launchApp(const QString& packageName, const QString& activity) {
    return ADBCommand(Kind::launchApp, packageName, activity);
}

ADBCommand ADBCommand::custom(const QString& command) {
    return ADBCommand(Kind::custom, command);
}

QString ADBCommand::command() const {
    switch (m_kind) {
        case Kind::launchApp:
            return QStringLiteral("am start ") + m_first + QLatin1Char('/') + m_second;
        case Kind::custom:
            return m_first;
        case Kind::reboot:
            return QStringLiteral("reboot");
        case Kind::root:
            return QStringLiteral("root");
        case Kind::home:
            return QStringLiteral(
                "am start -W -c android.intent.category.HOME -a android.intent.action.MAIN");
        case Kind::keyEventHome:
            return QStringLiteral("input keyevent 3");
        case Kind::keyEventBack:
            return QStringLiteral("input keyevent 4");
        case Kind::keyEventBrowser:
            return QStringLiteral("input keyevent 64");
        case Kind::launchDocumentApp:
            return QStringLiteral(
                "am start com.google.android.apps.nbu.files/"
                "com.google.android.apps.nbu.files.home.HomeActivity");
    }
    return {};
}
