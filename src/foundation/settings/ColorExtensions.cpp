#include "foundation/settings/ColorExtensions.h"

#include "foundation/text/HexDigits.h"

#include <cstdint>
#include <optional>

namespace {

QColor transparentColor() {
    return QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.0f);
}

// Reads hexadecimal digits from the start as far as they go; nothing when there is none.
std::optional<std::uint64_t> scanHexPrefix(const QString& text) {
    std::uint64_t value = 0;
    int digits = 0;
    for (QChar c : text) {
        const int digit = HexDigits::digitValue(c);
        if (digit < 0) {
            break;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return value;
}

float component(std::uint64_t value, int shift) {
    return static_cast<float>((value >> shift) & 0xFF) / 255.0f;
}

}  // namespace

QColor colorFromHex(const QString& text, double alpha) {
    QString hex = text.trimmed();
    hex.remove(QLatin1Char('#'));
    hex.remove(QStringLiteral("0x"), Qt::CaseInsensitive);

    if (hex.size() == 3 || hex.size() == 4) {
        QString doubled;
        for (QChar c : hex) {
            doubled += c;
            doubled += c;
        }
        hex = doubled;
    } else if (hex.size() != 6 && hex.size() != 8) {
        return transparentColor();
    }

    const std::optional<std::uint64_t> value = scanHexPrefix(hex);
    if (!value) {
        return transparentColor();
    }
    if (hex.size() == 8) {
        return QColor::fromRgbF(component(*value, 24), component(*value, 16), component(*value, 8),
                                component(*value, 0));
    }
    return QColor::fromRgbF(component(*value, 16), component(*value, 8), component(*value, 0),
                            static_cast<float>(alpha));
}
