#pragma once

#include "web/Web2NativeMessageHandler.h"

#include <functional>

class NativeWebView;

// "debug-change-url": loads the page's {"url"} into the web view the sender is bound to, and
// from then on counts the page there as one of the client's own.
class DebugChangeURLMessageHandler : public Web2NativeMessageHandler {
public:
    using TargetView = std::function<NativeWebView*()>;

    // The native web view that embeds the sender's current web view, unless given.
    explicit DebugChangeURLMessageHandler(TargetView target = {});

    void handle(const Web2NativeMessage& message) override;

private:
    TargetView m_target;
};
