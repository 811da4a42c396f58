#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// One one-way message to a device besides touches: a function key, text, clipboard text or a
// setting of the device or its stream. Devices record them in the order received.
struct DeviceControl {
    enum class Kind {
        functionKey,   // value: key code, state: 0 down and up, 1 down, 2 up
        clipboard,     // text
        text,          // text typed into the focused field
        videoQuality,  // value: bit rate in kbps
        inputMethod,   // value: 0 the device's own keyboard, 1 the built-in one; text: custom one
        mute,          // value: 1 muted
        systemLocale,  // text
        shake,
    };

    Kind kind = Kind::text;
    qint64 value = 0;
    int state = 0;
    std::optional<QString> text;

    bool operator==(const DeviceControl&) const = default;
};
