#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

// One key as the user pressed it.
struct CapturedKey {
    quint16 keyCode = 0;  // macOS key code
    std::optional<int> windowsKey;
    QString displayName;

    bool operator==(const CapturedKey&) const = default;

    // "w" and the Windows key when there is one, else "m" and the macOS key code.
    QString token() const;
};

QSet<QString> keyTokens(const QList<CapturedKey>& keys);
// The keys' tokens sorted and joined with "+": equal for the same keys in any order.
QString keySignature(const QList<CapturedKey>& keys);
