#pragma once

#include <QSet>
#include <QString>

#include <optional>

// Key identity: two keys are the same key when their tokens are equal. A Windows key of at
// least 1 wins ("w87"); otherwise the macOS key code ("m13"); otherwise the key has no token.
std::optional<QString> keyToken(std::optional<int> windowsKey, std::optional<quint16> macKeyCode);

// The tokens that are present, as a set.
QSet<QString> keyTokenSet(const std::optional<QString>& first,
                          const std::optional<QString>& second);
