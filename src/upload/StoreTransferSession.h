#pragma once

#include "foundation/Result.h"
#include "upload/OBSRequestSigner.h"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QNetworkAccessManager;
class QNetworkRequest;
class QObject;
class QThread;

// Runs the store's PUTs on a thread of its own, each body streamed from its file, so neither the
// transfer nor the reading of the file waits on the GUI thread. Callbacks arrive on that thread.
class StoreTransferSession {
public:
    struct Callbacks {
        // Body bytes sent so far and expected. An empty body reports (0, 0) once, when the
        // store has answered.
        std::function<void(qint64 sent, qint64 expected)> progress;
        std::function<void(const QByteArray& bytes)> responseData;
        // The HTTP status when the store answered, else the transport error.
        std::function<void(std::optional<int> httpStatus, std::optional<Error> error)> finished;
    };

    // `extraCaCertificates`: authorities trusted besides the system's.
    explicit StoreTransferSession(QList<QSslCertificate> extraCaCertificates = {});
    ~StoreTransferSession();
    StoreTransferSession(const StoreTransferSession&) = delete;
    StoreTransferSession& operator=(const StoreTransferSession&) = delete;

    // May be called from any thread; dropped once `shutdown` has begun.
    void put(const QUrl& target, const HeaderList& headers, const QString& filePath,
             Callbacks callbacks);
    // Ends the thread; transfers still running are abandoned without callbacks.
    void shutdown();

private:
    void start(const QNetworkRequest& request, const QString& filePath, const Callbacks& callbacks);

    const QList<QSslCertificate> m_extraCaCertificates;
    std::mutex m_mutex;
    bool m_closed = false;
    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr;                // lives on m_thread
    QNetworkAccessManager* m_network = nullptr;  // made on m_thread, child of m_context
};
