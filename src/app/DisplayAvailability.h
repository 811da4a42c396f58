#pragma once

#include <QString>

struct xcb_connection_t;

// Whether the client has somewhere to show its windows. When no display Qt tries can be opened,
// Qt ends the process with an abort and advice to reinstall it, which names no cause; so main()
// asks here first, before the application object is made, and hands over once Qt is connected.
class DisplayAvailability {
public:
    DisplayAvailability();
    ~DisplayAvailability();
    DisplayAvailability(const DisplayAvailability&) = delete;
    DisplayAvailability& operator=(const DisplayAvailability&) = delete;

    // True when a platform is chosen with QT_QPA_PLATFORM or Qt's "-platform" argument (left to
    // Qt), or when a display Qt would try can be opened: Qt tries a Wayland display first when
    // WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is "wayland", then the X display (Qt's "-display"
    // argument, else DISPLAY). Otherwise prints one line on standard error that names what was
    // tried and how to run the client without a desktop, and returns false. When the Wayland
    // display cannot be opened but the X display can, it tells Qt to use X for this process, so
    // that Qt does not try Wayland first and say it failed.
    //
    // An X server resets itself when its last client leaves, and closes the connections that
    // arrive meanwhile; so the X connection the check opened stays open until `qtConnected`.
    // Until then, should Qt still fail to open the display that was found (its server went away
    // in between), the client ends with the same one line and exit code 1, and Qt's own messages
    // of that time are held back; on success they are passed on.
    bool check(int argc, char* argv[]);

    // The application object holds its own connection now: the check's is closed and Qt's
    // messages go their usual way again.
    void qtConnected();

private:
    void watchQtConnecting(const QString& noDisplayLine);

    xcb_connection_t* m_xConnection = nullptr;
    bool m_watching = false;
};
