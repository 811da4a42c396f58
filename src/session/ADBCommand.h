#pragma once

#include <QString>

// A shell command for a device.
class ADBCommand {
public:
    enum class Kind {
        launchApp,
        custom,
        reboot,
        root,
        home,
        keyEventHome,
        keyEventBack,
        keyEventBrowser,
        launchDocumentApp,
    };

    static ADBCommand launchApp(const QString& packageName, const QString& activity);
    static ADBCommand custom(const QString& command);
    static ADBCommand reboot() { return ADBCommand(Kind::reboot); }
    static ADBCommand root() { return ADBCommand(Kind::root); }
    static ADBCommand home() { return ADBCommand(Kind::home); }
    static ADBCommand keyEventHome() { return ADBCommand(Kind::keyEventHome); }
    static ADBCommand keyEventBack() { return ADBCommand(Kind::keyEventBack); }
    static ADBCommand keyEventBrowser() { return ADBCommand(Kind::keyEventBrowser); }
    static ADBCommand launchDocumentApp() { return ADBCommand(Kind::launchDocumentApp); }

    Kind kind() const { return m_kind; }
    // The shell text sent to the device.
    QString command() const;

    bool operator==(const ADBCommand&) const = default;

private:
    explicit ADBCommand(Kind kind, QString first = {}, QString second = {})
        : m_kind(kind), m_first(std::move(first)), m_second(std::move(second)) {}

    Kind m_kind;
    QString m_first;
    QString m_second;
};
