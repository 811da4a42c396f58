#include "keymapping/KeyToken.h"

std::optional<QString> keyToken(std::optional<int> windowsKey, std::optional<quint16> macKeyCode) {
    if (windowsKey && *windowsKey >= 1) {
        return QLatin1Char('w') + QString::number(*windowsKey);
    }
    if (macKeyCode) {
        return QLatin1Char('m') + QString::number(*macKeyCode);
    }
    return std::nullopt;
}

QSet<QString> keyTokenSet(const std::optional<QString>& first,
                          const std::optional<QString>& second) {
    QSet<QString> tokens;
    if (first) {
        tokens.insert(*first);
    }
    if (second) {
        tokens.insert(*second);
    }
    return tokens;
}
