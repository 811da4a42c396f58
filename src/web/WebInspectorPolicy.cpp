#include "web/WebInspectorPolicy.h"

#include "foundation/BundleInfo.h"
#include "foundation/SettingsManager.h"

#include <QStringList>

std::optional<bool> WebInspectorPolicy::booleanText(const QString& text) {
    static const QStringList truthy{QStringLiteral("true"),   QStringLiteral("1"),
                                    QStringLiteral("yes"),    QStringLiteral("on"),
                                    QStringLiteral("enable"), QStringLiteral("enabled")};
    static const QStringList falsy{QStringLiteral("false"),   QStringLiteral("0"),
                                   QStringLiteral("no"),      QStringLiteral("off"),
                                   QStringLiteral("disable"), QStringLiteral("disabled")};
    const QString normalised = text.trimmed().toLower();
    if (truthy.contains(normalised)) {
        return true;
    }
    if (falsy.contains(normalised)) {
        return false;
    }
    return std::nullopt;
}

bool WebInspectorPolicy::isEnabledInBundle(const QVariantMap& bundleDictionary) {
    const QVariant value = bundleDictionary.value(kBundleKey);
    if (value.typeId() != QMetaType::QString) {
        return false;
    }
    return booleanText(value.toString()).value_or(false);
}

bool WebInspectorPolicy::isEnabledInBundle() {
    return isEnabledInBundle(BundleInfo::main().dictionary());
}

bool WebInspectorPolicy::evaluate(bool enabledInBundle,
                                  const std::optional<QString>& closeDebugMode,
                                  const std::optional<QString>& debugMode) {
    if (!enabledInBundle) {
        return false;
    }
    if (closeDebugMode) {
        if (const std::optional<bool> closed = booleanText(*closeDebugMode)) {
            return !*closed;
        }
    }
    if (!debugMode) {
        return true;
    }
    return booleanText(*debugMode).value_or(true);
}

bool WebInspectorPolicy::evaluate(const SettingsManager& settings) {
    return evaluate(isEnabledInBundle(), settings.string(SettingKey::closeWebviewDebugMode),
                    settings.string(SettingKey::webviewDebugMode));
}
