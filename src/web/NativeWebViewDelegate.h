#pragma once

#include "foundation/Result.h"

#include <QString>

#include <optional>

class NativeWebView;

// The owner of a native web view hears here how its loads end.
class NativeWebViewDelegate {
public:
    virtual ~NativeWebViewDelegate() = default;

    // The loaded page's address; nothing when the view has none.
    virtual void nativeWebViewDidFinishLoading(NativeWebView* view,
                                               const std::optional<QString>& url) = 0;
    virtual void nativeWebViewDidFail(NativeWebView* view, const Error& error) = 0;
};
