#pragma once

#include "web/Web2NativeMessageHandler.h"

// The page's requests to record and replay input macros. The client only notes them; nothing is
// recorded, replayed or answered yet.
class MacroRecordHandler : public Web2NativeMessageHandler {
public:
    void handle(const Web2NativeMessage& message) override;
};
