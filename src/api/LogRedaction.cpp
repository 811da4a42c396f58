#include "api/LogRedaction.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <array>

namespace {

// Lower case, without "_", "-" and ".": "Security-Token" and "security_token" are one key.
QString normalisedKey(QStringView key) {
    QString normal;
    normal.reserve(key.size());
    for (const QChar character : key) {
        if (character != QLatin1Char('_') && character != QLatin1Char('-') &&
            character != QLatin1Char('.')) {
            normal += character.toLower();
        }
    }
    return normal;
}

// The text a JSON string token stands for (quotes removed, escapes resolved), enough to match
// keys written with escapes such as "\u0074oken".
QString decodedString(QStringView token) {
    QString decoded;
    const qsizetype end =
        token.size() > 1 && token.endsWith(u'"') ? token.size() - 1 : token.size();
    for (qsizetype i = 1; i < end; ++i) {
        QChar character = token[i];
        if (character == QLatin1Char('\\') && i + 1 < end) {
            const QChar escaped = token[++i];
            if (escaped == QLatin1Char('u') && i + 4 < end) {
                bool ok = false;
                const ushort code = token.mid(i + 1, 4).toUShort(&ok, 16);
                if (ok) {
                    character = QChar(code);
                    i += 4;
                }
            } else {
                character = escaped;
            }
        }
        decoded += character;
    }
    return decoded;
}

// End of the string token starting with the quote at `start` (one past the closing quote, or
// the end of the text when it is never closed).
qsizetype stringEnd(const QString& text, qsizetype start) {
    for (qsizetype i = start + 1; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\')) {
            ++i;
        } else if (text[i] == QLatin1Char('"')) {
            return i + 1;
        }
    }
    return text.size();
}

bool isBareWordCharacter(QChar character) {
    return character.isLetterOrNumber() || character == QLatin1Char('+') ||
           character == QLatin1Char('-') || character == QLatin1Char('.');
}

struct Frame {
    bool isObject = false;
    bool masking = false;     // every value inside is a credential's
    bool expectsKey = false;  // in an object: the next string is a key
};

}  // namespace

bool LogRedaction::isCredentialKey(QStringView key) {
    static const std::array<QString, 14> exact = {
        QStringLiteral("token"),      QStringLiteral("sign"),       QStringLiteral("password"),
        QStringLiteral("passwd"),     QStringLiteral("pwd"),        QStringLiteral("secret"),
        QStringLiteral("ak"),         QStringLiteral("sk"),         QStringLiteral("authorization"),
        QStringLiteral("cookie"),     QStringLiteral("credential"), QStringLiteral("credentials"),
        QStringLiteral("authparams"), QStringLiteral("authparam"),
    };
    // "securitytoken", "accesstoken", "usertoken", "clientsecret", "secretaccesskey", …
    static const std::array<QString, 8> endings = {
        QStringLiteral("token"),     QStringLiteral("secret"),     QStringLiteral("password"),
        QStringLiteral("passwd"),    QStringLiteral("signature"),  QStringLiteral("accesskey"),
        QStringLiteral("secretkey"), QStringLiteral("privatekey"),
    };
    const QString normal = normalisedKey(key);
    return std::ranges::find(exact, normal) != exact.end() ||
           std::ranges::any_of(
               endings, [&normal](const QString& ending) { return normal.endsWith(ending); });
}

bool LogRedaction::isPersonalKey(QStringView key) {
    // Whole names only: "isbindphone" is a flag, "devicename" no one's name.
    static const std::array<QString, 13> names = {
        QStringLiteral("phone"),    QStringLiteral("mobile"),       QStringLiteral("phonenumber"),
        QStringLiteral("phoneno"),  QStringLiteral("mobilephone"),  QStringLiteral("telephone"),
        QStringLiteral("realname"), QStringLiteral("cardid"),       QStringLiteral("idcard"),
        QStringLiteral("idcardno"), QStringLiteral("idcardnumber"), QStringLiteral("idno"),
        QStringLiteral("idnumber"),
    };
    return std::ranges::find(names, normalisedKey(key)) != names.end();
}

bool LogRedaction::isHiddenKey(QStringView key) {
    return isCredentialKey(key) || isPersonalKey(key);
}

QString LogRedaction::maskedJson(const QString& text) {
    const QString maskedText = QLatin1Char('"') + kMask.toString() + QLatin1Char('"');
    QString out;
    out.reserve(text.size());
    QList<Frame> frames;
    bool nextValueMasked = false;  // set by a credential key until its value has passed
    const auto valueMasked = [&] {
        return nextValueMasked || (!frames.isEmpty() && frames.last().masking);
    };

    qsizetype i = 0;
    while (i < text.size()) {
        const QChar character = text[i];
        if (character == QLatin1Char('"')) {
            const qsizetype end = stringEnd(text, i);
            const QStringView token = QStringView(text).sliced(i, end - i);
            if (!frames.isEmpty() && frames.last().isObject && frames.last().expectsKey) {
                frames.last().expectsKey = false;
                nextValueMasked = frames.last().masking || isHiddenKey(decodedString(token));
                out += token;
            } else {
                out += valueMasked() ? QStringView(maskedText) : token;
                nextValueMasked = false;
            }
            i = end;
            continue;
        }
        if (character == QLatin1Char('{') || character == QLatin1Char('[')) {
            const bool isObject = character == QLatin1Char('{');
            frames.append(Frame{isObject, valueMasked(), isObject});
            nextValueMasked = false;
        } else if (character == QLatin1Char('}') || character == QLatin1Char(']')) {
            if (!frames.isEmpty()) {
                frames.removeLast();
            }
            nextValueMasked = false;
        } else if (character == QLatin1Char(',')) {
            if (!frames.isEmpty() && frames.last().isObject) {
                frames.last().expectsKey = true;
            }
            nextValueMasked = false;
        } else if (isBareWordCharacter(character)) {
            qsizetype end = i;
            while (end < text.size() && isBareWordCharacter(text[end])) {
                ++end;
            }
            const QStringView word = QStringView(text).sliced(i, end - i);
            // true, false and null say nothing secret; numbers may be the secret itself.
            const bool isNumber = character.isDigit() || character == QLatin1Char('-') ||
                                  character == QLatin1Char('+') || character == QLatin1Char('.');
            out += valueMasked() && isNumber ? QStringView(maskedText) : word;
            nextValueMasked = false;
            i = end;
            continue;
        }
        out += character;
        ++i;
    }
    return out;
}

QJsonValue LogRedaction::maskedValue(const QJsonValue& value, bool wholly) {
    switch (value.type()) {
        case QJsonValue::String: {
            if (wholly) {
                return kMask.toString();
            }
            const QString text = value.toString();
            const QString trimmed = text.trimmed();
            return trimmed.startsWith(QLatin1Char('{')) || trimmed.startsWith(QLatin1Char('['))
                       ? maskedJson(text)
                       : text;
        }
        case QJsonValue::Double:
            return wholly ? QJsonValue(kMask.toString()) : value;
        case QJsonValue::Array: {
            QJsonArray items;
            for (const QJsonValue& item : value.toArray()) {
                items.append(maskedValue(item, wholly));
            }
            return items;
        }
        case QJsonValue::Object: {
            QJsonObject object = value.toObject();
            const QJsonValue settingKey = object.value(QStringLiteral("key"));
            const bool settingIsHidden =
                settingKey.isString() && isHiddenKey(settingKey.toString());
            for (auto it = object.begin(); it != object.end(); ++it) {
                const bool hidden = wholly || isHiddenKey(it.key()) ||
                                    (settingIsHidden && it.key() == QLatin1String("value"));
                it.value() = maskedValue(it.value(), hidden);
            }
            return object;
        }
        case QJsonValue::Null:
        case QJsonValue::Bool:
        case QJsonValue::Undefined:
            break;
    }
    return value;
}

QJsonValue LogRedaction::maskedField(QStringView key, const QJsonValue& value) {
    return maskedValue(value, isHiddenKey(key));
}

QString LogRedaction::maskedQuery(const QString& text) {
    static const QRegularExpression pair(QStringLiteral("([?&])([^=&#?\\s]+)=([^&#\\s]*)"));
    QString out;
    qsizetype copied = 0;
    QRegularExpressionMatchIterator matches = pair.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (match.capturedLength(3) == 0 || !isHiddenKey(match.capturedView(2))) {
            continue;
        }
        out += QStringView(text).sliced(copied, match.capturedStart(3) - copied);
        out += kMask;
        copied = match.capturedEnd(3);
    }
    out += QStringView(text).sliced(copied);
    return out;
}

QString LogRedaction::textLength(QStringView text) {
    qsizetype characters = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    while (finder.toNextBoundary() > 0) {
        ++characters;
    }
    return QStringLiteral("<%1 chars>").arg(characters);
}

bool LogRedaction::isTypedText(QStringView characters) {
    return !characters.isEmpty() && std::ranges::none_of(characters, [](QChar character) {
        return character.category() == QChar::Other_Control;
    });
}
