#pragma once

#include "foundation/json/Result.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

// A question to a device that the device answers once.
struct DeviceRequest {
    enum class Kind {
        shellCommand,       // argument: the command; answer: its output text
        diskDetail,         // answer: dictionary
        transferFile,       // argument: file location; answer: nothing or an error
        installFile,        // argument: file location; answer: nothing or an error
        launchableApps,     // answer: JSON text
        uninstallableApps,  // answer: JSON text
        resourceDetail,     // answer: dictionary
    };

    Kind kind = Kind::shellCommand;
    QString argument;

    bool operator==(const DeviceRequest&) const = default;
};

struct DeviceReply {
    std::optional<Error> error;
    std::optional<QString> text;
    std::optional<QVariantMap> dictionary;

    static DeviceReply failure(Error error) { return {std::move(error), {}, {}}; }
    static DeviceReply output(QString text) { return {{}, std::move(text), {}}; }
};

using DeviceReplyCompletion = std::function<void(const DeviceReply&)>;
