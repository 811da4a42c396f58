#include "TestArchive.h"
#include "foundation/MainQueue.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/SMPFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>

using namespace std::chrono_literals;
using Entry = TestArchiveEntry;
using Plans = QList<ImportedKeyMappingPlan>;

namespace {

const QString kGame = QStringLiteral("com.example.game");

QByteArray pointPlan(int key) {
    return QStringLiteral(R"({"keyboardMappings":[{"class":"ClassKeyboardPoint",
        "data":{"key":%1,"point":{"x":5000,"y":5000}}}]})")
        .arg(key)
        .toUtf8();
}

const QByteArray kIndex = R"({"kmps":[
    {"packageNamePattern":"com.example.*","fileName":"generic.kmp"},
    {"packageNamePattern":"com.example.game","fileName":"game.kmp","priority":1},
    {"packageNamePattern":"com.example.game","fileName":"broken.kmp"},
    {"packageNamePattern":"com.other","fileName":"other.kmp"},
    {"packageNamePattern":"","fileName":"game.kmp","priority":9}]})";

QList<TestArchiveEntry> packageEntries() {
    return {Entry::file(QStringLiteral("dir_kmps.dir"), kIndex),
            Entry::file(QStringLiteral("game.kmp"), pointPlan(81)),
            Entry::file(QStringLiteral("generic.kmp"), pointPlan(69)),
            Entry::file(QStringLiteral("other.kmp"), pointPlan(70)),
            Entry::file(QStringLiteral("broken.kmp"), "{")};
}

bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList fileNames(const Plans& plans) {
    QStringList names;
    for (const ImportedKeyMappingPlan& plan : plans) {
        names << plan.fileName;
    }
    return names;
}

// Every path under `folder`, relative to it.
QStringList tree(const QString& folder) {
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        paths << QDir(folder).relativeFilePath(it.next());
    }
    paths.sort();
    return paths;
}

// Serves the plan package over HTTP on 127.0.0.1, one request per connection.
class PackageServer : public QObject {
public:
    enum class Mode { serve, truncate, silent };

    Mode mode = Mode::serve;
    int status = 200;
    QByteArray body;
    int requests = 0;

    PackageServer() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { onData(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/tamufile/package_configs_1005.rcc")
                        .arg(m_server.serverPort()));
    }

private:
    void onData(QTcpSocket* socket) {
        QByteArray& request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        ++requests;
        if (mode == Mode::silent) {
            return;
        }
        const qsizetype announced = body.size() + (mode == Mode::truncate ? 1000 : 0);
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Length: " +
                      QByteArray::number(announced) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_requests;
};

}  // namespace

class KeyMappingConfigManagerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PackageServer> m_server;
    std::mutex m_consoleMutex;
    QStringList m_console;
    std::atomic<int> m_offMainCompletions{0};

    QString dataFolder() const { return m_dir->filePath(QStringLiteral("data")); }
    QString root() const { return dataFolder() + QStringLiteral("/Brisca/keymapping"); }
    QString packageFolder() const { return root() + QStringLiteral("/package_configs_1005"); }
    QString customFile(const QString& name) const { return root() + "/custom/" + name; }
    QString selectedFile(const QString& name) const { return root() + "/selected/" + name; }

    std::unique_ptr<KeyMappingConfigManager> makeStore(const QString& bundled = {},
                                                       std::chrono::milliseconds timeout = 5s,
                                                       std::optional<QUrl> url = std::nullopt) {
        KeyMappingConfigManager::Configuration configuration;
        configuration.applicationSupportFolder = dataFolder();
        configuration.bundledPackagePath = bundled;
        configuration.rccDownloadURL = url.value_or(m_server->url());
        configuration.downloadTimeout = timeout;
        configuration.console = [this](const QString& line) {
            std::lock_guard lock(m_consoleMutex);
            m_console << line;
        };
        return std::make_unique<KeyMappingConfigManager>(configuration);
    }

    QStringList takeConsole() {
        std::lock_guard lock(m_consoleMutex);
        return std::exchange(m_console, {});
    }

    QString serveArchive(const QList<TestArchiveEntry>& entries) {
        const QString path = m_dir->filePath(QStringLiteral("served.rcc"));
        if (writeTestArchive(path, entries)) {
            m_server->body = readFile(path);
        }
        return path;
    }

    void installPackage(const QByteArray& index, const QList<TestArchiveEntry>& files = {}) {
        writeFile(packageFolder() + QStringLiteral("/dir_kmps.dir"), index);
        for (const TestArchiveEntry& file : files) {
            writeFile(packageFolder() + QLatin1Char('/') + file.name, file.data);
        }
    }

    template <typename T>
    std::function<void(T)> collect(std::optional<T>& into) {
        return [this, &into](T result) {
            if (!MainQueue::isMainThread()) {
                ++m_offMainCompletions;
            }
            into = std::move(result);
        };
    }

    template <typename T>
    T wait(std::optional<T>& result) {
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 15000)) {
            return T(Error{QStringLiteral("test"), -1, QStringLiteral("no answer")});
        }
        return *result;
    }

    Result<Plans> load(KeyMappingConfigManager& store, const QString& packageName) {
        std::optional<Result<Plans>> result;
        store.loadPlans(packageName, collect(result));
        return wait(result);
    }

    Result<ImportedKeyMappingPlan> save(KeyMappingConfigManager& store, const QString& name,
                                        const QByteArray& data) {
        std::optional<Result<ImportedKeyMappingPlan>> result;
        store.workQueue().async([&, completion = collect(result)] {
            store.saveCustomPlan(kGame, name, data, completion);
        });
        return wait(result);
    }

    Result<ImportedKeyMappingPlan> rename(KeyMappingConfigManager& store,
                                          const ImportedKeyMappingPlan& plan, const QString& name) {
        std::optional<Result<ImportedKeyMappingPlan>> result;
        store.workQueue().async([&, completion = collect(result)] {
            store.renameCustomPlan(plan, name, kGame, completion);
        });
        return wait(result);
    }

    Result<void> remove(KeyMappingConfigManager& store, const ImportedKeyMappingPlan& plan) {
        std::optional<Result<void>> result;
        store.deleteCustomPlan(kGame, plan, collect(result));
        return wait(result);
    }

    QString rememberedFor(const QString& package) {
        const QJsonObject record =
            QJsonDocument::fromJson(readFile(selectedFile(package + ".smp"))).object();
        return record.value("resolutionRelatives").toObject().value("keyboardId").toString();
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_server = std::make_unique<PackageServer>();
        m_offMainCompletions = 0;
        takeConsole();
    }

    void cleanup() { QCOMPARE(m_offMainCompletions.load(), 0); }

    void standardRootIsInTheUsersDataFolder() {
        const auto standard = KeyMappingConfigManager::Configuration::standard();
        QCOMPARE(standard.applicationSupportFolder,
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
        QCOMPARE(standard.rccDownloadURL.scheme(), QStringLiteral("https"));
        QCOMPARE(standard.rccDownloadURL.path(),
                 QStringLiteral("/tamufile/package_configs_1005.rcc"));
        QCOMPARE(KeyMappingConfigManager::shared().workQueue().label(),
                 QStringLiteral("com.brisca.keyMappingConfig"));
    }

    void firstLoadDownloadsAndUnpacksOnce() {
        serveArchive(packageEntries());
        QVERIFY(writeFile(customFile(kGame + "_mine.kmp"), pointPlan(49)));
        auto store = makeStore();

        const Result<Plans> first = load(*store, kGame);
        QVERIFY2(first.ok(), qPrintable(first.ok() ? QString() : first.error().message));
        QCOMPARE(fileNames(first.value()),
                 QStringList({kGame + "_mine.kmp", "game.kmp", "generic.kmp"}));
        QCOMPARE(first.value().at(0).source, KeyMappingPlanSource::custom);
        QCOMPARE(first.value().at(0).packagePattern, kGame);
        QCOMPARE(first.value().at(2).source, KeyMappingPlanSource::packageConfigs);
        QCOMPARE(first.value().at(2).packagePattern, QStringLiteral("com.example.*"));
        const QStringList console = takeConsole();
        QCOMPARE(console.size(), 1);
        QVERIFY(console.at(0).startsWith(
            "[keymapping] skip invalid plan package=com.example.game file=broken.kmp error="));
        QCOMPARE(m_server->requests, 1);
        QVERIFY(QFile::exists(root() + "/package_configs_1005.rcc"));

        store->saveSelectedPlan(kGame, first.value().at(2));
        QVERIFY(load(*store, kGame).ok());
        QCOMPARE(fileNames(load(*makeStore(), kGame).value()),
                 QStringList({"generic.kmp", kGame + "_mine.kmp", "game.kmp"}));
        QCOMPARE(m_server->requests, 1);
    }

    void customPageDoesNoPackageWork() {
        auto store = makeStore();
        const Result<Plans> empty = load(*store, QStringLiteral("com.brisca.custom"));
        QVERIFY(empty.ok());
        QVERIFY(empty.value().isEmpty());
        QVERIFY(writeFile(customFile("com.brisca.custom_a.kmp"), pointPlan(81)));
        QCOMPARE(fileNames(load(*store, QStringLiteral("com.brisca.custom")).value()),
                 QStringList({"com.brisca.custom_a.kmp"}));
        QCOMPARE(m_server->requests, 0);
        QVERIFY(!QFile::exists(packageFolder()));
    }

    void bundledPackageIsUsedAsItIs() {
        const QString bundled = m_dir->filePath(QStringLiteral("bundle/package_configs_1005.rcc"));
        QDir().mkpath(QFileInfo(bundled).absolutePath());
        QVERIFY(writeTestArchive(bundled, packageEntries()));
        const Result<Plans> plans = load(*makeStore(bundled), QStringLiteral("com.other"));
        QCOMPARE(fileNames(plans.value()), QStringList({"other.kmp"}));
        QCOMPARE(m_server->requests, 0);
        QVERIFY(QFile::exists(bundled));
        QVERIFY(!QFile::exists(root() + "/package_configs_1005.rcc"));
    }

    void unpackedPackageAndIndexAreKept() {
        installPackage(R"({"kmps":[{"packageNamePattern":"com.x","fileName":"x.kmp"}]})",
                       {Entry::file("x.kmp", pointPlan(81))});
        auto store = makeStore();
        QCOMPARE(fileNames(load(*store, "com.x").value()), QStringList({"x.kmp"}));
        installPackage(R"({"kmps":[]})");
        QCOMPARE(fileNames(load(*store, "com.x").value()), QStringList({"x.kmp"}));
        QVERIFY(load(*makeStore(), "com.x").value().isEmpty());
        QCOMPARE(m_server->requests, 0);
    }

    void failedDownloadsLeaveNothingAndAreRetried_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("mode");
        QTest::newRow("not found") << 404 << int(PackageServer::Mode::serve);
        QTest::newRow("server error") << 500 << int(PackageServer::Mode::serve);
        QTest::newRow("cut short") << 200 << int(PackageServer::Mode::truncate);
        QTest::newRow("no answer") << 200 << int(PackageServer::Mode::silent);
    }

    void failedDownloadsLeaveNothingAndAreRetried() {
        QFETCH(int, status);
        QFETCH(int, mode);
        serveArchive(packageEntries());
        m_server->status = status;
        m_server->mode = PackageServer::Mode(mode);

        const Result<Plans> failed = load(*makeStore({}, 300ms), kGame);

        QVERIFY(!failed.ok());
        QCOMPARE(failed.error().domain, QStringLiteral("KeyMappingConfigManager"));
        QCOMPARE(failed.error().code, 1);
        QVERIFY2(failed.error().message.startsWith("下载 package_configs_1005.rcc 失败："),
                 qPrintable(failed.error().message));
        QCOMPARE(tree(dataFolder()), QStringList({"Brisca", "Brisca/keymapping"}));

        serveArchive(packageEntries());
        m_server->status = 200;
        m_server->mode = PackageServer::Mode::serve;
        QVERIFY(load(*makeStore(), kGame).ok());
    }

    void refusedConnectionIsErrorOne() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/x.rcc").arg(closed.serverPort()));
        closed.close();
        const Result<Plans> failed = load(*makeStore({}, 5s, url), kGame);
        QCOMPARE(failed.ok() ? 0 : failed.error().code, 1);
    }

    // The victim is the test folder itself: only the empty root may be left in it.
    void badPackagesFailAndWriteNothing_data() {
        QTest::addColumn<QList<TestArchiveEntry>>("entries");
        QTest::addColumn<bool>("garbage");
        const Entry index = Entry::file("dir_kmps.dir", kIndex);
        QTest::newRow("not an archive") << QList<Entry>{} << true;
        QTest::newRow("no index") << QList<Entry>{Entry::file("game.kmp", "{}")} << false;
        QTest::newRow("dot-dot") << QList<Entry>{index, Entry::file("../../../../escaped", "x")}
                                 << false;
        QTest::newRow("absolute")
            << QList<Entry>{index, Entry::file(QDir::tempPath() + "/escaped-plan", "x")} << false;
        QTest::newRow("symlink out") << QList<Entry>{index, Entry::symlink("link", "../../../.."),
                                                     Entry::file("link/escaped", "x")}
                                     << false;
    }

    void badPackagesFailAndWriteNothing() {
        QFETCH(QList<TestArchiveEntry>, entries);
        QFETCH(bool, garbage);
        serveArchive(entries);
        if (garbage) {
            m_server->body = QByteArray(2048, 'x');
        }

        const Result<Plans> failed = load(*makeStore(), kGame);

        QVERIFY(!failed.ok());
        QCOMPARE(failed.error().code, 2);
        QCOMPARE(failed.error().message, QStringLiteral("按键配置包解压失败"));
        QCOMPARE(tree(m_dir->path()),
                 QStringList({"data", "data/Brisca", "data/Brisca/keymapping", "served.rcc"}));
        QVERIFY(!QFile::exists(QDir::tempPath() + "/escaped-plan"));

        serveArchive(packageEntries());
        QVERIFY(load(*makeStore(), kGame).ok());
        QCOMPARE(m_server->requests, 2);
    }

    void rememberedRecordIsWrittenByteForByte() {
        auto store = makeStore();
        ImportedKeyMappingPlan plan;
        plan.fileName = QStringLiteral("a.kmp");
        store->saveSelectedPlan(kGame, plan);
        plan.fileName = QStringLiteral("sub/b.kmp");
        store->saveSelectedPlan(QStringLiteral("com/x:y"), plan);
        store->workQueue().sync([] {});
        QCOMPARE(
            readFile(selectedFile("com.example.game.smp")),
            QByteArray(
                R"({"joystickFirstGreet":true,"joystickIgnoreVersion":0,"joystickShowGreet":true,"joystickShowHints":true,"keyboardFirstGreet":true,"keyboardIgnoreVersion":0,"keyboardShowGreet":true,"keyboardShowHints":true,"noticeHash":0,"noticeTimes":0,"reduceInertia":true,"resolutionRelatives":{"joystickId":"","keyboardId":"a.kmp"}})"));
        QVERIFY(readFile(selectedFile("com_x_y.smp")).contains(R"("keyboardId":"sub\/b.kmp")"));
    }

    void rememberedPlanGoesFirst_data() {
        QTest::addColumn<QByteArray>("record");  // empty: none
        QTest::addColumn<QStringList>("plans");
        QTest::addColumn<QString>("consoleStart");
        const auto record = [](const char* keyboardId) {
            SMPFile file;
            file.resolutionRelatives.keyboardId = QString::fromUtf8(keyboardId);
            return file.encode();
        };
        const QStringList usual{"com.x_a.kmp", "com.x_b.kmp", "x.kmp"};
        QTest::newRow("none") << QByteArray() << usual << QString();
        QTest::newRow("listed plan")
            << record("x.kmp") << QStringList{"x.kmp", "com.x_a.kmp", "com.x_b.kmp"} << QString();
        QTest::newRow("unlisted user plan")
            << record("elsewhere.kmp")
            << QStringList{"elsewhere.kmp", "com.x_a.kmp", "com.x_b.kmp", "x.kmp"} << QString();
        QTest::newRow("unmatched package plan")
            << record("y.kmp") << QStringList{"y.kmp", "com.x_a.kmp", "com.x_b.kmp", "x.kmp"}
            << QString();
        QTest::newRow("missing everywhere") << record("gone.kmp") << usual << QString();
        QTest::newRow("empty name") << record("") << usual << QString();
        QTest::newRow("record not JSON")
            << QByteArray("{") << usual
            << "[keymapping] skip invalid selected plan package=com.x file=com.x.smp error=";
        QTest::newRow("record lacks a key")
            << QByteArray(R"({"resolutionRelatives":{"keyboardId":"x.kmp","joystickId":""}})")
            << usual
            << "[keymapping] skip invalid selected plan package=com.x file=com.x.smp error=";
        QTest::newRow("remembered file broken")
            << record("broken.kmp") << usual
            << "[keymapping] skip invalid remembered plan package=com.x file=broken.kmp error=";
    }

    void rememberedPlanGoesFirst() {
        QFETCH(QByteArray, record);
        QFETCH(QStringList, plans);
        QFETCH(QString, consoleStart);
        installPackage(R"({"kmps":[{"packageNamePattern":"com.x","fileName":"x.kmp"}]})",
                       {Entry::file("x.kmp", pointPlan(81)), Entry::file("y.kmp", pointPlan(82))});
        for (const char* name : {"com.x_b.kmp", "com.x_a.kmp", "elsewhere.kmp"}) {
            QVERIFY(writeFile(customFile(name), pointPlan(83)));
        }
        QVERIFY(writeFile(customFile("broken.kmp"), "{"));
        if (!record.isEmpty()) {
            QVERIFY(writeFile(selectedFile("com.x.smp"), record));
        }

        const Result<Plans> loaded = load(*makeStore(), QStringLiteral("com.x"));

        QVERIFY(loaded.ok());
        QCOMPARE(fileNames(loaded.value()), plans);
        const QStringList console = takeConsole();
        QCOMPARE(console.size(), consoleStart.isEmpty() ? 0 : 1);
        if (!consoleStart.isEmpty()) {
            QVERIFY2(console.at(0).startsWith(consoleStart), qPrintable(console.at(0)));
        }
    }

    void listsTheUsersPlansForThePackage() {
        installPackage(R"({"kmps":[]})");
        for (const QString& name : {kGame + ".kmp", kGame + "_x.KMP", kGame + "x_1.kmp",
                                    QStringLiteral("COM.EXAMPLE.GAME_x.kmp"), kGame + "_B.kmp",
                                    kGame + "_a.kmp", kGame + "_a.txt", "." + kGame + "_h.kmp"}) {
            QVERIFY(writeFile(customFile(name), pointPlan(81)));
        }
        QVERIFY(writeFile(customFile(kGame + "_bad.kmp"), R"({"keyboardMappings":7})"));
        const Result<Plans> plans = load(*makeStore(), kGame);
        QCOMPARE(fileNames(plans.value()), QStringList({kGame + ".kmp", kGame + "_B.kmp",
                                                        kGame + "_a.kmp", kGame + "_x.KMP"}));
        QCOMPARE(takeConsole(),
                 QStringList({"[keymapping] skip invalid custom plan "
                              "package=com.example.game file=com.example.game_bad.kmp "
                              "error=KMPFile: value of \"keyboardMappings\" has the "
                              "wrong type"}));
    }

    void namesUserPlanFiles_data() {
        QTest::addColumn<QString>("name");  // "<none>": absent
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << "Boss"
                               << "com.example.game_Boss.kmp";
        QTest::newRow("already named") << "com.example.game_Boss.kmp"
                                       << "com.example.game_Boss.kmp";
        QTest::newRow("empty") << ""
                               << "com.example.game_自定义方案.kmp";
        QTest::newRow("blanks") << "  \n "
                                << "com.example.game_自定义方案.kmp";
        QTest::newRow("absent") << "<none>"
                                << "com.example.game_自定义方案.kmp";
        QTest::newRow("unsafe characters") << "a/b:c"
                                           << "com.example.game_a_b_c.kmp";
        QTest::newRow("extension and blanks") << " Hero.json "
                                              << "com.example.game_Hero.kmp";
        QTest::newRow("hidden-looking name") << ".cfg"
                                             << "com.example.game_.cfg.kmp";
    }

    void namesUserPlanFiles() {
        QFETCH(QString, name);
        QFETCH(QString, fileName);
        const std::optional<QString> planName =
            name == QStringLiteral("<none>") ? std::nullopt : std::optional(name);
        QCOMPARE(KeyMappingConfigManager::customPlanFileName(kGame, planName), fileName);
    }

    void savesRenamesAndDeletesUserPlans() {
        auto store = makeStore();
        const QString boss = kGame + "_Boss.kmp";
        const QString hero = kGame + "_Hero.kmp";

        QVERIFY(save(*store, "Boss", pointPlan(81)).ok());
        const Result<ImportedKeyMappingPlan> saved = save(*store, "Boss.kmp", pointPlan(70));
        QVERIFY(saved.ok());
        QCOMPARE(saved.value().fileName, boss);
        QCOMPARE(saved.value().source, KeyMappingPlanSource::custom);
        QCOMPARE(saved.value().mappings.at(0).windowsKey, 70);
        QCOMPARE(readFile(customFile(boss)), pointPlan(70));
        QCOMPARE(rememberedFor(kGame), boss);

        QCOMPARE(rename(*store, saved.value(), " Boss ").value().fileName, boss);
        const Result<ImportedKeyMappingPlan> renamed = rename(*store, saved.value(), "Hero");
        QCOMPARE(renamed.value().fileName, hero);
        QVERIFY(!QFile::exists(customFile(boss)) && QFile::exists(customFile(hero)));
        QCOMPARE(rememberedFor(kGame), hero);

        QVERIFY(remove(*store, renamed.value()).ok());
        QVERIFY(!QFile::exists(customFile(hero)));
        QCOMPARE(rememberedFor(kGame), QString());
        QVERIFY(writeFile(selectedFile(kGame + ".smp"),
                          SMPFile{.resolutionRelatives = {hero, {}}}.encode()));
        QVERIFY(remove(*store, renamed.value()).ok());
        QCOMPARE(rememberedFor(kGame), QString());
        QVERIFY(takeConsole().isEmpty());
    }

    void renameReportsTheMovedPlanWhenRememberingFails() {
        auto store = makeStore();
        const Result<ImportedKeyMappingPlan> saved = save(*store, "Boss", pointPlan(81));
        QVERIFY(writeFile(selectedFile(kGame + ".smp"), "not json"));
        const Result<ImportedKeyMappingPlan> renamed = rename(*store, saved.value(), "Hero");
        QVERIFY(renamed.ok());
        QCOMPARE(renamed.value().fileName, kGame + "_Hero.kmp");
        const QStringList console = takeConsole();
        QCOMPARE(console.size(), 1);
        QVERIFY(
            console.at(0).startsWith("[keymapping] save selected plan failed "
                                     "package=com.example.game file=com.example.game_Hero.kmp "
                                     "error="));
    }

    void refusesWhatCannotBeDone_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("builtIn");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("rename built-in") << "rename"
                                         << "a.kmp" << true << "X" << 3 << "内置方案不支持重命名";
        QTest::newRow("rename to blanks")
            << "rename"
            << "com.example.game_A.kmp" << false << " \t " << 4 << "方案名称不能为空";
        QTest::newRow("rename missing")
            << "rename"
            << "com.example.game_gone.kmp" << false << "X" << 5 << "未找到自定义方案文件";
        QTest::newRow("rename onto another")
            << "rename"
            << "com.example.game_A.kmp" << false << "B" << 6 << "已存在同名方案";
        QTest::newRow("delete built-in") << "delete"
                                         << "a.kmp" << true << "" << 7 << "内置方案不支持删除";
    }

    void refusesWhatCannotBeDone() {
        QFETCH(QString, operation);
        QFETCH(QString, file);
        QFETCH(bool, builtIn);
        QFETCH(QString, newName);
        QFETCH(int, code);
        QFETCH(QString, message);
        QVERIFY(writeFile(customFile(kGame + "_A.kmp"), pointPlan(81)));
        QVERIFY(writeFile(customFile(kGame + "_B.kmp"), pointPlan(82)));
        ImportedKeyMappingPlan plan;
        plan.fileName = file;
        plan.source = builtIn ? KeyMappingPlanSource::packageConfigs : KeyMappingPlanSource::custom;
        auto store = makeStore();

        const Result<void> result = operation == "rename"
                                        ? Result<void>(rename(*store, plan, newName).error())
                                        : remove(*store, plan);

        QVERIFY(!result.ok());
        QCOMPARE(result.error(), (Error{"KeyMappingConfigManager", code, message}));
        QCOMPARE(readFile(customFile(kGame + "_A.kmp")), pointPlan(81));
        QCOMPARE(readFile(customFile(kGame + "_B.kmp")), pointPlan(82));
    }
};

QTEST_GUILESS_MAIN(KeyMappingConfigManagerTest)
#include "tst_KeyMappingConfigManager.moc"
