#include "foundation/ConsoleOutput.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// Points standard output at a file while it lives.
class RedirectedStandardOutput {
public:
    explicit RedirectedStandardOutput(const QString& path) {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        m_ok = m_saved >= 0 && std::freopen(QFile::encodeName(path).constData(), "w", stdout);
    }
    ~RedirectedStandardOutput() {
        std::fflush(stdout);
        if (m_saved >= 0) {
            ::dup2(m_saved, STDOUT_FILENO);
            ::close(m_saved);
        }
    }
    bool ok() const { return m_ok; }

private:
    int m_saved = -1;
    bool m_ok = false;
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class ConsoleOutputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writesUtf8Lines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("chinese") << QStringLiteral("批量输入同步已关闭")
                                 << QByteArray(
                                        "\xe6\x89\xb9\xe9\x87\x8f\xe8\xbe\x93\xe5\x85\xa5"
                                        "\xe5\x90\x8c\xe6\xad\xa5\xe5\xb7\xb2\xe5\x85\xb3"
                                        "\xe9\x97\xad\n");
        QTest::newRow("emoji outside the basic plane")
            << QStringLiteral("📤 开始上传: a.png")
            << QByteArray(
                   "\xf0\x9f\x93\xa4 \xe5\xbc\x80\xe5\xa7\x8b\xe4\xb8\x8a\xe4\xbc\xa0: a.png\n");
        QTest::newRow("empty") << QString() << QByteArray("\n");
    }
    void writesUtf8Lines() {
        QFETCH(QString, line);
        QFETCH(QByteArray, written);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        {
            RedirectedStandardOutput redirect(path);
            QVERIFY(redirect.ok());
            ConsoleOutput::print(line);
        }
        QCOMPARE(contents(path), written);
    }

    void linesFromManyThreadsComeOutWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        constexpr int kThreads = 8;
        constexpr int kLines = 300;
        {
            RedirectedStandardOutput redirect(path);
            QVERIFY(redirect.ok());
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([t] {
                    // Long enough that a split write would show.
                    const QString body = QString(400, QChar(u'a' + t));
                    for (int i = 0; i < kLines; ++i) {
                        ConsoleOutput::print(QString::number(t) + QLatin1Char(':') + body);
                    }
                });
            }
            for (std::thread& thread : threads) {
                thread.join();
            }
        }
        const QList<QByteArray> lines = contents(path).split('\n');
        QCOMPARE(lines.size(), kThreads * kLines + 1);
        QVERIFY(lines.last().isEmpty());
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            const QByteArray& line = lines.at(i);
            const int t = line.left(1).toInt();
            QCOMPARE(line, QByteArray::number(t) + ':' + QByteArray(400, char('a' + t)));
        }
    }

    void captureTakesLinesWhileItLives() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        RedirectedStandardOutput redirect(path);
        QVERIFY(redirect.ok());
        {
            ConsoleCapture capture;
            ConsoleCapture::clear();
            ConsoleOutput::print(QStringLiteral("captured"));
            QCOMPARE(ConsoleCapture::lines(), QStringList{QStringLiteral("captured")});
        }
        ConsoleOutput::print(QStringLiteral("after"));
        std::fflush(stdout);
        QCOMPARE(contents(path), QByteArray("after\n"));
        QCOMPARE(ConsoleCapture::lines(), QStringList{QStringLiteral("captured")});
    }
};

QTEST_GUILESS_MAIN(ConsoleOutputTest)
#include "tst_ConsoleOutput.moc"
