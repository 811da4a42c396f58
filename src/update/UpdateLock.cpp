#include "update/UpdateLock.h"

#include <QFile>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::optional<UpdateLock> UpdateLock::take(const QString& path, Wait wait) {
    const int descriptor = ::open(QFile::encodeName(path).constData(),
                                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) {
        return std::nullopt;
    }
    UpdateLock lock(descriptor);
    const int operation = wait == Wait::untilFree ? LOCK_EX : LOCK_EX | LOCK_NB;
    int result = 0;
    do {
        result = ::flock(descriptor, operation);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return std::nullopt;
    }
    return lock;
}

UpdateLock::UpdateLock(UpdateLock&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1)) {}

UpdateLock& UpdateLock::operator=(UpdateLock&& other) noexcept {
    if (this != &other) {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

UpdateLock::~UpdateLock() {
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}
