#pragma once

// Shared by the update tests: update packages written with libarchive, and an HTTPS server on
// 127.0.0.1 whose certificate is made when the test starts.

#include "TestArchiveWriter.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <memory>

using PackageEntry = testarchive::Entry;
using testarchive::zipOf;

// An application folder as a package carries it.
inline QList<PackageEntry> applicationEntries(const QByteArray& folder, const QByteArray& info) {
    return {
        {PackageEntry::folder, folder + "/", {}, 0755},
        {PackageEntry::file, folder + "/bundle-info.json", info},
        {PackageEntry::file, folder + "/brisca-cloudphone", "#!/bin/sh\nexit 0\n", 0755},
        {PackageEntry::file, folder + "/pc/index.html", "<html></html>"},
    };
}

inline QByteArray bundleInfoJson(const QByteArray& identifier, const QByteArray& version) {
    return "{\"CFBundleIdentifier\":\"" + identifier + "\",\"CFBundleShortVersionString\":\"" +
           version + "\"}";
}

struct TestCertificate {
    QSslCertificate certificate;
    QSslKey key;
};

// A self-signed certificate for 127.0.0.1, valid for a day.
inline TestCertificate makeTestCertificate() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* x509 = X509_new();
    X509_set_version(x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), 86400);
    X509_set_pubkey(x509, key);
    X509_NAME* name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(x509, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x509, x509, nullptr, nullptr, 0);
    const std::pair<int, const char*> extensions[] = {
        {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
        {NID_basic_constraints, "critical,CA:TRUE"},
    };
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        X509_add_ext(x509, extension, -1);
        X509_EXTENSION_free(extension);
    }
    X509_sign(x509, key, EVP_sha256());

    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, x509);
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QByteArray pem(data, size);
    BIO_free(bio);
    X509_free(x509);
    EVP_PKEY_free(key);
    return {QSslCertificate(pem), QSslKey(pem, QSsl::Ec)};
}

// Answers every GET with one canned reply over TLS.
class TestTlsServer {
public:
    struct Reply {
        QByteArray body;
        bool sendsLength = true;
        // Past this many body bytes the server sends nothing more and keeps the connection.
        qsizetype stallAfter = -1;
        int status = 200;
    };

    explicit TestTlsServer(const TestCertificate& certificate) : m_certificate(certificate) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(certificate.certificate);
        configuration.setPrivateKey(certificate.key);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_server.setSslConfiguration(configuration);
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                accept(socket);
            }
        });
    }

    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("https://127.0.0.1:%1/%2").arg(m_server.serverPort()).arg(path));
    }
    // Trusts this server's certificate and nothing else.
    QSslConfiguration clientConfiguration() const {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates({m_certificate.certificate});
        return configuration;
    }
    void setReply(Reply reply) { m_reply = std::move(reply); }
    int requestCount() const { return m_requestCount; }

private:
    void accept(QTcpSocket* socket) {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const auto answer = [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (!buffer->contains("\r\n\r\n")) {
                return;
            }
            buffer->clear();
            ++m_requestCount;
            QByteArray head = "HTTP/1.1 " + QByteArray::number(m_reply.status) + " Canned\r\n";
            if (m_reply.sendsLength) {
                head += "Content-Length: " + QByteArray::number(m_reply.body.size()) + "\r\n";
            }
            head += "Connection: close\r\n\r\n";
            if (m_reply.stallAfter >= 0) {
                // In two parts, as the client reports progress at most every 100 ms.
                const qsizetype half = m_reply.stallAfter / 2;
                socket->write(head + m_reply.body.left(half));
                QTimer::singleShot(300, socket, [this, socket, half] {
                    socket->write(m_reply.body.mid(half, m_reply.stallAfter - half));
                });
                return;
            }
            socket->write(head + m_reply.body);
            socket->disconnectFromHost();
        };
        QObject::connect(socket, &QTcpSocket::readyRead, socket, answer);
        // The request may have come in with the end of the handshake, before anyone listened.
        if (socket->bytesAvailable() > 0) {
            answer();
        }
    }

    TestCertificate m_certificate;
    QSslServer m_server;
    Reply m_reply;
    int m_requestCount = 0;
};
