#include "api/ActiveForceInfo.h"

#include <mutex>

namespace ActiveForceInfo {

namespace {

std::mutex& guard() {
    static std::mutex mutex;
    return mutex;
}

std::optional<ForceInfo>& stored() {
    static std::optional<ForceInfo> info;
    return info;
}

}  // namespace

std::optional<ForceInfo> get() {
    const std::lock_guard lock(guard());
    return stored();
}

void set(std::optional<ForceInfo> info) {
    const std::lock_guard lock(guard());
    stored() = std::move(info);
}

}  // namespace ActiveForceInfo
