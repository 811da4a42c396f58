#include "RecordingSender.h"
#include "TestHttpServer.h"
#include "WebTestSupport.h"

#include "foundation/storage/SecureStorageManager.h"
#include "upload/FileUploader.h"
#include "web/LogMessageHandler.h"
#include "web/WebCryptoMessageHandler.h"
#include "web/WebCryptoStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/time.h>

namespace {

QJsonValue json(const QString& text) {
    return QJsonDocument::fromJson(("[" + text + "]").toUtf8()).array().first();
}

Web2NativeMessage request(const QString& type, const QJsonValue& data,
                          std::optional<QString> id = QStringLiteral("r1")) {
    return Web2NativeMessage{type, std::move(id), data};
}

void touch(const QString& path, const QDateTime& modified) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

}  // namespace

// The page's protected values and its daily log.
class ProtectedValuesAndLogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SecureStorageManager> m_storage;
    std::unique_ptr<WebCryptoStore> m_store;
    RecordingSender m_sender;
    std::unique_ptr<WebCryptoMessageHandler> m_crypto;
    std::unique_ptr<LineCapture> m_lines;
    bool m_randomFails = false;

    // The one reply's data, or an invalid value when nothing was answered.
    QJsonValue ask(const QString& type, const QJsonValue& data) {
        m_sender.clear();
        m_crypto->handle(request(type, data));
        const QList<Native2WebMessage> replies = m_sender.messages();
        if (replies.isEmpty()) {
            return QJsonValue(QJsonValue::Undefined);
        }
        [&] {
            QCOMPARE(replies.size(), 1);
            QCOMPARE(replies.first().type, type);
            QCOMPARE(replies.first().macrequestid, std::optional<QString>("r1"));
        }();
        return replies.first().data;
    }

    static QString logFolder() { return LogMessageHandler::logFolderPath(); }

private Q_SLOTS:
    void init() {
        m_lines = std::make_unique<LineCapture>();
        m_sender.clear();
        SecureStorageManager::Environment environment;
        environment.applicationSupportDirectory = m_dir.filePath("support");
        environment.bundleIdentifier = QStringLiteral("com.example.crypto");
        environment.console = [](const QString&) {};
        m_storage = std::make_unique<SecureStorageManager>(environment);
        m_randomFails = false;
        m_store = std::make_unique<WebCryptoStore>(*m_storage, [this](CryptoHelper::IV& iv) {
            return m_randomFails ? -1 : CryptoHelper::makeRandomIV(iv);
        });
        m_crypto = std::make_unique<WebCryptoMessageHandler>(
            WebCryptoMessageHandler::Environment{m_store.get(), &m_sender});
        QDir(logFolder()).removeRecursively();
    }
    void cleanup() { m_lines.reset(); }

    void valuesComeBackWithTheirKinds_data() {
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("values");
        QTest::newRow("list of every kind") << R"({"data":["a",1,true,null,{"k":"v"}]})"
                                            << R"(["a",1,true,null,{"k":"v"}])";
        QTest::newRow("one text") << R"({"data":"abc"})"
                                  << R"("abc")";
        QTest::newRow("JSON text holding the list") << "\"{\\\"data\\\":[2.5,[1]]}\""
                                                    << R"([2.5,[1]])";
        QTest::newRow("plain text is the value") << R"("not json")"
                                                 << R"("not json")";
    }
    void valuesComeBackWithTheirKinds() {
        QFETCH(QString, data);
        QFETCH(QString, values);
        const QJsonValue tokens = ask("encrypt", json(data));
        QVERIFY(!tokens.isUndefined());
        QCOMPARE(tokens.isArray(), json(values).isArray());
        QCOMPARE(ask("decrypt", QJsonObject{{"data", tokens}}), json(values));
    }

    void sameValueTwiceGivesTwoTokens() {
        const QJsonValue tokens = ask("encrypt", json(R"({"data":["same","same"]})"));
        QCOMPARE(tokens.toArray().size(), 2);
        QVERIFY(tokens[0] != tokens[1]);
        QCOMPARE(ask("decrypt", QJsonObject{{"data", tokens}}), json(R"(["same","same"])"));
    }

    void refusalsAnswerNothing_data() {
        QTest::addColumn<QString>("tokens");  // "<good>" is replaced by a token just issued
        QTest::addColumn<bool>("deleteFile");
        QTest::addColumn<QString>("line");
        const QString unmatched = "❌ decrypt 未匹配到全部数据";
        QTest::newRow("16 bytes") << QString(QByteArray(16, 'k').toBase64()) << false << unmatched;
        QTest::newRow("one bad token in a list")
            << R"(["<good>","AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="])" << false << unmatched;
        QTest::newRow("value file deleted") << "\"<good>\"" << true << unmatched;
        QTest::newRow("token with a line break") << "\"<good>\\n\"" << false << unmatched;
        QTest::newRow("list with a number")
            << R"(["<good>",1])" << false << "❌ decrypt data 格式无效";
        QTest::newRow("empty text") << R"("")" << false << "❌ decrypt data 格式无效";
    }
    void refusalsAnswerNothing() {
        QFETCH(QString, tokens);
        QFETCH(bool, deleteFile);
        QFETCH(QString, line);
        const QString good = ask("encrypt", QJsonObject{{"data", "v"}}).toString();
        QVERIFY(!good.isEmpty());
        if (deleteFile) {
            QVERIFY(m_storage->deleteFile(WebCryptoStore::kFileName));
        }
        if (!tokens.startsWith('"') && !tokens.startsWith('[')) {
            tokens = '"' + tokens + '"';
        }
        QVERIFY(ask("decrypt", QJsonObject{{"data", json(tokens.replace("<good>", good))}})
                    .isUndefined());
        QVERIFY2(m_lines->logged(line), qPrintable(m_lines->log().join('\n')));
    }

    void encryptRefusals_data() {
        QTest::addColumn<bool>("withId");
        QTest::addColumn<bool>("randomFails");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("line");
        QTest::newRow("no macrequestid") << false << false << R"({"data":"a"})"
                                         << "❌ encrypt 缺少 macrequestid";
        QTest::newRow("random source fails") << true << true << R"({"data":"a"})"
                                             << "❌ encrypt 数据处理失败";
        QTest::newRow("dictionary without data") << true << false << R"({"x":1})"
                                                 << "❌ encrypt data 格式无效";
    }
    void encryptRefusals() {
        QFETCH(bool, withId);
        QFETCH(bool, randomFails);
        QFETCH(QString, data);
        QFETCH(QString, line);
        m_randomFails = randomFails;
        m_crypto->handle(
            request("encrypt", json(data), withId ? std::optional<QString>("r1") : std::nullopt));
        QVERIFY(m_sender.messages().isEmpty());
        QVERIFY2(m_lines->logged(line), qPrintable(m_lines->log().join('\n')));
    }

    void oldFilesGoFoldersStay() {
        QVERIFY(QDir().mkpath(logFolder() + "/sub"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        touch(logFolder() + "/old.log", now.addSecs(-259201));
        touch(logFolder() + "/young.log", now.addSecs(-259199));
        touch(logFolder() + "/sdk-any-name.txt", now.addSecs(-400000));
        const QByteArray folder = QFile::encodeName(logFolder() + "/sub");
        const struct timeval old[2] = {{now.toSecsSinceEpoch() - 900000, 0},
                                       {now.toSecsSinceEpoch() - 900000, 0}};
        QCOMPARE(utimes(folder.constData(), old), 0);
        LogMessageHandler::cleanOldLogFiles(logFolder(), now);
        QStringList left = QDir(logFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        left.sort();
        QCOMPARE(left, (QStringList{"sub", "young.log"}));

        // The next write runs the same clean-up.
        touch(logFolder() + "/old.log", now.addSecs(-259300));
        LogMessageHandler handler(LogMessageHandler::Environment{{}, &m_sender});
        handler.handle(
            Web2NativeMessage{"write-local-log", std::nullopt, QJsonObject{{"msg", "第一行"}}});
        QVERIFY(!QFile::exists(logFolder() + "/old.log"));
    }

    void linesAreStampedAndAppended() {
        LogMessageHandler handler(LogMessageHandler::Environment{{}, &m_sender});
        handler.handle(
            Web2NativeMessage{"write-local-log", std::nullopt, QJsonObject{{"msg", "a b"}}});
        handler.handle(Web2NativeMessage{"write-local-log", std::nullopt,
                                         QJsonObject{{"msg", 5}}});  // not a text: dropped
        handler.handle(
            Web2NativeMessage{"write-local-log", std::nullopt, QJsonObject{{"msg", "二"}}});
        QFile file(logFolder() + "/" +
                   LogMessageHandler::dailyFileName(QDateTime::currentDateTime()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.last(), QString());
        const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ ");
        QVERIFY2(stamp.match(lines[0]).hasMatch(), qPrintable(lines[0]));
        QCOMPARE(lines[0].mid(21), "a b");
        QCOMPARE(lines[1].mid(21), "二");
        QVERIFY(m_lines->logged("📝 写入日志: a b"));
        QCOMPARE(LogMessageHandler::logLine(
                     "x", QDateTime(QDate(2026, 3, 1), QTime(0, 30), QTimeZone(3600))),
                 QByteArray("2026-02-28T23:30:00Z x\n"));
    }

    void uploadGoesOnPastAFailedFile() {
        QVERIFY(QDir().mkpath(logFolder()));
        touch(logFolder() + "/a.log", QDateTime::currentDateTimeUtc());
        touch(logFolder() + "/b.log", QDateTime::currentDateTimeUtc());
        TestHttpServer store;
        store.setReplies({{403, "<Error/>", {}, 0}, {200, "", {}, 0}});
        FileUploader::Configuration configuration;
        configuration.storeAddress = store.baseUrl();
        configuration.userID = [] { return std::optional<QString>("u1"); };
        configuration.console = [](const QString&) {};
        FileUploader uploader(configuration);
        const qint64 later = QDateTime::currentSecsSinceEpoch() + 3600;
        uploader.setCredentialConfig(
            OBSConfig{"AK", "SK", "bkt", std::nullopt, "obs.example.com", QString(), 3600, later});
        LogMessageHandler handler(
            LogMessageHandler::Environment{[&uploader] { return &uploader; }, &m_sender});
        handler.handle(Web2NativeMessage{"request-upload-log", std::nullopt, QJsonObject{}});
        QTRY_COMPARE_WITH_TIMEOUT(m_sender.dataTexts("upload-log").last(),
                                  R"({"state":"complete"})", 20000);
        QStringList states = m_sender.dataTexts("upload-log");
        QCOMPARE(states.first(), R"({"state":"ready"})");
        QVERIFY(states.contains(R"({"state":"uploading"})"));
        QCOMPARE(store.requests().size(), 2);
        QVERIFY(m_lines->loggedStartingWith("requestUploadLog: 上传失败"));
    }

    void emptyFolderUploadsNothing() {
        LogMessageHandler handler(LogMessageHandler::Environment{{}, &m_sender});
        handler.handle(Web2NativeMessage{"request-upload-log", std::nullopt, QJsonObject{}});
        handler.handle(Web2NativeMessage{"open-log", std::nullopt, QJsonObject{}});
        QVERIFY(m_sender.messages().isEmpty());
        QVERIFY(m_lines->logged("⚠️ 没有可上传的日志文件"));
    }
};

QTEST_GUILESS_MAIN(ProtectedValuesAndLogTest)
#include "tst_ProtectedValuesAndLog.moc"
