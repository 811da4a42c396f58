// Uploads to a real S3-compatible store that checks every signature, byte for byte.

#include "LocalObjectStore.h"
#include "TestHttpServer.h"
#include "upload/FileUploader.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kEndPoint = QStringLiteral("obs.cn-east-3.example.com");

// The credential reply of the service stand-in; the store knows the key pair S3RVER/S3RVER.
QByteArray credentialReply(const QString& secret) {
    const qint64 expiredAt = QDateTime::currentSecsSinceEpoch() + 3600;
    return QStringLiteral(R"({"msg":"ok","code":0,"data":{"ak":"S3RVER","sk":"%1","bucket":"bkt",)"
                          R"("endPoint":"%2","token":"session-token","validSecond":3600,)"
                          R"("expiredAt":%3}})")
        .arg(secret, kEndPoint)
        .arg(expiredAt)
        .toUtf8();
}

QByteArray pseudoRandomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    const qsizetype words = size / 4;
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), words);
    for (qsizetype i = words * 4; i < size; ++i) {
        bytes[i] = static_cast<char>(generator.generate());
    }
    return bytes;
}

struct Outcome {
    int calls = 0;
    std::optional<Error> error;
    QString url;
    bool success = false;
    QList<float> fractions;
};

}  // namespace

class RealStoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    LocalObjectStore m_store;
    TestHttpServer m_service;

    std::unique_ptr<FileUploader> uploaderWithSecret(const QString& secret) {
        FileUploader::Configuration configuration;
        configuration.storeAddress = m_store.address();
        configuration.extraCaCertificates = {m_store.certificate()};
        configuration.console = [](const QString&) {};
        auto uploader = std::make_unique<FileUploader>(configuration);
        m_service.setReplies({{200, credentialReply(secret), {}, 0}});
        uploader->setAuthDomain(m_service.baseUrl().toString());
        bool fetched = false;
        uploader->updateAuthCredentialIfNeeded([&fetched] { fetched = true; });
        if (!QTest::qWaitFor([&fetched] { return fetched; }, 5000) ||
            !uploader->credentialConfig()) {
            return nullptr;
        }
        return uploader;
    }

    static void upload(FileUploader& uploader, const QString& name, const QString& path,
                       Outcome& outcome) {
        uploader.uploadFile(
            name, path,
            [&outcome](float fraction, const QString&, const QString&) {
                outcome.fractions.append(fraction);
            },
            [&outcome](const QString&, const std::optional<Error>& error, const QString& url,
                       bool success) {
                ++outcome.calls;
                outcome.error = error;
                outcome.url = url;
                outcome.success = success;
            });
    }

private Q_SLOTS:
    void initTestCase() {
        const QString why = m_store.start(QStringLiteral(KX_UPLOAD_STORE_DIR));
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    void storedByteForByte_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QString>("path");
        QTest::newRow("space") << "a b.txt" << qsizetype(3000) << "/file/a%20b.txt";
        QTest::newRow("Chinese and brackets")
            << "截图(1).png" << qsizetype(4096) << "/file/%E6%88%AA%E5%9B%BE%281%29.png";
        QTest::newRow("brackets") << "IMG (1).jpg" << qsizetype(777) << "/file/IMG%20%281%29.jpg";
        QTest::newRow("plus") << "plus+sign.txt" << qsizetype(10) << "/file/plus%2Bsign.txt";
        QTest::newRow("tilde") << "tilde~x.txt" << qsizetype(11) << "/file/tilde~x.txt";
        QTest::newRow("apk in capitals") << "Game.APK" << qsizetype(5000) << "/apk/Game.APK";
        QTest::newRow("0 B") << "empty.bin" << qsizetype(0) << "/file/empty.bin";
        QTest::newRow("1 MiB") << "one.bin" << qsizetype(1 << 20) << "/file/one.bin";
        QTest::newRow("64 MiB") << "large.bin" << qsizetype(64 << 20) << "/file/large.bin";
    }
    void storedByteForByte() {
        QFETCH(QString, fileName);
        QFETCH(qsizetype, size);
        QFETCH(QString, path);
        const QByteArray content = pseudoRandomBytes(size);
        const QString filePath = m_dir.filePath(fileName);
        {
            QFile file(filePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(content), size);
        }
        auto uploader = uploaderWithSecret(QStringLiteral("S3RVER"));
        QVERIFY(uploader);
        Outcome outcome;
        upload(*uploader, fileName, filePath, outcome);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 45000);
        QVERIFY2(outcome.success, qPrintable(outcome.error.value_or(Error{}).message));
        QCOMPARE(outcome.url, QStringLiteral("https://bkt.") + kEndPoint + path);
        QVERIFY(!outcome.fractions.isEmpty());
        QCOMPARE(outcome.fractions.last(), 1.0f);

        const std::optional<QByteArray> stored = m_store.read(path);
        QVERIFY(stored);
        QCOMPARE(stored->size(), size);
        QVERIFY(*stored == content);
    }

    void wrongSecretIsRefused() {
        const QString filePath = m_dir.filePath(QStringLiteral("refused.txt"));
        {
            QFile file(filePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("refused");
        }
        auto uploader = uploaderWithSecret(QStringLiteral("not-the-secret"));
        QVERIFY(uploader);
        Outcome outcome;
        upload(*uploader, QStringLiteral("refused.txt"), filePath, outcome);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 20000);
        QVERIFY(!outcome.success);
        const Error error = outcome.error.value_or(Error{});
        QCOMPARE(error.code, 403);
        QVERIFY2(error.message.startsWith(QStringLiteral("上传失败 (HTTP 403): ")),
                 qPrintable(error.message));
        QVERIFY2(error.message.contains(QStringLiteral("SignatureDoesNotMatch")),
                 qPrintable(error.message));
        QVERIFY(!m_store.read(QStringLiteral("/file/refused.txt")));
    }
};

QTEST_GUILESS_MAIN(RealStoreTest)
#include "tst_RealStore.moc"
