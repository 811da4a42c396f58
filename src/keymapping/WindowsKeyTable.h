#pragma once

#include <QList>
#include <QString>

#include <optional>

// A Windows virtual-key code's name as markers show it, and the macOS key code that types it.
struct WindowsKeyName {
    QString name;
    std::optional<quint16> macKeyCode;

    bool operator==(const WindowsKeyName&) const = default;
};

// The keys that plan files name by Windows virtual-key code, with their display names and the
// macOS key codes that stay the persisted key identity. Mouse buttons and the wheel are pseudo
// keys without a macOS code. Built once, read-only afterwards, safe on any thread.
class WindowsKeyTable {
public:
    struct Row {
        int windowsKey;
        QString name;
        std::optional<quint16> macKeyCode;
    };

    static const QList<Row>& rows();

    // A row's name and code; otherwise the letter or digit with that character code, or "VK"
    // and the number, without a macOS code.
    static WindowsKeyName windowsKeyName(int windowsKey);
    // The name trimmed of white space; "VK" and the number when nothing is left.
    static QString windowsKeyDisplayName(int windowsKey);
    static std::optional<int> windowsKeyForMacKeyCode(quint16 macKeyCode);
};
