#include "app/LoopbackRequestPolicy.h"

#include "web/TrustedPageOrigins.h"

#include <algorithm>

namespace LoopbackRequestPolicy {

bool isLoopbackHost(const QByteArray& host) {
    QByteArray name = host.toLower();
    const qsizetype portStart = name.lastIndexOf(':');
    // A colon inside brackets belongs to the IPv6 address, not to a port.
    if (portStart > name.lastIndexOf(']')) {
        const QByteArray port = name.mid(portStart + 1);
        if (port.isEmpty() || port.size() > 5 ||
            !std::all_of(port.cbegin(), port.cend(), [](char c) { return c >= '0' && c <= '9'; }) ||
            port.toUInt() > 65535) {
            return false;
        }
        name.truncate(portStart);
    }
    return name == "localhost" || name == "127.0.0.1" || name == "[::1]";
}

HttpReply::AllowedOrigin allowedOrigin(const QList<QByteArray>& originHeaders,
                                       const TrustedPageOrigins& origins) {
    if (originHeaders.size() != 1) {
        return std::nullopt;
    }
    const QByteArray& origin = originHeaders.first();
    if (origin.compare("null", Qt::CaseInsensitive) == 0 || origin == "*" ||
        !origins.isTrustedOrigin(QString::fromLatin1(origin))) {
        return std::nullopt;
    }
    return origin;
}

}  // namespace LoopbackRequestPolicy
