#pragma once

#include <QString>

class KXEncryptionUtil {
public:
    // MD5 of the text's UTF-8 bytes as 32 lower-case hexadecimal digits.
    static QString md5Hex(const QString& text);
};
