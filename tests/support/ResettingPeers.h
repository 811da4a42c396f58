#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// Peers that each ask 127.0.0.1:`port` for `request`, read the first 256 KiB of the reply as fast
// as it comes and then reset their connection (SO_LINGER 0), while the server is still sending
// the rest (the reply should be several MiB). They run on a few threads at once, as many clients
// would. Returns how many got that far before their reset.
inline int resetPeersMidReply(quint16 port, const QByteArray& request, int peers,
                              std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    constexpr int kThreads = 6;
    std::atomic<int> next{0};
    std::atomic<int> answered{0};
    const auto deadline = std::chrono::steady_clock::now() + patience;
    const auto peer = [&] {
        const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket < 0) {
            return;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::send(socket, request.constData(), static_cast<size_t>(request.size()),
                   MSG_NOSIGNAL) == request.size()) {
            constexpr qint64 kReadBeforeReset = 256 * 1024;
            qint64 received = 0;
            char buffer[65536];
            pollfd readable{socket, POLLIN, 0};
            while (received < kReadBeforeReset) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (::poll(&readable, 1, static_cast<int>(std::max<qint64>(0, left.count()))) !=
                    1) {
                    break;
                }
                const ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
                if (count <= 0) {
                    break;
                }
                received += count;
            }
            if (received >= kReadBeforeReset) {
                ++answered;
            }
        }
        const linger immediately{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &immediately, sizeof immediately);
        ::close(socket);
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            while (next++ < peers) {
                peer();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return answered.load();
}
