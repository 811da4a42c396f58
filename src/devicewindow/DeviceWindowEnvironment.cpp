#include "devicewindow/DeviceWindowEnvironment.h"

#include "devicewindow/DeviceWindowPageLink.h"
#include "devicewindow/ImageSaveManager.h"
#include "devicewindow/WindowActiveManager.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/crashreporting/SentryService.h"
#include "foundation/settings/LanguageManager.h"
#include "foundation/settings/SettingsManager.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "session/CloudPhoneCommunicator.h"

DeviceWindowEnvironment DeviceWindowEnvironment::standard() {
    DeviceWindowEnvironment environment;
    environment.communicator = &CloudPhoneCommunicator::shared();
    environment.activeManager = &WindowActiveManager::shared();
    environment.settings = &SettingsManager::shared();
    environment.notifications = &NotificationCenter::defaultCenter();
    environment.language = &LanguageManager::shared();
    environment.sentry = &SentryService::shared();
    environment.keyMappingStore = &KeyMappingConfigManager::shared();
    environment.imageSaver = &ImageSaveManager::shared();
    environment.pageLink = &DeviceWindowPageLink::installed;
    return environment;
}
