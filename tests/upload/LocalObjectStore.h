#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <optional>

// The S3-compatible store of tests/upload/s3 (which checks Version 4 signatures and Content-MD5)
// over HTTPS on 127.0.0.1, with a certificate made for this run. Path-style: the first path
// segment names the bucket, so the uploader's key prefixes "file" and "apk" are buckets.
class LocalObjectStore {
public:
    LocalObjectStore() = default;
    LocalObjectStore(const LocalObjectStore&) = delete;
    LocalObjectStore& operator=(const LocalObjectStore&) = delete;

    ~LocalObjectStore() {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.closeWriteChannel();  // the script stops when its input ends
            if (!m_server.waitForFinished(5000)) {
                m_server.kill();
                m_server.waitForFinished(2000);
            }
        }
    }

    // Empty on success, otherwise why the store could not start.
    QString start(const QString& storeFolder) {
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        if (node.isEmpty() || openssl.isEmpty()) {
            return QStringLiteral("node and openssl are needed; run scripts/setup.sh --tests");
        }
        if (!QDir(storeFolder + QStringLiteral("/node_modules/@20minutes/s3rver")).exists()) {
            return QStringLiteral("the store package is missing; run scripts/setup.sh --tests");
        }
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
        QProcess make;
        make.start(openssl,
                   {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                    QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                    QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), key,
                    QStringLiteral("-out"), cert});
        if (!make.waitForFinished(30000) || make.exitCode() != 0) {
            return QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(make.readAll());
        }
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(cert);
        if (certificates.isEmpty()) {
            return QStringLiteral("the test certificate does not read");
        }
        m_certificate = certificates.first();

        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(node, {storeFolder + QStringLiteral("/store.js"),
                              m_dir.filePath(QStringLiteral("data")), key, cert});
        QByteArray output;
        QElapsedTimer clock;
        clock.start();
        while (!output.contains('\n') && clock.elapsed() < 20000 &&
               m_server.state() != QProcess::NotRunning) {
            m_server.waitForReadyRead(200);
            output += m_server.readAll();
        }
        if (!output.startsWith("listening ")) {
            return QStringLiteral("the store did not start: ") + QString::fromUtf8(output);
        }
        m_port = output.mid(10).trimmed().toUShort();
        return m_port ? QString() : QStringLiteral("the store gave no port");
    }

    QUrl address() const { return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(m_port)); }
    const QSslCertificate& certificate() const { return m_certificate; }

    // The stored object's bytes at an encoded path ("/file/a%20b.txt"), or nothing when the
    // store does not answer 200.
    std::optional<QByteArray> read(const QString& encodedPath) const {
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(address().toString() + encodedPath, QUrl::StrictMode));
        QSslConfiguration tls = request.sslConfiguration();
        tls.addCaCertificate(m_certificate);
        request.setSslConfiguration(tls);
        QNetworkReply* reply = network.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        delete reply;
        if (status != 200) {
            return std::nullopt;
        }
        return body;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QSslCertificate m_certificate;
    quint16 m_port = 0;
};
