#pragma once

#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

#include <sys/types.h>

// Which local account holds the other end of an accepted loopback TCP connection. The kernel
// knows the owner of every socket and tells it two ways: its socket diagnostics (netlink, one
// exact lookup by the connection's addresses and ports) and, as a slower fallback, its socket
// tables ("tcp" and "tcp6" under /proc/net). Either is asked for the one socket whose own address
// and port are the connection's peer's and whose peer is this end. What one lookup finds, or does
// not find, decides for that connection alone. A source is given up for good only when the
// kernel refuses it: the netlink family or the table cannot be opened, or the diagnostics cannot
// find even the listening socket the connection came through (a kernel without them for TCP).
class LoopbackPeerOwner {
public:
    enum class Source { socketDiagnostics, socketTables };

    struct Answer {
        enum class Kind {
            // The peer's socket is held by the account `uid`.
            owner,
            // Not to be answered: no process holds the peer's socket any more (closed, or gone
            // before it was found), or no source could tell this once.
            gone,
            // The kernel refuses every source.
            unknown,
        };
        Kind kind = Kind::unknown;
        uid_t uid = 0;
    };

    // The sources to ask, in order; `tablesFolder` holds the socket tables.
    explicit LoopbackPeerOwner(QList<Source> sources = {Source::socketDiagnostics,
                                                        Source::socketTables},
                               QString tablesFolder = QStringLiteral("/proc/net"));
    ~LoopbackPeerOwner();
    LoopbackPeerOwner(const LoopbackPeerOwner&) = delete;
    LoopbackPeerOwner& operator=(const LoopbackPeerOwner&) = delete;

    // For a connected TCP socket (IPv4 or IPv6) accepted through a socket still listening.
    Answer ownerOfPeer(int descriptor);

private:
    // One end of a connection; the address in network order (IPv4 in the first four bytes),
    // the port too.
    struct Endpoint {
        int family = 0;
        std::array<std::uint8_t, 16> address{};
        std::uint16_t port = 0;
    };
    struct Found {
        uid_t uid;
        // Zero when no process holds the socket (closing or waiting out its last packets).
        std::uint64_t inode;
    };
    enum class Outcome {
        found,
        notFound,
        // This lookup failed; the next may not.
        failed,
        // The kernel refuses the source.
        refused,
    };
    struct Lookup {
        Outcome outcome;
        Found socket;
    };
    struct SourceState {
        Source source;
        bool refused = false;
        // The kernel's diagnostics have found the listening socket, so they know TCP sockets.
        bool confirmed = false;
    };

    // The socket whose own end is `self` and whose peer is `other`.
    Lookup find(SourceState& state, const Endpoint& self, const Endpoint& other);
    Lookup askSocketDiagnostics(const Endpoint& self, const Endpoint& other);
    Lookup readSocketTables(const Endpoint& self, const Endpoint& other) const;
    // True when the table line is the one about the socket `local` → `remote`, its owner then
    // in `result`. Only the two address columns are looked at on the other lines.
    static bool matchTableLine(std::string_view line, std::string_view local,
                               std::string_view remote, Lookup& result);

    QList<SourceState> m_sources;
    QString m_tablesFolder;
    int m_diagnostics = -1;
    std::uint32_t m_sequence = 0;
};
