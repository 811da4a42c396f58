// The plan package's index, plan files and remembered-plan records as read from disk, and the
// matching of whatever index they decode to.
#include "FuzzSupport.h"

#include "keymapping/KMPDirectory.h"
#include "keymapping/KMPFile.h"
#include "keymapping/PlanMatching.h"
#include "keymapping/SMPFile.h"
#include "keymapping/WindowsPlanFormat.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytes(data, size);
    if (const Result<KMPDirectory> index = KMPDirectory::decode(bytes); index) {
        for (const char* package : {"com.example.game", "com.brisca.custom", ""}) {
            (void)matchPlanEntries(QString::fromLatin1(package), index.value().kmps);
        }
    }
    (void)KMPFile::decode(bytes);
    (void)SMPFile::decode(bytes);
    (void)WindowsPlanFormat::importPlan(bytes, QStringLiteral("f.kmp"),
                                        QStringLiteral("com.example.*"),
                                        KeyMappingPlanSource::packageConfigs);
    return 0;
}
