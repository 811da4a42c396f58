#pragma once

#include <QString>

#include <optional>

// An exclusive lock on a file in the updates folder. The helper holds it around its recovery and
// swap and the client's start-up recovery around its own, so only one of them at a time touches
// the application folder and what lies beside it. The lock goes with the object, or with the
// process when that ends; programs the holder starts do not inherit it.
class UpdateLock {
public:
    enum class Wait { untilFree, no };

    // Empty when the file cannot be opened or, without waiting, while another process holds it.
    static std::optional<UpdateLock> take(const QString& path, Wait wait);

    UpdateLock(UpdateLock&& other) noexcept;
    UpdateLock& operator=(UpdateLock&& other) noexcept;
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;
    ~UpdateLock();

private:
    explicit UpdateLock(int descriptor) : m_descriptor(descriptor) {}

    int m_descriptor = -1;
};
