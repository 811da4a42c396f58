#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

class SettingsManager;

// Whether the page's developer tools may open. The deployment switches them on with the text
// `KXWebInspectorEnabled` in the bundle information; the page's two debug settings then choose,
// "close-webview-debug-mode" winning over "webview-debug-mode".
class WebInspectorPolicy {
public:
    static inline const QString kBundleKey = QStringLiteral("KXWebInspectorEnabled");

    // Trimmed and lower-cased: true/1/yes/on/enable/enabled and false/0/no/off/disable/disabled.
    static std::optional<bool> booleanText(const QString& text);

    // Only a text value counts; a missing key, another type or a text without value is false.
    static bool isEnabledInBundle(const QVariantMap& bundleDictionary);
    // The running application's bundle information.
    static bool isEnabledInBundle();

    static bool evaluate(bool enabledInBundle, const std::optional<QString>& closeDebugMode,
                         const std::optional<QString>& debugMode);
    // The running application's bundle and the given settings store.
    static bool evaluate(const SettingsManager& settings);
};
