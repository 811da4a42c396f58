#include "keymapping/CapturedKey.h"

#include <QStringList>

QString CapturedKey::token() const {
    return windowsKey ? QLatin1Char('w') + QString::number(*windowsKey)
                      : QLatin1Char('m') + QString::number(keyCode);
}

QSet<QString> keyTokens(const QList<CapturedKey>& keys) {
    QSet<QString> tokens;
    for (const CapturedKey& key : keys) {
        tokens.insert(key.token());
    }
    return tokens;
}

QString keySignature(const QList<CapturedKey>& keys) {
    QStringList tokens;
    for (const CapturedKey& key : keys) {
        tokens.append(key.token());
    }
    tokens.sort();
    return tokens.join(QLatin1Char('+'));
}
