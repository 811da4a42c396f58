#pragma once

#include <QString>

#include <optional>

class SettingsManager;

// The settings the page reads that the client writes at every start: the machine's address, the
// interface locales, the client's identity values and one default of the batch view.
class StartupSettings {
public:
    // What the machine and the build say.
    struct Inputs {
        std::optional<QString> macAddress;
        QString languageCode;  // "en" when the system lists no preferred language
        std::optional<QString> regionCode;
        QString versionCode;   // empty unless the version has four parts
        QString shortVersion;  // "1.0.0" when the build names none

        static Inputs fromSystem();
    };

    // Writes the values in their fixed order. Locales the page chose stay; the client's identity
    // values are reset.
    static void seed(SettingsManager& settings, const Inputs& inputs);
};
