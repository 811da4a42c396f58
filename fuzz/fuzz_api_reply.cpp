// Reply bodies as the service (or anyone between) may send them: envelope and record decoding
// under every parsing strategy, and the log masking of the same bytes.
#include "FuzzSupport.h"

#include "api/KXDomesticUser.h"
#include "api/ResponseParser.h"
#include "api/VersionResponse.h"
#include "api/XDYDeviceModel.h"
#include "foundation/logging/LogRedaction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Every string (but an empty one) or number held, at any depth, by a credential key reads "***".
bool credentialsHidden(const QJsonValue& value, bool underCredential) {
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!credentialsHidden(it.value(),
                                   underCredential || LogRedaction::isCredentialKey(it.key()))) {
                return false;
            }
        }
        return true;
    }
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::all_of(array.begin(), array.end(), [underCredential](const QJsonValue& item) {
            return credentialsHidden(item, underCredential);
        });
    }
    // An empty text holds nothing to hide and is shown as it is.
    const bool secretKind = (value.isString() && !value.toString().isEmpty()) || value.isDouble();
    return !underCredential || !secretKind || value == QJsonValue(QStringLiteral("***"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body = fuzz::bytes(data, size);
    for (const ResponseParsingStrategy& strategy :
         {ResponseParsingStrategy::automatic(), ResponseParsingStrategy::wrapped(),
          ResponseParsingStrategy::direct()}) {
        (void)ResponseParser::parseBody<KXDomesticUser>(body, strategy);
        (void)ResponseParser::parseBody<VersionResponse>(body, strategy);
        (void)ResponseParser::parseBody<XDYDeviceModel>(body, strategy);
    }
    if (const auto user = ResponseParser::decode<KXDomesticUser>(body); user) {
        // What decodes must encode and decode to the same record.
        const auto again = KXDomesticUser::fromJson(user.value().toJson());
        if (!again || again.value().toJson() != user.value().toJson()) {
            fuzz::violated("a decoded user does not survive encoding");
        }
    }
    // The body as the "📄 Response Body: " line shows it.
    const QString text = QString::fromUtf8(body);
    const QString masked = LogRedaction::maskedLine(text);
    // Where the masked body is JSON, no credential value is left in it. Bytes that are not UTF-8
    // are changed by the decoding before masking sees them (Qt's parser takes some of them where
    // their replacement characters are refused), so only UTF-8 bodies count. A credential ending
    // in a backslash masks on to a later quote, which may leave no JSON: more hidden, not less.
    if (QJsonDocument::fromJson(body).isNull() || text.toUtf8() != body) {
        return 0;
    }
    const QJsonDocument maskedDocument = QJsonDocument::fromJson(masked.toUtf8());
    if (maskedDocument.isNull()) {
        return 0;
    }
    const QJsonValue root = maskedDocument.isArray() ? QJsonValue(maskedDocument.array())
                                                     : QJsonValue(maskedDocument.object());
    if (!credentialsHidden(root, false)) {
        fuzz::violated("a credential value is left in a masked body");
    }
    if (LogRedaction::maskedLine(masked) != masked) {
        fuzz::violated("masking a masked body changed it");
    }
    return 0;
}
