#include "update/UpdateError.h"
#include "update/UpdateInfo.h"
#include "update/UpdateState.h"
#include "update/UpdateTask.h"
#include "update/UpdatesDirectory.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// JSON written with single quotes, which keeps the rows readable.
QByteArray jsonText(const char* text) {
    return QByteArray(text).replace('\'', '"');
}

QJsonObject parseObject(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

const UpdateTask kTask{QStringLiteral("/tmp/unpacked/应用"), QStringLiteral("/opt/app"),
                       QStringLiteral("/tmp/unpacked"), QStringLiteral("/data/update-1.zip"),
                       QStringLiteral("1.2.3.4")};

}  // namespace

class TestUpdateRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void offerURLSurvivesTheRoundTrip_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("hash in the fragment") << "https://h.example/u.zip?q=a%23b#part#2";
        QTest::newRow("encoded hash in the fragment") << "https://h.example/u.zip#a%23b";
        QTest::newRow("both in the fragment") << "https://h.example/u.zip#a#%23b";
        QTest::newRow("escapes kept") << "https://h.example/a%20b/%2F.zip?x=%25&y=%2B#%25";
        QTest::newRow("non-ASCII") << QStringLiteral("https://h.example/版本.zip?n=版#版");
        QTest::newRow("empty fragment") << "https://h.example/u.zip#";
    }
    void offerURLSurvivesTheRoundTrip() {
        QFETCH(QString, url);
        UpdateInfo info;
        info.version = QStringLiteral("2.0.0");
        info.downloadURL = QUrl(url, QUrl::StrictMode);
        QVERIFY(info.downloadURL.isValid());
        const QJsonObject json = parseObject(QJsonDocument(info.toJson()).toJson());
        const Result<UpdateInfo> back = UpdateInfo::fromJson(json);
        QVERIFY(back);
        QCOMPARE(back.value().downloadURL, info.downloadURL);
        QCOMPARE(back.value().downloadURL.toString(), info.downloadURL.toString());
        // The stored text stays plain ASCII, ready for any HTTP client.
        QVERIFY(json["downloadURL"].toString().toLatin1() ==
                json["downloadURL"].toString().toUtf8());
    }

    void offerLeavesAbsentMembersOut() {
        const UpdateInfo info{QStringLiteral("2.0.0"),
                              std::nullopt,
                              QUrl(QStringLiteral("https://h.example/a b.zip")),
                              std::nullopt,
                              true,
                              std::nullopt};
        const QJsonObject json = info.toJson();
        QCOMPARE(json.keys(), (QStringList{"downloadURL", "isMandatory", "version"}));
        QCOMPARE(UpdateInfo::fromJson(json).value(), info);
    }

    void offerDecoding_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("accepted");
        const QByteArray base =
            jsonText("'version':'1.0','downloadURL':'https://h/x','isMandatory':false");
        QTest::newRow("all members")
            << "{" + base + jsonText(",'build':7,'sha256':'AB','releaseNotes':'n'}") << true;
        QTest::newRow("optional members null")
            << "{" + base + jsonText(",'build':null,'sha256':null,'releaseNotes':null}") << true;
        QTest::newRow("no version")
            << jsonText("{'downloadURL':'https://h/x','isMandatory':true}") << false;
        QTest::newRow("empty url")
            << jsonText("{'version':'1','downloadURL':'','isMandatory':true}") << false;
        QTest::newRow("malformed url")
            << jsonText("{'version':'1','downloadURL':'https://[x','isMandatory':true}") << false;
        QTest::newRow("no isMandatory")
            << jsonText("{'version':'1','downloadURL':'https://h'}") << false;
        QTest::newRow("build as text") << "{" + base + jsonText(",'build':'7'}") << false;
        QTest::newRow("build with a fraction") << "{" + base + jsonText(",'build':7.5}") << false;
    }
    void offerDecoding() {
        QFETCH(QByteArray, json);
        QFETCH(bool, accepted);
        const QJsonDocument document = QJsonDocument::fromJson(json);
        QVERIFY(!document.isNull());
        const Result<UpdateInfo> info = UpdateInfo::fromJson(document.object());
        QCOMPARE(info.ok(), accepted);
        if (accepted) {
            QCOMPARE(info.value().toJson().value("version"), QJsonValue("1.0"));
        }
    }

    void errorDescriptions_data() {
        QTest::addColumn<UpdateError>("error");
        QTest::addColumn<QString>("description");
        QTest::newRow("already running") << UpdateError::alreadyRunning() << "已有更新任务正在执行";
        QTest::newRow("checksum") << UpdateError::checksumMismatch() << "安装包校验失败";
        QTest::newRow("invalid package") << UpdateError::invalidPackage("x") << "x";
        QTest::newRow("command failed") << UpdateError::commandFailed(QStringLiteral("x")) << "x";
        QTest::newRow("identifiers")
            << UpdateError::bundleIdentifierMismatch(QStringLiteral("a.b"), QStringLiteral("c.d"))
            << "Bundle ID 不匹配：当前 a.b，安装包 c.d";
        QTest::newRow("identifiers unknown")
            << UpdateError::bundleIdentifierMismatch(std::nullopt, std::nullopt)
            << "Bundle ID 不匹配：当前 未知，安装包 未知";
        QTest::newRow("standard error")
            << UpdateError::commandFailed(QByteArray("失败\n"), QStringLiteral("/bin/x"))
            << "失败\n";
        QTest::newRow("standard error not UTF-8")
            << UpdateError::commandFailed(QByteArray("bad \xff"), QStringLiteral("/bin/x"))
            << "/bin/x";
        QTest::newRow("standard error cut inside a character")
            << UpdateError::commandFailed(QByteArray("\xe5\xa4"), QStringLiteral("/bin/x"))
            << "/bin/x";
    }
    void errorDescriptions() {
        QFETCH(UpdateError, error);
        QFETCH(QString, description);
        QCOMPARE(error.errorDescription(), description);
        // What the progress window shows of a failed state.
        QCOMPARE(UpdateState::failed(error).error()->message, description);
    }

    void taskRoundTripKeepsMemberOrder() {
        const QByteArray json = kTask.toJson();
        QVERIFY(
            json.startsWith(jsonText("{'sourceAppPath':'/tmp/unpacked/应用','targetAppPath':")));
        QVERIFY(json.indexOf("packagePath") < json.indexOf("targetVersion"));
        QCOMPARE(UpdateTask::fromJson(json).value(), kTask);
    }

    void taskDecodingFailures_data() {
        QTest::addColumn<QByteArray>("json");
        QJsonObject complete = parseObject(kTask.toJson());
        QJsonObject missing = complete;
        missing.remove("mountedVolumePath");
        QJsonObject number = complete;
        number.insert("targetAppPath", 3);
        QTest::newRow("member missing") << QJsonDocument(missing).toJson();
        QTest::newRow("number for a path") << QJsonDocument(number).toJson();
        QTest::newRow("truncated") << kTask.toJson().chopped(1);
    }
    void taskDecodingFailures() {
        QFETCH(QByteArray, json);
        QVERIFY(!UpdateTask::fromJson(json).ok());
    }

    void folderLayout_data() {
        QTest::addColumn<std::optional<QString>>("identifier");
        QTest::addColumn<QString>("folder");
        QTest::newRow("identifier") << std::optional<QString>("com.k.x") << "/data/com.k.x/Updates";
        QTest::newRow("none") << std::optional<QString>() << "/data/mac_brisca_cn/Updates";
    }
    void folderLayout() {
        QFETCH(std::optional<QString>, identifier);
        QFETCH(QString, folder);
        QCOMPARE(UpdatesDirectory(QStringLiteral("/data"), identifier).path(), folder);
    }

    void filesGetFreshNames() {
        QTemporaryDir root;
        const UpdatesDirectory updates(root.path(), QStringLiteral("com.k.x"));
        const QRegularExpression packageName(
            "^update-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.zip$");
        const QString first = updates.newPackagePath();
        QVERIFY(packageName.match(QFileInfo(first).fileName()).hasMatch());
        QCOMPARE(QFileInfo(first).absolutePath(), updates.path());
        QVERIFY(first != updates.newPackagePath());
        QVERIFY(!QDir(updates.path()).exists());

        QVERIFY(!updates.writeTask(kTask).ok());
        QVERIFY(updates.create().ok());
        QVERIFY(updates.create().ok());
        const Result<QString> firstTask = updates.writeTask(kTask);
        const Result<QString> secondTask = updates.writeTask(kTask);
        QVERIFY(firstTask.ok() && secondTask.ok());
        QVERIFY(firstTask.value() != secondTask.value());
        QVERIFY(QFileInfo(firstTask.value()).fileName().startsWith("task-"));
        QCOMPARE(UpdateTask::readFromFile(firstTask.value()).value(), kTask);
        QCOMPARE(QDir(updates.path()).entryList(QDir::Files).size(), 2);
        QVERIFY(!UpdateTask::readFromFile(updates.newTaskPath()).ok());
    }

    // Only what the manager named may be removed after an update, and only in the folder itself.
    void removableItems_data() {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("volume");
        QTest::addColumn<bool>("package");
        const QString uuid = QStringLiteral("0A1B2C3D-4E5F-6789-ABCD-EF0123456789");
        QTest::newRow("unpacked folder") << "Updates/volume-" + uuid << true << false;
        QTest::newRow("package") << "Updates/update-" + uuid + ".zip" << false << true;
        QTest::newRow("lower-case UUID") << "Updates/volume-" + uuid.toLower() << false << false;
        QTest::newRow("braced UUID") << "Updates/update-{" + uuid + "}.zip" << false << false;
        QTest::newRow("no UUID") << "Updates/update-.zip" << false << false;
        QTest::newRow("other extension") << "Updates/update-" + uuid + ".dmg" << false << false;
        QTest::newRow("task file") << "Updates/task-" + uuid + ".json" << false << false;
        QTest::newRow("one level down") << "Updates/x/volume-" + uuid << false << false;
        QTest::newRow("out by ..") << "Updates/../update-" + uuid + ".zip" << false << false;
        QTest::newRow("through a linked folder")
            << "linked/update-" + uuid + ".zip" << false << true;
        QTest::newRow("the folder itself") << "Updates" << false << false;
        QTest::newRow("elsewhere") << "volume-" + uuid << false << false;
    }
    void removableItems() {
        QFETCH(QString, relative);
        QFETCH(bool, volume);
        QFETCH(bool, package);
        QTemporaryDir root;
        const UpdatesDirectory updates(root.path(), QStringLiteral("com.k.x"));
        QVERIFY(QDir().mkpath(updates.path() + "/x"));
        QVERIFY(QFile::link(updates.path(), root.filePath("com.k.x/linked")));
        const QString path = root.filePath(QStringLiteral("com.k.x/") + relative);
        QCOMPARE(updates.holdsVolumePath(path), volume);
        QCOMPARE(updates.holdsPackagePath(path), package);
        QVERIFY(updates.holdsVolumePath(updates.newVolumePath()));
    }
};

QTEST_GUILESS_MAIN(TestUpdateRecords)
#include "tst_UpdateRecords.moc"
