#include "foundation/storage/KXEncryptionUtil.h"

#include <QCryptographicHash>

QString KXEncryptionUtil::md5Hex(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}
