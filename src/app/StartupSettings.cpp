#include "app/StartupSettings.h"

#include "foundation/settings/DeviceInfoManager.h"
#include "foundation/settings/LocaleExtensions.h"
#include "foundation/settings/SettingKey.h"
#include "foundation/settings/SettingsManager.h"

namespace {

// A value already stored stays; otherwise `fallback` is written.
void keep(SettingsManager& settings, SettingKey key, const QString& fallback) {
    settings.set(settings.string(key).value_or(fallback), key);
}

}  // namespace

StartupSettings::Inputs StartupSettings::Inputs::fromSystem() {
    const DeviceInfoManager& device = DeviceInfoManager::shared();
    Inputs inputs;
    inputs.macAddress = device.primaryMACAddress();
    inputs.languageCode = preferredLanguageCode();
    inputs.regionCode = preferredRegionCode();
    inputs.versionCode = device.versionCode();
    inputs.shortVersion = device.appVersion();
    return inputs;
}

void StartupSettings::seed(SettingsManager& settings, const Inputs& inputs) {
    const QString language =
        inputs.languageCode.isEmpty() ? QStringLiteral("en") : inputs.languageCode;
    const QString region = inputs.regionCode.value_or(QString());

    settings.set(inputs.macAddress.value_or(QStringLiteral("0")), SettingKey::macAddress);
    keep(settings, SettingKey::frontendSysLocale, language);
    keep(settings, SettingKey::frontendSysLocaleCloudPhone,
         language + QLatin1Char('-') + (region.isEmpty() ? QStringLiteral("CN") : region));
    keep(settings, SettingKey::defaultSystemLanguage, language);
    settings.set(QStringLiteral("8888"), SettingKey::pcId);
    settings.set(QStringLiteral("22000"), SettingKey::pcChannelId);
    settings.set(QStringLiteral("22001"), SettingKey::pcPChannelId);
    settings.set(inputs.versionCode, SettingKey::nVersion);
    settings.set(inputs.shortVersion.isEmpty() ? QStringLiteral("1.0.0") : inputs.shortVersion,
                 SettingKey::clientVersion);
    if (!settings.string(SettingKey::batchCloudphonePositionSort)) {
        settings.set(QStringLiteral("true"), SettingKey::batchCloudphonePositionSort);
    }
}
