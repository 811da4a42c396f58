#pragma once

#include "web/Web2NativeMessage.h"

// One handler family of page messages. A family that serves several types compares
// `message.type` itself and ignores a type it does not serve. Called on the GUI thread.
class Web2NativeMessageHandler {
public:
    virtual ~Web2NativeMessageHandler() = default;

    virtual void handle(const Web2NativeMessage& message) = 0;
};
