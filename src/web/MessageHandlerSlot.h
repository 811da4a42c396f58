#pragma once

#include "web/Web2NativeMessageHandler.h"
#include "web/Web2NativeMessageType.h"

#include <functional>
#include <memory>
#include <vector>

// One handler family in the registration table: how to make it and the types it serves, in the
// order they are registered.
struct MessageHandlerSlot {
    std::function<std::shared_ptr<Web2NativeMessageHandler>()> make;
    std::vector<Web2NativeMessageType> types;
};
