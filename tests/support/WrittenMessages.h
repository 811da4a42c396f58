#pragma once

#include "foundation/logging/LogRedaction.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <random>
#include <utility>

// Page objects and forms with known secrets under hidden keys at random depths and known ordinary
// members around them, written as real writers write them: QJsonDocument compact and indented,
// JSON.stringify with and without an indent of 2 (node, write_messages.js beside this file), and
// forms by QUrl::toPercentEncoding and URLSearchParams, each once and inside another form's field.
// The ordinary members hold texts with brackets, quotes, backslashes, "，" and "。", words of
// hidden names, and numbers after personal numbers. What the mask must do with each message: no
// secret shows, and every ordinary member outside a hidden value shows whole, name and value.
class WrittenMessages {
public:
    struct Message {
        QString text;
        QStringList secrets;
        // As its writer wrote it.
        QStringList shown;
    };
    struct Counts {
        qsizetype messages = 0;
        qsizetype secrets = 0;
        qsizetype shown = 0;
    };

    explicit WrittenMessages(quint64 seed) : m_random(seed) {}

    // Starts node on `script`, for as many batches as asked; empty, or why it could not.
    static QString startNode(QProcess& node, const QString& script) {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("node"));
        if (program.isEmpty()) {
            return QStringLiteral("node is needed; run scripts/setup.sh --tests");
        }
        node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        node.start(program, {script});
        return node.waitForStarted(20000) ? QString() : QStringLiteral("node did not start");
    }

    // `objects` page objects and `forms` forms, each written four ways; node writes its ways of
    // all of them in one batch. Empty where node gave no answer.
    QList<Message> write(int objects, int forms, QProcess& node) {
        QList<Draft> drafts;
        QJsonArray batchObjects;
        QJsonArray batchForms;
        for (int i = 0; i < objects; ++i) {
            drafts.append(Draft{});
            batchObjects.append(object(0, drafts.back()));
        }
        for (int i = 0; i < forms; ++i) {
            drafts.append(Draft{});
            batchForms.append(form(drafts.back()));
        }
        const QJsonObject answer =
            askNode(node, QJsonObject{{QStringLiteral("objects"), batchObjects},
                                      {QStringLiteral("forms"), batchForms}});
        QList<Message> messages;
        for (int i = 0; i < objects; ++i) {
            const QJsonObject value = batchObjects[i].toObject();
            const QJsonArray byNode = answer[QStringLiteral("objects")][i].toArray();
            const std::pair<QString, QString> ways[] = {
                {QString::fromUtf8(QJsonDocument(value).toJson(QJsonDocument::Compact)), ":"},
                {QString::fromUtf8(QJsonDocument(value).toJson(QJsonDocument::Indented)), ": "},
                {byNode[0].toString(), ":"},
                {byNode[1].toString(), ": "}};
            for (const auto& [text, separator] : ways) {
                messages.append(pageMessage(drafts[i], text, separator));
            }
        }
        for (int i = 0; i < forms; ++i) {
            const Draft& draft = drafts[objects + i];
            const QJsonObject byNode = answer[QStringLiteral("forms")][i].toObject();
            QStringList once;
            QStringList twice;
            for (const auto& [name, value] : draft.pairs) {
                once << encoded(name) + u'=' + encoded(value);
                twice << encoded(once.back());
            }
            QStringList nodeOnce;
            QStringList nodeTwice;
            for (const QJsonValue pair : byNode[QStringLiteral("pairs")].toArray()) {
                nodeOnce << pair[0].toString();
                nodeTwice << pair[1].toString();
            }
            const QString prefix = pick(kFormPrefixes);
            const QString field =
                QStringLiteral("data=") + encoded(once.join(u'&')) + QStringLiteral("&from=page");
            messages << Message{prefix + once.join(u'&'), draft.secrets, ordinary(draft, once)}
                     << Message{prefix + field, draft.secrets, ordinary(draft, twice)}
                     << Message{prefix + byNode[QStringLiteral("once")].toString(), draft.secrets,
                                ordinary(draft, nodeOnce)}
                     << Message{prefix + byNode[QStringLiteral("twice")].toString(), draft.secrets,
                                ordinary(draft, nodeTwice)};
        }
        return answer.isEmpty() ? QList<Message>() : messages;
    }

    // What the mask shows of a message that it must not, or hides that it must show; empty for
    // none. A secret or member the message does not hold as written is the generator's finding.
    static QString findingIn(const Message& message, Counts& counts) {
        const QString masked = LogRedaction::maskedLine(message.text);
        ++counts.messages;
        for (const QString& secret : message.secrets) {
            ++counts.secrets;
            if (!message.text.contains(secret) || masked.contains(secret)) {
                return QStringLiteral("secret %1 in %2 shows: %3")
                    .arg(secret, message.text, masked);
            }
        }
        for (const QString& member : message.shown) {
            ++counts.shown;
            if (!message.text.contains(member) || !masked.contains(member)) {
                return QStringLiteral("%1 in %2 is hidden: %3").arg(member, message.text, masked);
            }
        }
        return {};
    }

private:
    // What an object or form holds besides its text: the secrets under its hidden keys, its
    // ordinary members outside hidden values and the parts of ordinary texts that show as they
    // are; a form's pairs, and which of them are ordinary.
    struct Draft {
        QStringList secrets;
        QList<std::pair<QString, QJsonValue>> members;
        QStringList fragments;
        QList<std::pair<QString, QString>> pairs;
        // The form's ordinary pairs, by their place in `pairs`.
        QList<qsizetype> ordinary;
    };

    static constexpr int kDeepest = 4;
    inline static const QStringList kCredentials = {
        "token", "sign", "password",     "accessToken",   "access_token", "apiKey",    "secret",
        "ak",    "sk",   "refreshToken", "securityToken", "privateKey",   "signature", "pwd"};
    inline static const QStringList kPersonal = {"phone", "mobile", "phoneNumber", "idCard",
                                                 "realName"};
    inline static const QStringList kStructureKeys = {"credentials", "token", "cookie",
                                                      "password",    "sign",  "authParams"};
    inline static const QStringList kOrdinaryNames = {
        "deviceId",   "status",       "error",      "msg",       "note",       "lang",
        "count",      "title",        "path",       "tokenType", "mappingKey", "signInDays",
        "phoneModel", "passwordHint", "deviceName", "lastLogin", "orderNo",    "isbindphone",
        "code",       "uid",          "result",     "desc"};
    inline static const QStringList kContainers = {"data",  "device", "list",
                                                   "extra", "result", "items"};
    inline static const QStringList kTexts = {"unexpected token: {",
                                              "unexpected token: [",
                                              "expected } after {x}",
                                              "[1, 2, 3]",
                                              "a ] b } c",
                                              "say \"hi\" now",
                                              "it's done",
                                              "don't",
                                              "\"quoted\"",
                                              "C:\\dir\\",
                                              "\\",
                                              "a\\b",
                                              "C:\\Users\\x\\",
                                              "已签到，连续 3 天",
                                              "完成。",
                                              "设备在线，请稍候。",
                                              "签到成功：+5 积分",
                                              "token expired",
                                              "sign in",
                                              "password reset",
                                              "phone model",
                                              "mobile network",
                                              "the cookie policy",
                                              "Authorization required",
                                              "50% off",
                                              "x&y=z"};
    inline static const QStringList kPagePrefixes = {"js: ", "js: 登录结果 ", "js: [page] reply ",
                                                     "📝 写入日志: "};
    inline static const QStringList kFormPrefixes = {
        "js: POST /api/login body: ", "📤 表单: ", "js: GET https://h.example/p?"};

    quint64 below(quint64 bound) { return m_random() % bound; }
    bool chance(int percent) { return below(100) < static_cast<quint64>(percent); }
    QString pick(const QStringList& list) {
        return list[static_cast<qsizetype>(below(static_cast<quint64>(list.size())))];
    }
    QString digits(int count, char16_t lowest = u'0', char16_t highest = u'9') {
        QString text;
        for (int i = 0; i < count; ++i) {
            text += QChar(static_cast<char16_t>(lowest + below(highest - lowest + 1)));
        }
        return text;
    }
    // Unique: letters and digits no ordinary text holds.
    QString secretText() { return QStringLiteral("Zq") + digits(4, u'A', u'Z') + digits(6); }
    QString mobile() { return QStringLiteral("1") + digits(1, u'3', u'9') + digits(9); }
    QString idCard() {
        const int year = 1950 + static_cast<int>(below(60));
        return QStringLiteral("110105") + QString::number(year) +
               QStringLiteral("%1%2")
                   .arg(1 + below(12), 2, 10, QChar(u'0'))
                   .arg(1 + below(28), 2, 10, QChar(u'0')) +
               digits(3) + (chance(20) ? QStringLiteral("X") : digits(1));
    }
    // Never a mobile or ID-card number: no 9, and not from 13 to 19.
    QString ordinaryNumber(int count) {
        return digits(1, u'2', u'8') + digits(count - 1, u'0', u'8');
    }

    QJsonValue secret(Draft& draft, bool personal) {
        const QString value = personal ? (chance(50) ? mobile() : idCard()) : secretText();
        draft.secrets << value;
        if (personal && value.size() == 11 && chance(40)) {
            return value.toDouble();
        }
        // A secret text may end as an ordinary one does ("C:\dir\", "{").
        return chance(30) ? QJsonValue(value + u' ' + pick(kTexts)) : QJsonValue(value);
    }

    // A hidden key's structure: every text and number in it is a secret.
    QJsonValue hiddenStructure(Draft& draft, int depth) {
        if (chance(40)) {
            QJsonArray array;
            for (int i = 0, n = 1 + static_cast<int>(below(3)); i < n; ++i) {
                array.append(depth < kDeepest && chance(40) ? hiddenStructure(draft, depth + 1)
                                                            : secret(draft, false));
            }
            return array;
        }
        QJsonObject object;
        for (int i = 0, n = 1 + static_cast<int>(below(3)); i < n; ++i) {
            const QString name = pick(kOrdinaryNames);
            if (!object.contains(name)) {
                object.insert(name, depth < kDeepest && chance(30)
                                        ? hiddenStructure(draft, depth + 1)
                                        : secret(draft, false));
            }
        }
        return object;
    }

    // An ordinary member's value; `whole`: whether the member shows whole.
    QJsonValue ordinaryValue(Draft& draft, bool& whole) {
        whole = true;
        const quint64 kind = below(10);
        if (kind < 2) {
            return ordinaryNumber(9).toDouble();
        }
        if (kind == 2) {
            whole = false;
            return chance(50) ? QJsonValue(true) : QJsonValue(QJsonValue::Null);
        }
        if (kind == 3) {
            // Numbers after a personal number in an ordinary text: the number is hidden, they show.
            const QString after =
                chance(50) ? ordinaryNumber(11) + QStringLiteral(" online")
                           : QStringLiteral("1") + ordinaryNumber(9) + u' ' + digits(1, u'1', u'8');
            const QString personal = chance(50) ? mobile() : idCard();
            draft.secrets << personal;
            draft.fragments << u' ' + after;
            whole = false;
            return pick({"phone", "mobile", "idCard"}) + QStringLiteral(": ") + personal + u' ' +
                   after;
        }
        return ordinaryNumber(5) + u' ' + pick(kTexts);
    }

    // An entry list: a hidden name's value is a secret, another's shows.
    QJsonArray entries(Draft& draft) {
        QJsonArray list;
        for (int i = 0, n = 1 + static_cast<int>(below(3)); i < n; ++i) {
            const bool hidden = chance(50);
            const QString name = hidden
                                     ? pick({"token", "SESSION_TOKEN", "password"})
                                     : pick({"lang", "theme", "SESSION_ID"}) + QString::number(i);
            const QJsonValue value = hidden ? secret(draft, false)
                                            : QJsonValue(ordinaryNumber(6) + QStringLiteral(" zh"));
            if (!hidden) {
                draft.members << std::pair{QStringLiteral("name"), QJsonValue(name)}
                              << std::pair{QStringLiteral("value"), value};
            }
            list.append(QJsonObject{{"name", name}, {"value", value}});
        }
        return list;
    }

    QJsonObject object(int depth, Draft& draft) {
        static const QStringList* const kNames[] = {&kOrdinaryNames, &kCredentials, &kPersonal,
                                                    &kStructureKeys, &kContainers};
        QJsonObject object;
        for (int i = 0, n = 2 + static_cast<int>(below(4)); i < n; ++i) {
            // Ordinary, a credential, a personal field, a hidden key's structure, entries, nested.
            const quint64 roll = below(20);
            const int kind = roll < 7    ? 0
                             : roll < 10 ? 1
                             : roll < 12 ? 2
                             : roll < 14 ? 3
                             : roll < 15 ? 5
                                         : 4;
            const QString name = kind == 5 ? QStringLiteral("fields") : pick(*kNames[kind]);
            if (object.contains(name) || (kind == 4 && depth == kDeepest)) {
                continue;
            }
            bool whole = false;
            QJsonValue value;
            switch (kind) {
                case 0:
                    value = ordinaryValue(draft, whole);
                    break;
                case 1:
                    value = secret(draft, false);
                    break;
                case 2:
                    value = name == QStringLiteral("realName")
                                ? QJsonValue(QStringLiteral("李") + secretText())
                                : secret(draft, true);
                    if (value.isString() && name == QStringLiteral("realName")) {
                        draft.secrets << value.toString();
                    }
                    break;
                case 3:
                    value = hiddenStructure(draft, depth + 1);
                    break;
                case 5:
                    value = entries(draft);
                    break;
                default:
                    value = chance(30) ? QJsonValue(QJsonArray{this->object(depth + 1, draft)})
                                       : QJsonValue(this->object(depth + 1, draft));
            }
            if (whole) {
                draft.members << std::pair{name, value};
            }
            object.insert(name, value);
        }
        return object;
    }

    QJsonArray form(Draft& draft) {
        QJsonArray pairs;
        for (int i = 0, n = 2 + static_cast<int>(below(5)); i < n; ++i) {
            const bool hidden = chance(40);
            const QString name =
                hidden ? pick({"token", "sign", "password", "access_token", "api_key", "phone",
                               "idCard"})
                       : pick({"deviceId", "lang", "page", "msg", "path", "title", "t"}) +
                             QString::number(i);
            QString value;
            if (hidden) {
                value = name == QStringLiteral("phone")    ? mobile()
                        : name == QStringLiteral("idCard") ? idCard()
                                                           : secretText();
                draft.secrets << value;
            } else {
                value = ordinaryNumber(5) + u' ' + pick(kTexts);
                draft.ordinary << draft.pairs.size();
            }
            draft.pairs << std::pair{name, value};
            pairs.append(QJsonArray{name, value});
        }
        return pairs;
    }

    Message pageMessage(const Draft& draft, const QString& text, const QString& separator) {
        QStringList shown = draft.fragments;
        for (const auto& [name, value] : draft.members) {
            const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
            shown << u'"' + name + u'"' + separator +
                         QString::fromUtf8(json.mid(1, json.size() - 2));
        }
        return Message{pick(kPagePrefixes) + text, draft.secrets, shown};
    }

    // The form's ordinary pairs out of all its pairs as one writer wrote them.
    static QStringList ordinary(const Draft& draft, const QStringList& pairs) {
        QStringList shown;
        for (const qsizetype at : draft.ordinary) {
            shown << pairs.value(at);
        }
        return shown;
    }

    static QString encoded(const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    }

    static QJsonObject askNode(QProcess& node, const QJsonObject& batch) {
        node.write(QJsonDocument(batch).toJson(QJsonDocument::Compact) + '\n');
        QByteArray line;
        while (!line.endsWith('\n') && node.waitForReadyRead(60000)) {
            line += node.readAll();
        }
        return QJsonDocument::fromJson(line).object();
    }

    std::mt19937_64 m_random;
};
