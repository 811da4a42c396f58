#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Language and region of the first of the user's preferred languages (BCP 47 tags such as
// "zh-Hans-CN"). The forms taking a list are what the others apply to the system's list.
QString preferredLanguageCode(const QStringList& preferredLanguages);
std::optional<QString> preferredRegionCode(const QStringList& preferredLanguages);

QString preferredLanguageCode();               // "en" when nothing can be told
std::optional<QString> preferredRegionCode();  // absent when the entry names no region
