#pragma once

#include "foundation/json/Result.h"
#include "sdk/KXRotationObc.h"
#include "sdk/KXSizeObc.h"

#include <QString>
#include <QVariantMap>

#include <optional>

// One report of a remote device, as a transport hands it to the device object. Device events go
// to the device delegate, stream events to the real-play delegate.
struct DeviceEvent {
    enum class Kind {
        // device
        kickout,
        ready,
        error,
        exceptionStatus,
        screenSize,
        rotation,
        imeStatus,
        clipData,
        pushMessage,
        frontPackage,
        // stream
        realPlayReady,
        streamTimeout,
        noOpTimeout,
        netStat,
        realPlayError,
        realPlayExceptionStatus,
        networkStuck,
    };

    Kind kind = Kind::ready;
    int value = 0;  // kick-out reason, status, or rotation
    std::optional<Error> error;
    std::optional<QString> text;  // message, clip text, package
    std::optional<QVariantMap> dictionary;
    std::optional<KXSizeObc> size;

    bool isStreamEvent() const { return kind >= Kind::realPlayReady; }

    static DeviceEvent kickout(int reason) { return {Kind::kickout, reason}; }
    static DeviceEvent ready() { return {Kind::ready}; }
    static DeviceEvent deviceError(std::optional<Error> error) {
        return {Kind::error, 0, std::move(error)};
    }
    static DeviceEvent exceptionStatus(int status, std::optional<QString> msg) {
        return {Kind::exceptionStatus, status, {}, std::move(msg)};
    }
    static DeviceEvent screenSize(std::optional<KXSizeObc> size) {
        return {Kind::screenSize, 0, {}, {}, {}, size};
    }
    static DeviceEvent rotation(KXRotationObc rotation) {
        return {Kind::rotation, static_cast<int>(rotation)};
    }
    static DeviceEvent imeStatus(std::optional<QVariantMap> ime) {
        return {Kind::imeStatus, 0, {}, {}, std::move(ime)};
    }
    static DeviceEvent clipData(std::optional<QString> text) {
        return {Kind::clipData, 0, {}, std::move(text)};
    }
    static DeviceEvent pushMessage(std::optional<QString> msg) {
        return {Kind::pushMessage, 0, {}, std::move(msg)};
    }
    static DeviceEvent frontPackage(QString package) {
        return {Kind::frontPackage, 0, {}, std::move(package)};
    }
    static DeviceEvent realPlayReady() { return {Kind::realPlayReady}; }
    static DeviceEvent streamTimeout() { return {Kind::streamTimeout}; }
    static DeviceEvent noOpTimeout() { return {Kind::noOpTimeout}; }
    static DeviceEvent netStat(std::optional<QVariantMap> stat) {
        return {Kind::netStat, 0, {}, {}, std::move(stat)};
    }
    static DeviceEvent realPlayError(std::optional<Error> error) {
        return {Kind::realPlayError, 0, std::move(error)};
    }
    static DeviceEvent realPlayExceptionStatus(int status, std::optional<QString> msg) {
        return {Kind::realPlayExceptionStatus, status, {}, std::move(msg)};
    }
    static DeviceEvent networkStuck() { return {Kind::networkStuck}; }
};
