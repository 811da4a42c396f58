#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/FileLogger.h"
#include "foundation/logging/ForeignLogLines.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <thread>
#include <vector>

Q_DECLARE_METATYPE(LogLevel)
Q_DECLARE_METATYPE(LogTag)
Q_DECLARE_METATYPE(std::optional<QSet<LogTag>>)

namespace {

// Collects what the logger prints to the console.
struct LoggerConsole {
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
    std::shared_ptr<QStringList> lines = std::make_shared<QStringList>();

    FileLogger::ConsoleSink sink() const {
        return [mutex = mutex, lines = lines](const QByteArray& line) {
            std::lock_guard lock(*mutex);
            lines->append(QString::fromUtf8(line));
        };
    }
    QStringList all() const {
        std::lock_guard lock(*mutex);
        return *lines;
    }
    void clear() const {
        std::lock_guard lock(*mutex);
        lines->clear();
    }
};

LoggerConfig bareConfig() {
    LoggerConfig config;
    config.showTimestamp = false;
    config.showFileLine = false;
    return config;
}

QStringList fileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class FileLoggerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void defaultLineHasTimeLevelTagAndPlace() {
        LoggerConsole console;
        FileLogger logger(console.sink());
        logger.info(QStringLiteral("连接成功 ✅"), LogTag::network);
        const QStringList lines = console.all();
        QCOMPARE(lines.size(), 1);
        static const QRegularExpression pattern(
            QStringLiteral(R"(^\d\d:\d\d:\d\d\.\d{3} \[INFO\]\[NET\] \S+:\d+ 连接成功 ✅\n$)"));
        QVERIFY2(pattern.match(lines.first()).hasMatch(), qPrintable(lines.first()));
        QVERIFY(lines.first().contains(QStringLiteral(" tst_FileLogger.cpp:")));
    }

    void filtering_data() {
        QTest::addColumn<LogLevel>("configured");
        QTest::addColumn<std::optional<QSet<LogTag>>>("whitelist");
        QTest::addColumn<QSet<LogTag>>("blacklist");
        QTest::addColumn<LogLevel>("lineLevel");
        QTest::addColumn<LogTag>("tag");
        QTest::addColumn<bool>("written");

        const std::optional<QSet<LogTag>> all;
        const QSet<LogTag> none;
        const QSet<LogTag> network{LogTag::network};
        QTest::newRow("default admits debug")
            << LogLevel::debug << all << none << LogLevel::debug << LogTag::app << true;
        QTest::newRow("default drops verbose")
            << LogLevel::debug << all << none << LogLevel::verbose << LogTag::app << false;
        QTest::newRow("warning drops info")
            << LogLevel::warning << all << none << LogLevel::info << LogTag::app << false;
        QTest::newRow("warning admits warning")
            << LogLevel::warning << all << none << LogLevel::warning << LogTag::app << true;
        QTest::newRow("warning admits error")
            << LogLevel::warning << all << none << LogLevel::error << LogTag::app << true;
        QTest::newRow("none silences error")
            << LogLevel::none << all << none << LogLevel::error << LogTag::app << false;
        QTest::newRow("a none line is never written")
            << LogLevel::verbose << all << none << LogLevel::none << LogTag::app << false;
        QTest::newRow("whitelist drops other tag")
            << LogLevel::debug << std::optional(network) << none << LogLevel::info << LogTag::web
            << false;
        QTest::newRow("whitelist admits its tag")
            << LogLevel::debug << std::optional(network) << none << LogLevel::info
            << LogTag::network << true;
        QTest::newRow("empty whitelist drops all")
            << LogLevel::debug << std::optional(QSet<LogTag>{}) << none << LogLevel::error
            << LogTag::app << false;
        QTest::newRow("blacklist drops its tag")
            << LogLevel::debug << all << network << LogLevel::error << LogTag::network << false;
        QTest::newRow("blacklist beats whitelist")
            << LogLevel::debug << std::optional(network) << network << LogLevel::error
            << LogTag::network << false;
    }

    void filtering() {
        QFETCH(LogLevel, configured);
        QFETCH(std::optional<QSet<LogTag>>, whitelist);
        QFETCH(QSet<LogTag>, blacklist);
        QFETCH(LogLevel, lineLevel);
        QFETCH(LogTag, tag);
        QFETCH(bool, written);

        LoggerConsole console;
        FileLogger logger(console.sink());
        LoggerConfig config;
        config.level = configured;
        config.whitelistTags = whitelist;
        config.blacklistTags = blacklist;
        logger.setup(config);
        console.clear();

        logger.write(lineLevel, tag, QStringLiteral("probe"), SourceLocation::current());
        QCOMPARE(console.all().size(), written ? 1 : 0);
    }

    void statusMessagesFollowTheirOwnFilter() {
        LoggerConsole console;
        FileLogger logger(console.sink());
        logger.setup(bareConfig());
        QCOMPARE(console.all(),
                 QStringList{QStringLiteral(
                     "[INFO][APP] FileLogger initialized - Level: DEBUG, File: OFF\n")});

        console.clear();
        logger.setLogLevel(LogLevel::warning);
        QVERIFY(console.all().isEmpty());
        QCOMPARE(logger.currentLevel(), LogLevel::warning);

        logger.setLogLevel(LogLevel::info);
        logger.setWhitelist(std::nullopt);
        logger.setBlacklist({});
        logger.setBlacklist({LogTag::obs, LogTag::app});
        QCOMPARE(console.all(), (QStringList{
                                    QStringLiteral("[INFO][APP] Log level changed to: INFO\n"),
                                    QStringLiteral("[INFO][APP] Log whitelist: ALL\n"),
                                    QStringLiteral("[INFO][APP] Log blacklist: \n"),
                                }));

        console.clear();
        logger.setup(std::nullopt);
        // The tag is now blacklisted, so its own message is dropped, but the configuration stays.
        QVERIFY(console.all().isEmpty());
        QCOMPARE(logger.config().blacklistTags, (QSet<LogTag>{LogTag::obs, LogTag::app}));
    }

    void partsCanBeSwitchedOff() {
        LoggerConsole console;
        FileLogger logger(console.sink());
        LoggerConfig config = bareConfig();
        logger.setup(config);
        console.clear();
        logger.error(QStringLiteral("boom"), LogTag::ui);
        logger.warning(QStringLiteral("untagged"));
        QCOMPARE(console.all(), (QStringList{QStringLiteral("[ERROR][UI] boom\n"),
                                             QStringLiteral("[WARN][APP] untagged\n")}));

        config.showFunction = true;
        logger.setup(config);
        console.clear();
        logger.info(QStringLiteral("where"), LogTag::web);
        QVERIFY(console.all().first().contains(QStringLiteral("partsCanBeSwitchedOff")));
        QVERIFY(console.all().first().endsWith(QStringLiteral(" where\n")));
    }

    void fileLoggingUsesTheCacheFolderAndStartsEmpty() {
        const QString expectedPath =
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                .filePath(QStringLiteral("mac_brisca_cn.log"));
        QCOMPARE(FileLogger::defaultLogFilePath(), expectedPath);
        QDir().mkpath(QFileInfo(expectedPath).absolutePath());
        {
            QFile old(expectedPath);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("from an earlier run\n");
        }

        LoggerConsole console;
        FileLogger logger(console.sink());
        LoggerConfig config;
        config.enableFileLogging = true;
        logger.setup(config);
        QCOMPARE(logger.currentLogFilePath(), std::optional(expectedPath));
        QVERIFY(console.all().contains(QStringLiteral("✅ Log file opened: ") + expectedPath +
                                       QLatin1Char('\n')));
        logger.info(QStringLiteral("first"), LogTag::file);

        QStringList lines = fileLines(expectedPath);
        QCOMPARE(lines.size(), 2);
        QVERIFY(
            lines[0].endsWith(QStringLiteral("FileLogger initialized - Level: DEBUG, File: ON")));
        QVERIFY(lines[1].endsWith(QStringLiteral(" first")));

        // Opening again (second set-up) empties it again.
        logger.setup(config);
        QCOMPARE(fileLines(expectedPath).size(), 1);

        logger.clearLogFile();
        lines = fileLines(expectedPath);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith(QStringLiteral("Log file cleared")));
    }

    void fileStateWhileOffOrUnwritable() {
        QTemporaryDir dir;
        LoggerConsole console;
        FileLogger logger(console.sink());
        LoggerConfig config;
        config.logFilePath = dir.filePath(QStringLiteral("nested/app.log"));
        logger.setup(config);
        QCOMPARE(logger.currentLogFilePath(), std::nullopt);
        console.clear();
        logger.clearLogFile();
        QVERIFY(console.all().isEmpty());
        QVERIFY(!QFile::exists(*config.logFilePath));

        config.enableFileLogging = true;
        logger.setup(config);
        QCOMPARE(logger.currentLogFilePath(), config.logFilePath);

        // A path below a regular file cannot be created: console logging goes on.
        LoggerConfig broken = config;
        broken.logFilePath = dir.filePath(QStringLiteral("nested/app.log/below.log"));
        FileLogger other(console.sink());
        console.clear();
        other.setup(broken);
        QCOMPARE(other.currentLogFilePath(), std::nullopt);
        QCOMPARE(console.all().first(), QStringLiteral("❌ Failed to create log file at: ") +
                                            *broken.logFilePath + QLatin1Char('\n'));
        QCOMPARE(console.all().size(), 2);
    }

    void concurrentLinesStayWhole() {
        QTemporaryDir dir;
        LoggerConsole console;
        FileLogger logger(console.sink());
        LoggerConfig config;
        config.enableFileLogging = true;
        config.logFilePath = dir.filePath(QStringLiteral("threads.log"));
        logger.setup(config);
        console.clear();

        constexpr int kThreads = 8;
        constexpr int kLines = 1000;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&logger, t] {
                for (int i = 0; i < kLines; ++i) {
                    logger.info(QStringLiteral("thread %1 line %2 %3")
                                    .arg(t)
                                    .arg(i)
                                    .arg(QString(40, QLatin1Char('x'))),
                                LogTag::performance);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }

        static const QRegularExpression whole(QStringLiteral(
            R"(^\d\d:\d\d:\d\d\.\d{3} \[INFO\]\[PERF\] \S+:\d+ thread (\d) line (\d+) x{40}$)"));
        const QStringList fromFile = fileLines(*config.logFilePath);
        QVERIFY(fromFile.value(0).endsWith(QStringLiteral("File: ON")));
        for (const QStringList& lines : {fromFile.mid(1), console.all()}) {
            QCOMPARE(lines.size(), kThreads * kLines);
            QSet<QString> seen;
            for (QString line : lines) {
                if (line.endsWith(QLatin1Char('\n'))) {
                    line.chop(1);
                }
                const auto match = whole.match(line);
                QVERIFY2(match.hasMatch(), qPrintable(line));
                seen.insert(match.captured(1) + QLatin1Char('/') + match.captured(2));
            }
            QCOMPARE(seen.size(), kThreads * kLines);
        }
    }

    // Qt's messages through the client's handler: warnings and errors on the console and in the
    // file, information and debug lines in the file alone, the client's system log on standard
    // error; each one line, masked.
    void qtMessagesReachByLevel_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("prefix");  // the line's level and tag; empty: not logged
        QTest::addColumn<bool>("onConsole");
        QTest::addColumn<bool>("onStandardError");
        QTest::newRow("debug") << int(QtDebugMsg) << "kx.test"
                               << "[DEBUG][APP]" << false << false;
        QTest::newRow("information") << int(QtInfoMsg) << "kx.test"
                                     << "[INFO][APP]" << false << false;
        QTest::newRow("warning") << int(QtWarningMsg) << "kx.test"
                                 << "[WARN][APP]" << true << false;
        QTest::newRow("critical") << int(QtCriticalMsg) << "kx.test"
                                  << "[ERROR][APP]" << true << false;
        QTest::newRow("a page's console") << int(QtWarningMsg) << "js"
                                          << "[WARN][WEB]" << true << false;
        QTest::newRow("system log") << int(QtInfoMsg) << "kx.system" << QString() << false << true;
    }
    void qtMessagesReachByLevel() {
        QFETCH(int, type);
        QFETCH(QString, category);
        QFETCH(QString, prefix);
        QFETCH(bool, onConsole);
        QFETCH(bool, onStandardError);
        QTemporaryDir dir;
        LoggerConsole console;
        QStringList standardError;
        ConsoleOutput::setSinkForTesting(
            [&standardError](const QString& line) { standardError << line; });
        FileLogger::shared().setConsoleSink(console.sink());
        LoggerConfig config;
        config.enableFileLogging = true;
        config.logFilePath = dir.filePath(QStringLiteral("qt.log"));
        FileLogger::shared().setup(config);
        console.clear();
        const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        ForeignLogLines::installQtMessageHandler();
        const QByteArray name = category.toLatin1();
        qt_message_output(QtMsgType(type), QMessageLogContext(nullptr, 0, nullptr, name.data()),
                          QStringLiteral("one\ntwo token=T1\n"));
        qInstallMessageHandler(previous);
        FileLogger::shared().setup(std::nullopt);
        FileLogger::shared().setConsoleSink({});
        ConsoleOutput::setSinkForTesting({});

        const QString text = category + QStringLiteral(": one\\ntwo token=***");
        const QStringList inFile = fileLines(*config.logFilePath).filter(text);
        QCOMPARE(inFile.size(), prefix.isEmpty() ? 0 : 1);
        if (!prefix.isEmpty()) {
            QVERIFY2(inFile.first().contains(prefix + QStringLiteral(" ForeignLogLines.cpp:")),
                     qPrintable(inFile.first()));
            QVERIFY(inFile.first().endsWith(text));
        }
        QCOMPARE(console.all().filter(text).size(), onConsole ? 1 : 0);
        QCOMPARE(standardError, onStandardError ? QStringList{text} : QStringList{});
    }

    void levelsAndTagsConvert() {
        QCOMPARE(logLevelFromRaw(0), std::optional(LogLevel::verbose));
        QCOMPARE(logLevelFromRaw(5), std::optional(LogLevel::none));
        QCOMPARE(logLevelFromRaw(6), std::nullopt);
        QCOMPARE(logLevelFromRaw(-1), std::nullopt);
        QCOMPARE(logLevelDisplayText(LogLevel::warning), QStringLiteral("WARN"));
        QStringList texts;
        for (LogTag tag : kAllLogTags) {
            texts << logTagText(tag);
            QCOMPARE(logTagFromText(logTagText(tag)), std::optional(tag));
        }
        QCOMPARE(texts.join(QLatin1Char(' ')),
                 QStringLiteral(
                     "APP NET WEB NATIVE VIDEO WINDOW FILE SETTINGS UPLOAD DOWNLOAD OBS PERF UI"));
        QCOMPARE(logTagFromText(QStringLiteral("net")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(FileLoggerTest)
#include "tst_FileLogger.moc"
