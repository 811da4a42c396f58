// Compressed reply bodies: gzip and deflate streams, truncated, corrupt or inflating past the cap.
#include "FuzzSupport.h"

#include "api/ContentDecoding.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr qsizetype kCap = 256 * 1024;
    const QByteArray body = fuzz::bytes(data, size);
    for (const QByteArray& encoding : {QByteArray("gzip"), QByteArray("deflate"), QByteArray()}) {
        const Result<QByteArray> plain = decodeContent(encoding, body, kCap);
        if (plain && plain.value().size() > kCap && !encoding.isEmpty()) {
            fuzz::violated("an inflated body passed the cap");
        }
    }
    return 0;
}
