#include "foundation/storage/DocumentsRoot.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

QString userDatabaseHome() {
    // getpwuid_r: other threads may be reading the database at the same time.
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(suggested > 0 ? suggested : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return QString::fromLocal8Bit(found->pw_dir);
    }
    return QDir::homePath();
}

}  // namespace

// Each is resolved on first use, once per process: the static's initialisation is thread-safe.
QString userDatabaseDocumentsPath() {
    static const QString path = QDir::cleanPath(userDatabaseHome() + QStringLiteral("/Documents"));
    return path;
}

QString documentsRootPath() {
    static const QString path = [] {
        const QString overridden = qEnvironmentVariable("KX_DOCUMENTS_ROOT");
        return overridden.isEmpty() ? userDatabaseDocumentsPath() : QDir::cleanPath(overridden);
    }();
    return path;
}
