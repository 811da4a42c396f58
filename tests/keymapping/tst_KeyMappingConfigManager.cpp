#include "TestArchiveWriter.h"
#include "foundation/concurrency/MainQueue.h"
#include "keymapping/KeyMappingConfigManager.h"
#include "keymapping/SMPFile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>

#include <sys/stat.h>
#include <mutex>

using namespace std::chrono_literals;
using Plan = ImportedKeyMappingPlan;
using Plans = QList<ImportedKeyMappingPlan>;

namespace {

const QString kGame = QStringLiteral("com.example.game");

using testarchive::archiveOf;
using testarchive::Entry;
using testarchive::tree;

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
    {"packageNamePatternWj":"com.other","fileName":"other.kmp"},
    {"packageNamePattern":"","fileName":"game.kmp","priority":9}]})";

const QList<Entry> kPackage = {{Entry::file, "dir_kmps.dir", kIndex},
                               {Entry::file, "game.kmp", pointPlan(81)},
                               {Entry::file, "generic.kmp", pointPlan(69)},
                               {Entry::file, "other.kmp", pointPlan(70)},
                               {Entry::file, "broken.kmp", "{"}};

bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList fileNames(const Result<Plans>& plans) {
    QStringList names;
    for (const Plan& plan : plans.valueOr({})) {
        names << plan.fileName;
    }
    return names;
}

// Serves `body` with `status` on 127.0.0.1; "silent" never answers, "truncate" announces more
// than it sends.
class PackageServer : public QTcpServer {
public:
    enum Mode { serve, truncate, silent };
    Mode mode = serve;
    int status = 200;
    QByteArray body = archiveOf(kPackage);
    int requests = 0;

    PackageServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray request =
                    socket->property("request").toByteArray() + socket->readAll();
                socket->setProperty("request", request);
                if (!request.contains("\r\n\r\n") || (++requests, mode == silent)) {
                    return;
                }
                const qsizetype announced = body.size() + (mode == truncate ? 1000 : 0);
                socket->write("HTTP/1.1 " + QByteArray::number(status) + " S\r\nContent-Length: " +
                              QByteArray::number(announced) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
        listen(QHostAddress::LocalHost);
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/p.rcc").arg(serverPort())); }
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

    QString data() const { return m_dir->filePath(QStringLiteral("data")); }
    QString root() const { return data() + QStringLiteral("/Brisca/keymapping/"); }
    QString custom(const QString& name) const { return root() + "custom/" + name; }
    QString selected(const QString& name) const { return root() + "selected/" + name; }

    std::unique_ptr<KeyMappingConfigManager> makeStore(const QString& bundled = {},
                                                       std::optional<QUrl> url = {}) {
        KeyMappingConfigManager::Configuration configuration;
        configuration.applicationSupportFolder = data();
        configuration.bundledPackagePath = bundled;
        configuration.rccDownloadURL = url.value_or(m_server->url());
        configuration.downloadTimeout = 300ms;
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

    void installPackage(const QByteArray& index, const QList<Entry>& files = {}) {
        writeFile(root() + "package_configs_1005/dir_kmps.dir", index);
        for (const Entry& file : files) {
            writeFile(root() + "package_configs_1005/" + file.name, file.data);
        }
    }

    // Starts an operation with a completion and waits for its answer on the GUI thread.
    template <typename T>
    T await(const std::function<void(std::function<void(T)>)>& start) {
        std::optional<T> result;
        start([this, &result](T answer) {
            m_offMainCompletions += MainQueue::isMainThread() ? 0 : 1;
            result = std::move(answer);
        });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 15000)) {
            return T(Error{QStringLiteral("test"), -1, QStringLiteral("no answer")});
        }
        return *result;
    }

    Result<Plans> load(KeyMappingConfigManager& store, const QString& package) {
        return await<Result<Plans>>([&](auto done) { store.loadPlans(package, done); });
    }
    Result<Plan> save(KeyMappingConfigManager& store, const QString& name, const QByteArray& plan) {
        return await<Result<Plan>>([&](auto done) {
            store.workQueue().async([&, done] { store.saveCustomPlan(kGame, name, plan, done); });
        });
    }
    Result<Plan> rename(KeyMappingConfigManager& store, const Plan& plan, const QString& name) {
        return await<Result<Plan>>([&](auto done) {
            store.workQueue().async([&, done] { store.renameCustomPlan(plan, name, kGame, done); });
        });
    }
    Result<void> remove(KeyMappingConfigManager& store, const Plan& plan) {
        return await<Result<void>>([&](auto done) { store.deleteCustomPlan(kGame, plan, done); });
    }

    QString remembered() {
        return SMPFile::decode(readFile(selected(kGame + ".smp")))
            .valueOr({})
            .resolutionRelatives.keyboardId;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_server = std::make_unique<PackageServer>();
        takeConsole();
    }

    void cleanup() { QCOMPARE(m_offMainCompletions.exchange(0), 0); }

    void standardPlaces() {
        const auto standard = KeyMappingConfigManager::Configuration::standard();
        QCOMPARE(standard.applicationSupportFolder,
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
        QCOMPARE(standard.rccDownloadURL.scheme() + standard.rccDownloadURL.path(),
                 QStringLiteral("https/tamufile/package_configs_1005.rcc"));
        QCOMPARE(KeyMappingConfigManager::shared().workQueue().label(),
                 QStringLiteral("com.brisca.keyMappingConfig"));
    }

    void firstLoadDownloadsAndUnpacksOnce() {
        QVERIFY(writeFile(custom(kGame + "_mine.kmp"), pointPlan(49)));
        auto store = makeStore();

        const Result<Plans> first = load(*store, kGame);
        QCOMPARE(fileNames(first), QStringList({kGame + "_mine.kmp", "game.kmp", "generic.kmp"}));
        QCOMPARE(first.value().at(0).source, KeyMappingPlanSource::custom);
        QCOMPARE(first.value().at(0).packagePattern, kGame);
        QCOMPARE(first.value().at(2).source, KeyMappingPlanSource::packageConfigs);
        QCOMPARE(first.value().at(2).packagePattern, QStringLiteral("com.example.*"));
        QCOMPARE(takeConsole().join('\n').section(" error=", 0, 0),
                 QStringLiteral("[keymapping] skip invalid plan package=com.example.game "
                                "file=broken.kmp"));

        store->saveSelectedPlan(kGame, first.value().at(2));
        QVERIFY(load(*store, kGame).ok());
        QCOMPARE(fileNames(load(*makeStore(), kGame)),
                 QStringList({"generic.kmp", kGame + "_mine.kmp", "game.kmp"}));
        QCOMPARE(m_server->requests, 1);
        QVERIFY(QFile::exists(root() + "package_configs_1005.rcc"));
    }

    void packageWorkOnlyWhenNeeded() {
        QVERIFY(load(*makeStore(), "com.brisca.custom").value().isEmpty());
        QVERIFY(writeFile(custom("com.brisca.custom_a.kmp"), pointPlan(81)));
        QCOMPARE(fileNames(load(*makeStore(), "com.brisca.custom")),
                 QStringList({"com.brisca.custom_a.kmp"}));
        QVERIFY(!QFile::exists(root() + "package_configs_1005"));

        const QString bundled = m_dir->filePath(QStringLiteral("package_configs_1005.rcc"));
        QVERIFY(writeFile(bundled, archiveOf(kPackage)));
        auto store = makeStore(bundled);
        QCOMPARE(fileNames(load(*store, "com.other")), QStringList({"other.kmp"}));
        QVERIFY(QFile::exists(bundled) && !QFile::exists(root() + "package_configs_1005.rcc"));

        // The unpacked package and its index, once read, are kept.
        installPackage(R"({"kmps":[]})");
        QCOMPARE(fileNames(load(*store, "com.other")), QStringList({"other.kmp"}));
        QVERIFY(load(*makeStore(), "com.other").value().isEmpty());
        QCOMPARE(m_server->requests, 0);
    }

    void failedDownloadsLeaveNothingAndAreRetried_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("mode");
        QTest::newRow("not found") << 404 << int(PackageServer::serve);
        QTest::newRow("server error") << 500 << int(PackageServer::serve);
        QTest::newRow("cut short") << 200 << int(PackageServer::truncate);
        QTest::newRow("no answer") << 200 << int(PackageServer::silent);
        QTest::newRow("refused") << 0 << int(PackageServer::serve);
    }

    void failedDownloadsLeaveNothingAndAreRetried() {
        QFETCH(int, status);
        QFETCH(int, mode);
        m_server->status = status;
        m_server->mode = PackageServer::Mode(mode);
        std::optional<QUrl> url;
        if (status == 0) {
            PackageServer closed;
            url = closed.url();
        }

        const Result<Plans> failed = load(*makeStore({}, url), kGame);

        QCOMPARE(failed.ok() ? Error() : failed.error(),
                 (Error{"KeyMappingConfigManager", 1, failed.ok() ? "" : failed.error().message}));
        QVERIFY(failed.error().message.startsWith("下载 package_configs_1005.rcc 失败："));
        QCOMPARE(tree(data()), QStringList({"Brisca", "Brisca/keymapping"}));

        m_server->status = 200;
        m_server->mode = PackageServer::serve;
        QVERIFY(load(*makeStore(), kGame).ok());
    }

    // Only the empty root may be left in the test folder, whatever the archive holds.
    void badPackagesFailAndWriteNothing_data() {
        QTest::addColumn<QByteArray>("package");
        const Entry index{Entry::file, "dir_kmps.dir", kIndex};
        const auto with = [&index](const QList<Entry>& entries) {
            return archiveOf(QList<Entry>{index} + entries);
        };
        QTest::newRow("not an archive") << QByteArray(2048, 'x');
        QTest::newRow("no index") << archiveOf({{Entry::file, "game.kmp", "{}"}});
        QTest::newRow("dot-dot") << with({{Entry::file, "../../../../escaped", "x"}});
        QTest::newRow("absolute") << with(
            {{Entry::file, QDir::tempPath().toUtf8() + "/escaped-plan", "x"}});
        QTest::newRow("write through a link out")
            << with({{Entry::symlink, "link", "../../../.."}, {Entry::file, "link/escaped", "x"}});
        QTest::newRow("write through a link inside") << with({{Entry::file, "real/y", "y"},
                                                              {Entry::symlink, "link", "real"},
                                                              {Entry::file, "link/x", "x"}});
        QTest::newRow("hard link out") << with({{Entry::hardlink, "x", "../../../../keep"}});
    }

    void badPackagesFailAndWriteNothing() {
        QFETCH(QByteArray, package);
        m_server->body = package;
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("keep")), "keep"));

        const Result<Plans> failed = load(*makeStore(), kGame);

        QCOMPARE(failed.ok() ? Error() : failed.error(),
                 (Error{"KeyMappingConfigManager", 2, "按键配置包解压失败"}));
        QCOMPARE(tree(m_dir->path()),
                 QStringList({"data", "data/Brisca", "data/Brisca/keymapping", "keep"}));
        QVERIFY(!QFile::exists(QDir::tempPath() + "/escaped-plan"));

        m_server->body = archiveOf(kPackage);
        QVERIFY(load(*makeStore(), kGame).ok());
        QCOMPARE(m_server->requests, 2);
    }

    // Names in the index and the files they name may have been tampered with; only a plain,
    // regular, small file right in the package folder is read.
    void invalidPackagePlansAreSkipped_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("setup");  // what stands at that name
        QTest::newRow("up and out") << "../../secret.kmp"
                                    << "";
        QTest::newRow("absolute") << "/etc/passwd"
                                  << "";
        QTest::newRow("a device") << "/dev/zero"
                                  << "";
        QTest::newRow("in a subfolder") << "sub/game.kmp"
                                        << "file";
        QTest::newRow("backslash") << "..\\secret.kmp"
                                   << "";
        QTest::newRow("FIFO") << "fifo.kmp"
                              << "fifo";
        QTest::newRow("link to a plan") << "link.kmp"
                                        << "link";
        QTest::newRow("larger than the cap") << "huge.kmp"
                                             << "huge";
    }

    void invalidPackagePlansAreSkipped() {
        QFETCH(QString, fileName);
        QFETCH(QString, setup);
        const QString package = root() + "package_configs_1005/";
        installPackage(QStringLiteral(R"({"kmps":[{"packageNamePattern":"%1","fileName":"%2"},
                           {"packageNamePattern":"%1","fileName":"game.kmp"}]})")
                           .arg(kGame, QString(fileName).replace("\\", "\\\\"))
                           .toUtf8(),
                       {{Entry::file, "game.kmp", pointPlan(81)}});
        // A valid plan where "../../secret.kmp" would reach.
        QVERIFY(writeFile(data() + "/Brisca/secret.kmp", pointPlan(82)));
        if (setup == "file") {
            QVERIFY(writeFile(package + fileName, pointPlan(83)));
        } else if (setup == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(package + fileName).constData(), 0600), 0);
        } else if (setup == "link") {
            QVERIFY(QFile::link(package + "game.kmp", package + fileName));
        } else if (setup == "huge") {
            QVERIFY(writeFile(package + fileName, pointPlan(84) + QByteArray(5 << 20, ' ')));
        }

        QCOMPARE(fileNames(load(*makeStore(), kGame)), QStringList({"game.kmp"}));
        QCOMPARE(takeConsole().join('\n').section(" error=", 0, 0),
                 "[keymapping] skip invalid plan package=com.example.game file=" + fileName);
    }

    void anIndexThatIsNoFileIsUnpackedAgain_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link") << "link";
    }
    void anIndexThatIsNoFileIsUnpackedAgain() {
        QFETCH(QString, kind);
        QVERIFY(load(*makeStore(), kGame).ok());
        const QString index = root() + "package_configs_1005/dir_kmps.dir";
        QVERIFY(QFile::remove(index));
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(index).constData(), 0600), 0);
        } else {
            QVERIFY(writeFile(m_dir->filePath("elsewhere"), R"({"kmps":[]})"));
            QVERIFY(QFile::link(m_dir->filePath("elsewhere"), index));
        }

        QCOMPARE(fileNames(load(*makeStore(), kGame)), QStringList({"game.kmp", "generic.kmp"}));
        QVERIFY(QFileInfo(index).isFile() && !QFileInfo(index).isSymLink());
        QCOMPARE(m_server->requests, 1);
    }

    void rememberedRecordIsWrittenByteForByte() {
        auto store = makeStore();
        store->saveSelectedPlan(kGame, Plan{.fileName = "a.kmp"});
        store->saveSelectedPlan("com/x:y", Plan{.fileName = "sub/b.kmp"});
        store->workQueue().sync([] {});
        QCOMPARE(readFile(selected("com.example.game.smp")),
                 QByteArray(R"({"joystickFirstGreet":true,"joystickIgnoreVersion":0,)"
                            R"("joystickShowGreet":true,"joystickShowHints":true,)"
                            R"("keyboardFirstGreet":true,"keyboardIgnoreVersion":0,)"
                            R"("keyboardShowGreet":true,"keyboardShowHints":true,"noticeHash":0,)"
                            R"("noticeTimes":0,"reduceInertia":true,"resolutionRelatives":)"
                            R"({"joystickId":"","keyboardId":"a.kmp"}})"));
        QVERIFY(readFile(selected("com_x_y.smp")).contains(R"("keyboardId":"sub\/b.kmp")"));
    }

    void rememberedPlanGoesFirst_data() {
        QTest::addColumn<QByteArray>("record");  // empty: none
        QTest::addColumn<QStringList>("plans");
        QTest::addColumn<QString>("console");
        const auto record = [](const char* keyboardId) {
            return SMPFile{.resolutionRelatives = {keyboardId, {}}}.encode();
        };
        const QStringList usual{"com.x_a.kmp", "com.x_b.kmp", "x.kmp"};
        QTest::newRow("none") << QByteArray() << usual << "";
        QTest::newRow("listed") << record("x.kmp")
                                << QStringList{"x.kmp", "com.x_a.kmp", "com.x_b.kmp"} << "";
        QTest::newRow("unlisted user plan")
            << record("elsewhere.kmp") << QStringList{"elsewhere.kmp"} + usual << "";
        QTest::newRow("unmatched package plan")
            << record("y.kmp") << QStringList{"y.kmp"} + usual << "";
        QTest::newRow("missing everywhere") << record("gone.kmp") << usual << "";
        QTest::newRow("empty name") << record("") << usual << "";
        QTest::newRow("record not JSON")
            << QByteArray("{") << usual
            << "skip invalid selected plan package=com.x file=com.x.smp";
        QTest::newRow("remembered name leaves the folder")
            << record("../package_configs_1005/y.kmp") << usual
            << "skip invalid remembered plan package=com.x file=../package_configs_1005/y.kmp";
        QTest::newRow("remembered file broken")
            << record("broken.kmp") << usual
            << "skip invalid remembered plan package=com.x file=broken.kmp";
    }

    void rememberedPlanGoesFirst() {
        QFETCH(QByteArray, record);
        QFETCH(QStringList, plans);
        QFETCH(QString, console);
        installPackage(
            R"({"kmps":[{"packageNamePattern":"com.x","fileName":"x.kmp"}]})",
            {{Entry::file, "x.kmp", pointPlan(81)}, {Entry::file, "y.kmp", pointPlan(82)}});
        for (const char* name : {"com.x_b.kmp", "com.x_a.kmp", "elsewhere.kmp"}) {
            QVERIFY(writeFile(custom(name), pointPlan(83)));
        }
        QVERIFY(writeFile(custom("broken.kmp"), "{"));
        if (!record.isEmpty()) {
            QVERIFY(writeFile(selected("com.x.smp"), record));
        }
        QCOMPARE(fileNames(load(*makeStore(), "com.x")), plans);
        const QString printed = takeConsole().join('\n').section(" error=", 0, 0);
        QCOMPARE(printed, console.isEmpty() ? console : "[keymapping] " + console);
    }

    void listsTheUsersPlansForThePackage() {
        installPackage(R"({"kmps":[]})");
        for (const QString& name : {kGame + ".kmp", kGame + "_x.KMP", kGame + "x_1.kmp",
                                    QStringLiteral("COM.EXAMPLE.GAME_x.kmp"), kGame + "_B.kmp",
                                    kGame + "_a.kmp", kGame + "_a.txt", "." + kGame + "_h.kmp"}) {
            QVERIFY(writeFile(custom(name), pointPlan(81)));
        }
        QVERIFY(writeFile(custom(kGame + "_bad.kmp"), R"({"keyboardMappings":7})"));
        QCOMPARE(
            fileNames(load(*makeStore(), kGame)),
            QStringList({kGame + ".kmp", kGame + "_B.kmp", kGame + "_a.kmp", kGame + "_x.KMP"}));
        QCOMPARE(takeConsole(),
                 QStringList({"[keymapping] skip invalid custom plan "
                              "package=com.example.game file=com.example.game_bad.kmp "
                              "error=KMPFile: value of \"keyboardMappings\" has the wrong type"}));
    }

    void namesUserPlanFiles_data() {
        QTest::addColumn<QString>("name");  // "<none>": absent
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << QStringLiteral("Boss") << "com.example.game_Boss.kmp";
        QTest::newRow("already named")
            << QStringLiteral("com.example.game_Boss.kmp") << "com.example.game_Boss.kmp";
        QTest::newRow("empty") << QString() << "com.example.game_自定义方案.kmp";
        QTest::newRow("blanks") << QStringLiteral("  \n ") << "com.example.game_自定义方案.kmp";
        QTest::newRow("absent") << QStringLiteral("<none>") << "com.example.game_自定义方案.kmp";
        QTest::newRow("unsafe characters")
            << QStringLiteral("a/b:c") << "com.example.game_a_b_c.kmp";
        QTest::newRow("extension and blanks")
            << QStringLiteral(" Hero.json ") << "com.example.game_Hero.kmp";
    }

    void namesUserPlanFiles() {
        QFETCH(QString, name);
        QFETCH(QString, fileName);
        QCOMPARE(KeyMappingConfigManager::customPlanFileName(
                     kGame, name == "<none>" ? std::nullopt : std::optional(name)),
                 fileName);
    }

    void savesRenamesAndDeletesUserPlans() {
        auto store = makeStore();
        const QString boss = kGame + "_Boss.kmp";
        const QString hero = kGame + "_Hero.kmp";
        QVERIFY(save(*store, "Boss", pointPlan(81)).ok());
        const Result<Plan> saved = save(*store, "Boss.kmp", pointPlan(70));
        QCOMPARE(saved.value().fileName, boss);
        QCOMPARE(saved.value().source, KeyMappingPlanSource::custom);
        QCOMPARE(saved.value().mappings.at(0).windowsKey, 70);
        QCOMPARE(remembered(), boss);

        QCOMPARE(rename(*store, saved.value(), " Boss ").value().fileName, boss);
        const Result<Plan> renamed = rename(*store, saved.value(), "Hero");
        QCOMPARE(renamed.value().fileName, hero);
        QVERIFY(!QFile::exists(custom(boss)) && QFile::exists(custom(hero)));
        QCOMPARE(remembered(), hero);

        QVERIFY(remove(*store, renamed.value()).ok());
        QVERIFY(!QFile::exists(custom(hero)));
        QCOMPARE(remembered(), QString());
        QVERIFY(writeFile(selected(kGame + ".smp"),
                          SMPFile{.resolutionRelatives = {hero, {}}}.encode()));
        QVERIFY(remove(*store, renamed.value()).ok());  // already gone
        QCOMPARE(remembered(), QString());
        QVERIFY(takeConsole().isEmpty());

        // Once the file has moved, a record that cannot be updated is only reported.
        const Plan again = save(*store, "Boss", pointPlan(81)).value();
        QVERIFY(writeFile(selected(kGame + ".smp"), "not json"));
        QCOMPARE(rename(*store, again, "Hero").value().fileName, hero);
        QCOMPARE(takeConsole().join('\n').section(" error=", 0, 0),
                 "[keymapping] save selected plan failed package=com.example.game file=" + hero);
    }

    void refusesWhatCannotBeDone_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("builtIn");
        QTest::addColumn<QString>("newName");  // empty: delete
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("rename built-in") << "a.kmp" << true << "X" << 3 << "内置方案不支持重命名";
        QTest::newRow("rename to blanks")
            << "com.example.game_A.kmp" << false << " \t " << 4 << "方案名称不能为空";
        QTest::newRow("rename missing")
            << "com.example.game_C.kmp" << false << "X" << 5 << "未找到自定义方案文件";
        QTest::newRow("rename onto another")
            << "com.example.game_A.kmp" << false << "B" << 6 << "已存在同名方案";
        QTest::newRow("delete built-in") << "a.kmp" << true << "" << 7 << "内置方案不支持删除";
    }

    void refusesWhatCannotBeDone() {
        QFETCH(QString, file);
        QFETCH(bool, builtIn);
        QFETCH(QString, newName);
        QFETCH(int, code);
        QFETCH(QString, message);
        QVERIFY(writeFile(custom(kGame + "_A.kmp"), pointPlan(81)));
        QVERIFY(writeFile(custom(kGame + "_B.kmp"), pointPlan(82)));
        const Plan plan{.fileName = file,
                        .source = builtIn ? KeyMappingPlanSource::packageConfigs
                                          : KeyMappingPlanSource::custom};
        auto store = makeStore();
        const Result<void> result = newName.isEmpty()
                                        ? remove(*store, plan)
                                        : Result<void>(rename(*store, plan, newName).error());
        QCOMPARE(result.error(), (Error{"KeyMappingConfigManager", code, message}));
        QCOMPARE(tree(root() + "custom"), QStringList({kGame + "_A.kmp", kGame + "_B.kmp"}));
    }
};

QTEST_GUILESS_MAIN(KeyMappingConfigManagerTest)
#include "tst_KeyMappingConfigManager.moc"
