#pragma once

#include "api/ForceInfo.h"

#include <optional>

// The release entry of the running client, taken from the service's version record at start-up;
// absent until that reply has been read. The main window's error page and the page's repair of
// the web package read it. Safe to call from any thread.
namespace ActiveForceInfo {

std::optional<ForceInfo> get();
void set(std::optional<ForceInfo> info);

}  // namespace ActiveForceInfo
