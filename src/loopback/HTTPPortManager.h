#pragma once

#include <QtGlobal>

#include <optional>

// Finds a free loopback TCP port for the local HTTP server. A port counts as free when a fresh
// socket binds to it on 127.0.0.1 and, where the machine has IPv6 loopback, on ::1 as well (the
// server listens on both). Nothing stays open, so another program may still take the port
// before the server starts. Stateless; never instantiated.
class HTTPPortManager {
public:
    HTTPPortManager() = delete;

    static bool isPortAvailable(quint16 port);

    // The first free port from `lower` up to and including `upper`.
    static std::optional<quint16> findPortInRange(quint16 lower, quint16 upper);

    // The common development ports first, then 8000…9000, then 9000…10000.
    static std::optional<quint16> findAvailablePort();
};
