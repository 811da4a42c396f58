// Page objects and forms with known secrets under hidden keys and ordinary members around them,
// written as real writers write them (tests/support/WrittenMessages.h), from the seed each input
// gives: no secret shows, and every ordinary member outside a hidden value shows whole. One node
// process writes node's ways for the whole run.
#include "FuzzSupport.h"
#include "WrittenMessages.h"

#include <QHashFunctions>
#include <QProcess>

#include <cstdio>

namespace {

QProcess* writer = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    writer = new QProcess;
    if (const QString failed = WrittenMessages::startNode(*writer, KX_WRITE_MESSAGES_SCRIPT);
        !failed.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failed));
        fuzz::violated("node did not start");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const quint64 seed = qHashBits(data, size, 0);
    const QList<WrittenMessages::Message> messages = WrittenMessages(seed).write(8, 4, *writer);
    if (messages.isEmpty()) {
        fuzz::violated("node wrote nothing");
    }
    WrittenMessages::Counts counts;
    for (const WrittenMessages::Message& message : messages) {
        if (const QString finding = WrittenMessages::findingIn(message, counts);
            !finding.isEmpty()) {
            std::fprintf(stderr, "seed %llu: %s\n", static_cast<unsigned long long>(seed),
                         qPrintable(finding));
            fuzz::violated("a written message showed a secret or hid an ordinary member");
        }
    }
    return 0;
}
