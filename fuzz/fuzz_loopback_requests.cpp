// Requests as the loopback server reads them: any bytes, arriving in pieces of any size (the
// first input byte sets it), then its request line, Host and Origin rules.
#include "FuzzSupport.h"

#include "app/LoopbackRequestPolicy.h"
#include "loopback/HttpRequestLine.h"
#include "loopback/HttpRequestReader.h"
#include "web/TrustedPageOrigins.h"

#include <QSet>

#include <algorithm>

namespace {

constexpr quint16 kServerPort = 9988;

HttpRequestReader read(const QByteArray& bytes, qsizetype piece) {
    HttpRequestReader reader;
    for (qsizetype start = 0; start < bytes.size(); start += piece) {
        reader.append(bytes.mid(start, piece));
    }
    reader.finish();
    return reader;
}

// What a Host that passes must be, written out apart from the rule: a loopback name in any
// letter case, then nothing or a colon and one to five digits up to 65535.
bool isLoopbackName(const QByteArray& host) {
    for (const QByteArray& name :
         {QByteArray("localhost"), QByteArray("127.0.0.1"), QByteArray("[::1]")}) {
        if (host.left(name.size()).toLower() != name) {
            continue;
        }
        const QByteArray rest = host.mid(name.size());
        const QByteArray port = rest.mid(1);
        return rest.isEmpty() || (rest.startsWith(':') && !port.isEmpty() && port.size() <= 5 &&
                                  std::all_of(port.cbegin(), port.cend(),
                                              [](char c) { return c >= '0' && c <= '9'; }) &&
                                  port.toUInt() <= 65535);
    }
    return false;
}

// The service's page and the server's own origins; nothing else may be named.
const TrustedPageOrigins& origins() {
    static TrustedPageOrigins* origins = [] {
        auto* made = new TrustedPageOrigins({QUrl(QStringLiteral("https://api.example.com/api"))},
                                            QStringLiteral("/opt/app/pc"), {});
        made->setLoopbackPort(kServerPort);
        return made;
    }();
    return *origins;
}

const QSet<QByteArray>& trustedOrigins() {
    static const QSet<QByteArray> trusted{"https://api.example.com", "http://localhost:9988",
                                          "http://127.0.0.1:9988", "http://[::1]:9988"};
    return trusted;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const qsizetype piece = 1 + data[0] % 32;
    const QByteArray bytes = fuzz::bytes(data + 1, size - 1);
    const HttpRequestReader request = read(bytes, piece);
    const HttpRequestReader whole = read(bytes, bytes.size() + 1);
    // Pieces read as the whole, except that a first piece of nothing but line ends is already
    // an empty request.
    if (request.state() != HttpRequestReader::State::empty &&
        (request.state() != whole.state() || request.line() != whole.line() ||
         request.headerValues("host") != whole.headerValues("host") ||
         request.headerValues("origin") != whole.headerValues("origin"))) {
        fuzz::violated("a request read in pieces differs from the same request read whole");
    }
    if (request.state() != HttpRequestReader::State::complete) {
        return 0;
    }
    if (request.line().isEmpty() || request.line().contains('\n')) {
        fuzz::violated("a request line is empty or holds a line end");
    }
    if (const std::optional<HttpRequestLine> line = HttpRequestLine::parse(request.line())) {
        if (line->method.isEmpty() || line->path.isEmpty() ||
            line->method.contains(QLatin1Char(' ')) || line->path.contains(QLatin1Char(' '))) {
            fuzz::violated("a method or path is empty or holds a blank");
        }
        (void)strictPercentDecoded(line->path);
    }
    for (const QByteArray& host : request.headerValues("host")) {
        if (host != host.trimmed()) {
            fuzz::violated("a header value keeps white space around it");
        }
        if (LoopbackRequestPolicy::isLoopbackHost(host) != isLoopbackName(host)) {
            fuzz::violated("a Host is judged other than a loopback name with a valid port");
        }
    }
    const QList<QByteArray> originHeaders = request.headerValues("origin");
    const HttpReply::AllowedOrigin allowed =
        LoopbackRequestPolicy::allowedOrigin(originHeaders, origins());
    const bool oneTrusted =
        originHeaders.size() == 1 && trustedOrigins().contains(originHeaders.first());
    if (allowed.has_value() != oneTrusted || (allowed && *allowed != originHeaders.first())) {
        fuzz::violated("an origin is named that is not the request's one trusted origin");
    }
    if (allowed && (allowed->compare("null", Qt::CaseInsensitive) == 0 || *allowed == "*")) {
        fuzz::violated("an opaque origin or the wildcard is named");
    }
    return 0;
}
