#include "devicewindow/X11AutoRepeat.h"

#include <QGuiApplication>

#include <cstdlib>

#include <xcb/xcb.h>
// The XKB header is C and names a member `explicit`.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

namespace {

bool askForPressesOnly() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return false;
    }
    xcb_xkb_use_extension_reply_t* extension = xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr);
    const bool hasXkb = extension && extension->supported;
    std::free(extension);
    if (!hasXkb) {
        return false;
    }
    constexpr uint32_t kPressesOnly = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    xcb_xkb_per_client_flags_reply_t* flags = xcb_xkb_per_client_flags_reply(
        connection,
        xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, kPressesOnly, kPressesOnly, 0,
                                 0, 0),
        nullptr);
    const bool agreed = flags && (flags->value & kPressesOnly) != 0;
    std::free(flags);
    return agreed;
}

}  // namespace

bool X11AutoRepeat::repeatWithPressesOnly() {
    static const bool agreed = askForPressesOnly();
    return agreed;
}
