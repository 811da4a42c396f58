// Page objects and forms with known secrets under hidden keys and ordinary members around them,
// written as real writers write them (tests/support/WrittenMessages.h), from the seed each input
// gives: no secret shows, and every ordinary member outside a hidden value shows whole. One node
// process writes node's ways for the whole run.
#include "FuzzSupport.h"
#include "WrittenMessages.h"

#include <QHashFunctions>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

namespace {

QProcess* writer = nullptr;
WrittenMessages::Counts checked;

}  // namespace

// The generator builds its objects by recursion, and every way through it is a stack of its own:
// with AddressSanitizer's allocation stacks of 30 frames, its record of them grew with almost every
// input, some 20 MB a thousand inputs; four frames keep it flat.
extern "C" const char* __asan_default_options() {
    return "malloc_context_size=4";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    writer = new QProcess;
    if (const QString failed = WrittenMessages::startNode(*writer, KX_WRITE_MESSAGES_SCRIPT);
        !failed.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failed));
        fuzz::violated("node did not start");
    }
    std::atexit([] {
        std::fprintf(
            stderr, "written messages: %lld messages, %lld secrets, %lld ordinary members\n",
            static_cast<long long>(checked.messages), static_cast<long long>(checked.secrets),
            static_cast<long long>(checked.shown));
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const quint64 seed = qHashBits(data, size, 0);
    const QList<WrittenMessages::Message> messages = WrittenMessages(seed).write(8, 4, *writer);
    if (messages.isEmpty()) {
        fuzz::violated("node wrote nothing");
    }
    for (const WrittenMessages::Message& message : messages) {
        if (const QString finding = WrittenMessages::findingIn(message, checked);
            !finding.isEmpty()) {
            std::fprintf(stderr, "seed %llu: %s\n", static_cast<unsigned long long>(seed),
                         qPrintable(finding));
            fuzz::violated("a written message showed a secret or hid an ordinary member");
        }
    }
    return 0;
}
