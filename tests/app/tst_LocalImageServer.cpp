#include "LoopbackServerTestCase.h"

#include "app/LocalImageServer.h"
#include "foundation/logging/FileLogger.h"
#include "foundation/settings/SettingsManager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>

#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

const QByteArray kIndexHtml = "<!doctype html><title>page</title>";

}  // namespace

class LocalImageServerTest : public LoopbackServerTestCase {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        prepareProcess();
        QVERIFY(m_home.isValid());
        const QString web = m_documents + QStringLiteral("/KXVWebContent");
        writeFile(web + QStringLiteral("/0.6.87/pc/index.html"), kIndexHtml);
        writeFile(web + QStringLiteral("/my folder/a.css"), "p{}");
        // Far more than a socket takes at once, so the server has to send it in turns.
        writeFile(web + QStringLiteral("/0.6.87/pc/big.bin"), patterned(16 * 1024 * 1024));
        writeFile(web + QStringLiteral("/0.6.87/pc/empty.js"), {});
        writeFile(web + QStringLiteral("/0.6.87/pc/nine.bin"), patterned(9 * 1024));
        writeFile(web + QStringLiteral("/0.6.87/pc/three.bin"), patterned(3 * 1024 * 1024));
        writeFile(m_documents + QStringLiteral("/secret.txt"), "secret");
        QVERIFY(QFile::link(m_documents + QStringLiteral("/secret.txt"),
                            web + QStringLiteral("/0.6.87/pc/leak.txt")));
        QVERIFY(QFile::link(m_documents, web + QStringLiteral("/outside")));
        QVERIFY(QFile::link(web + QStringLiteral("/0.6.87/pc/index.html"),
                            web + QStringLiteral("/0.6.87/pc/inner.html")));
        QCOMPARE(::mkfifo(QFile::encodeName(web + QStringLiteral("/0.6.87/pc/pipe.js")).constData(),
                          0600),
                 0);

        const quint16 port = startServer();
        QVERIFY(m_server->isRunning());
        QCOMPARE(m_server->port(), port);
        QVERIFY(ConsoleLines::take().contains(
            QStringLiteral("✅ 本地图片服务器已启动: http://localhost:%1").arg(port)));
    }

    void cleanupTestCase() { stopServer(); }

    void statusCountsStoredImages() {
        const QString first =
            m_server->storeImage(QByteArray(1024 * 1024, 'a'), QStringLiteral("1"));
        QCOMPARE(first,
                 QStringLiteral("http://localhost:%1/screenshot?deviceId=1").arg(m_server->port()));
        m_server->storeImage(QByteArray(100, 'x'), QStringLiteral("2"));
        m_server->storeImage(QByteArray(512 * 1024, 'b'), QStringLiteral("2"));  // replaces
        const HttpExchange reply = curl({url(QStringLiteral("/status"))});
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(reply.headers.value("content-type"),
                 QByteArray("application/json; charset=utf-8"));
        QCOMPARE(reply.body, QStringLiteral("{\n    \"status\": \"running\",\n    \"port\": %1,\n"
                                            "    \"cached_images\": 2,\n"
                                            "    \"total_size_mb\": 1.5\n}")
                                 .arg(m_server->port())
                                 .toUtf8());
    }

    void routes_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        const QStringList get;
        const QByteArray text = "text/plain; charset=utf-8";
        const QByteArray html = "text/html; charset=utf-8";
        const QByteArray ok = "HTTP/1.1 200 OK";
        const QByteArray notFound = "HTTP/1.1 404 Not Found";
        QTest::newRow("POST status") << QStringList{"-X", "POST"} << "/status"
                                     << QByteArray("HTTP/1.1 405 Method Not Allowed") << text
                                     << QByteArray("Method Not Allowed");
        QTest::newRow("lower-case get") << QStringList{"-X", "get"} << "/status"
                                        << QByteArray("HTTP/1.1 405 Method Not Allowed") << text
                                        << QByteArray("Method Not Allowed");
        QTest::newRow("status with query")
            << get << "/status?x=1" << notFound << text << QByteArray("Not Found");
        QTest::newRow("screenshot without id")
            << get << "/screenshot" << QByteArray("HTTP/1.1 400 Bad Request") << text
            << QByteArray("Missing image ID");
        QTest::newRow("screenshot with empty id")
            << get << "/screenshot?deviceId=" << QByteArray("HTTP/1.1 400 Bad Request") << text
            << QByteArray("Missing image ID");
        QTest::newRow("unknown id") << get << "/screenshot?deviceId=77" << notFound << text
                                    << QByteArray("Image not found");
        QTest::newRow("id among other items, encoded")
            << get << "/screenshot?t=1&deviceId=4%32" << ok << QByteArray("image/webp")
            << webpImage(2048);
        QTest::newRow("screenshots prefix") << get << "/screenshots?deviceId=42" << ok
                                            << QByteArray("image/webp") << webpImage(2048);
        QTest::newRow("entry file with query")
            << get << "/web-content/0.6.87/pc/index.html?v=3" << ok << html << kIndexHtml;
        QTest::newRow("encoded blank in folder")
            << get << "/web-content/my%20folder/a.css" << ok
            << QByteArray("text/css; charset=utf-8") << QByteArray("p{}");
        QTest::newRow("link inside the folder")
            << get << "/web-content/0.6.87/pc/inner.html" << ok << html << kIndexHtml;
        QTest::newRow("dot-dot out")
            << get << "/web-content/../secret.txt" << notFound << text << QByteArray("Not Found");
        QTest::newRow("dot-dot out from a version") << get << "/web-content/0.6.87/../../secret.txt"
                                                    << notFound << text << QByteArray("Not Found");
        QTest::newRow("encoded dot-dot") << get << "/web-content/%2e%2e/secret.txt" << notFound
                                         << text << QByteArray("Not Found");
        QTest::newRow("encoded slash and dots")
            << get << "/web-content/0.6.87%2F%2E%2E%2F..%2fsecret.txt" << notFound << text
            << QByteArray("Not Found");
        QTest::newRow("file link out") << get << "/web-content/0.6.87/pc/leak.txt" << notFound
                                       << text << QByteArray("Not Found");
        QTest::newRow("folder link out") << get << "/web-content/outside/secret.txt" << notFound
                                         << text << QByteArray("Not Found");
        QTest::newRow("root itself")
            << get << "/web-content/" << notFound << text << QByteArray("Not Found");
        QTest::newRow("missing file") << get << "/web-content/0.6.87/pc/app.js" << notFound << text
                                      << QByteArray("Not Found");
        QTest::newRow("name too long for the file system")
            << get << "/web-content/0.6.87/pc/" + QString(300, u'x') + ".js" << notFound << text
            << QByteArray("Not Found");
        QTest::newRow("60 KB path")
            << get
            << "/web-content/0.6.87/pc/" + QStringLiteral("folder/").repeated(8550) + "app.js"
            << notFound << text << QByteArray("Not Found");
        QTest::newRow("version folder")
            << get << "/web-content/0.6.87" << QByteArray("HTTP/1.1 500 Internal Server Error")
            << text << QByteArray("Failed to read file");
        QTest::newRow("pipe in the folder") << get << "/web-content/0.6.87/pc/pipe.js"
                                            << QByteArray("HTTP/1.1 500 Internal Server Error")
                                            << text << QByteArray("Failed to read file");
        QTest::newRow("broken percent-encoding")
            << get << "/web-content/%zz/pc/index.html" << QByteArray("HTTP/1.1 400 Bad Request")
            << text << QByteArray("Bad Request");
    }

    void routes() {
        QFETCH(QStringList, options);
        QFETCH(QString, path);
        QFETCH(QByteArray, statusLine);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        m_server->storeImage(webpImage(2048), QStringLiteral("42"));
        const HttpExchange reply =
            curl(options + QStringList{QStringLiteral("--path-as-is"), url(path)});
        QCOMPARE(reply.statusLine, statusLine);
        QCOMPARE(reply.headers.value("content-type"), contentType);
        QCOMPARE(reply.headers.value("content-length"), QByteArray::number(body.size()));
        QVERIFY(!reply.headers.contains("access-control-allow-origin"));
        QCOMPARE(reply.headers.value("vary"), QByteArray("Origin"));
        QCOMPARE(reply.headers.value("connection"), QByteArray("close"));
        QCOMPARE(reply.body, body);
    }

    void optionsHasNoBody() {
        const HttpExchange reply = curl(
            {QStringLiteral("-X"), QStringLiteral("OPTIONS"), url(QStringLiteral("/anything"))});
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 204 No Content"));
        QVERIFY(!reply.headers.contains("access-control-allow-origin"));
        QCOMPARE(reply.headers.value("access-control-allow-methods"),
                 QByteArray("GET, HEAD, OPTIONS"));
        QCOMPARE(reply.headers.value("access-control-allow-headers"), QByteArray("*"));
        QVERIFY(reply.body.isEmpty());
    }

    void headAnnouncesTheImageWithoutSendingIt() {
        m_server->storeImage(webpImage(3000), QStringLiteral("42"));
        const HttpExchange reply = rawExchange(
            m_server->port(), {"HEAD /screenshot?deviceId=42 HTTP/1.1\r\nHost: localhost\r\n\r\n"});
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(reply.headers.value("content-type"), QByteArray("image/webp"));
        QCOMPARE(reply.headers.value("content-length"), QByteArray("3000"));
        QCOMPARE(reply.headers.value("cache-control"),
                 QByteArray("no-store, no-cache, must-revalidate, max-age=0"));
        QVERIFY(reply.body.isEmpty());
        QVERIFY(reply.closedByServer);
    }

    void requestLineArrivesInPieces_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QByteArray>("body");
        const QByteArray ok = "HTTP/1.1 200 OK";
        const QByteArray bad = "HTTP/1.1 400 Bad Request";
        QTest::newRow("split method and path")
            << QList<QByteArray>{"GE", "T /web-content/0.6.8",
                                 "7/pc/index.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"}
            << ok << kIndexHtml;
        QTest::newRow("line end split")
            << QList<QByteArray>{"GET /web-content/0.6.87/pc/index.html\r",
                                 "\nHost: localhost\r\n\r\n"}
            << ok << kIndexHtml;
        QTest::newRow("empty lines first")
            << QList<QByteArray>{"\r\n\r\nGET /web-content/0.6.87/pc/index.html HTTP/1.1\r\n",
                                 "Host: localhost\r\n\r\n"}
            << ok << kIndexHtml;
        QTest::newRow("70000 bytes without a line end")
            << QList<QByteArray>{QByteArray(70000, 'A')} << bad << QByteArray("Bad Request");
        QTest::newRow("a route followed by 70000 bytes")
            << QList<QByteArray>{"GET /status ", QByteArray(70000, 'A')} << bad
            << QByteArray("Bad Request");
        QTest::newRow("not UTF-8") << QList<QByteArray>{"GET /\xff\xfe HTTP/1.1\r\n\r\n"} << bad
                                   << QByteArray("Bad Request");
        QTest::newRow("method only")
            << QList<QByteArray>{"GET\r\n\r\n"} << bad << QByteArray("Bad Request");
    }

    void requestLineArrivesInPieces() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QByteArray, statusLine);
        QFETCH(QByteArray, body);
        const HttpExchange reply = rawExchange(m_server->port(), chunks);
        QCOMPARE(reply.statusLine, statusLine);
        QCOMPARE(reply.body, body);
        QVERIFY(reply.closedByServer);
    }

    void requestsForOtherHostsAreRefused_data() {
        QTest::addColumn<QByteArray>("hostLines");
        QTest::addColumn<QByteArray>("statusLine");
        const QByteArray ok = "HTTP/1.1 200 OK";
        const QByteArray forbidden = "HTTP/1.1 403 Forbidden";
        QTest::newRow("another site") << QByteArray("Host: evil.example\r\n") << forbidden;
        QTest::newRow("a name starting like ours")
            << QByteArray("Host: localhost.evil.example\r\n") << forbidden;
        QTest::newRow("no host") << QByteArray() << forbidden;
        QTest::newRow("two hosts")
            << QByteArray("Host: localhost\r\nHost: evil.example\r\n") << forbidden;
        QTest::newRow("port that is no number")
            << QByteArray("Host: 127.0.0.1:80a\r\n") << forbidden;
        QTest::newRow("localhost with the port") << QByteArray("Host: localhost:<port>\r\n") << ok;
        QTest::newRow("address, upper-case name") << QByteArray("host:   LOCALHOST\r\n") << ok;
        QTest::newRow("IPv6 loopback with the port") << QByteArray("Host: [::1]:<port>\r\n") << ok;
    }

    void requestsForOtherHostsAreRefused() {
        QFETCH(QByteArray, hostLines);
        QFETCH(QByteArray, statusLine);
        hostLines.replace("<port>", QByteArray::number(m_server->port()));
        const HttpExchange reply =
            rawExchange(m_server->port(), {"GET /status HTTP/1.1\r\n" + hostLines + "\r\n"});
        QCOMPARE(reply.statusLine, statusLine);
        if (statusLine.contains("403")) {
            QCOMPARE(reply.body, QByteArray("Forbidden"));
        }
    }

    void crossOriginReadersGetTheirOwnName_data() {
        QTest::addColumn<QByteArray>("originLines");  // <port>: the server's
        QTest::addColumn<QByteArray>("allowed");      // empty: no Access-Control-Allow-Origin
        QTest::newRow("no origin") << QByteArray() << QByteArray();
        QTest::newRow("another site")
            << QByteArray("Origin: http://evil.example\r\n") << QByteArray();
        // What a sandboxed frame of any site sends.
        QTest::newRow("opaque origin") << QByteArray("Origin: null\r\n") << QByteArray();
        QTest::newRow("opaque origin, upper case")
            << QByteArray("origin: NULL\r\n") << QByteArray();
        // What the client's own file pages send.
        QTest::newRow("file pages") << QByteArray("Origin: file://\r\n") << QByteArray();
        QTest::newRow("the server's own origin")
            << QByteArray("Origin: http://localhost:<port>\r\n")
            << QByteArray("http://localhost:<port>");
        QTest::newRow("own origin by address") << QByteArray("Origin: http://127.0.0.1:<port>\r\n")
                                               << QByteArray("http://127.0.0.1:<port>");
        QTest::newRow("own origin beside an opaque one")
            << QByteArray("Origin: http://localhost:<port>\r\nOrigin: null\r\n") << QByteArray();
        QTest::newRow("own host, other port")
            << QByteArray("Origin: http://localhost:1\r\n") << QByteArray();
        QTest::newRow("wildcard asked for") << QByteArray("Origin: *\r\n") << QByteArray();
    }

    void crossOriginReadersGetTheirOwnName() {
        QFETCH(QByteArray, originLines);
        QFETCH(QByteArray, allowed);
        const QByteArray port = QByteArray::number(m_server->port());
        originLines.replace("<port>", port);
        allowed.replace("<port>", port);
        m_server->storeImage(webpImage(64), QStringLiteral("42"));
        for (const QByteArray& requestLine :
             {QByteArray("GET /status"), QByteArray("GET /screenshot?deviceId=42"),
              QByteArray("GET /web-content/0.6.87/pc/index.html"), QByteArray("GET /missing"),
              QByteArray("OPTIONS /status")}) {
            const HttpExchange reply =
                rawExchange(m_server->port(),
                            {requestLine + " HTTP/1.1\r\nHost: localhost:" + port + "\r\n" +
                             originLines + "Access-Control-Request-Method: GET\r\n\r\n"},
                            0);
            QVERIFY2(reply.statusLine.startsWith("HTTP/1.1 "), requestLine.constData());
            QCOMPARE(reply.headers.value("access-control-allow-origin"), allowed);
            QCOMPARE(reply.headers.contains("access-control-allow-origin"), !allowed.isEmpty());
            QCOMPARE(reply.headers.value("vary"), QByteArray("Origin"));
        }
    }

    void lineEndsAndEmptyRequestsAreAnsweredAtOnce_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::newRow("LF only") << QByteArray("GET /status HTTP/1.1\nHost: localhost\n\n")
                                 << QByteArray("HTTP/1.1 200 OK");
        QTest::newRow("empty lines only")
            << QByteArray("\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request");
        QTest::newRow("one bare LF") << QByteArray("\n") << QByteArray("HTTP/1.1 400 Bad Request");
    }

    void lineEndsAndEmptyRequestsAreAnsweredAtOnce() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, statusLine);
        QElapsedTimer clock;
        clock.start();
        // The idle drop would take 10 s; an answer at once comes well inside 5.
        const HttpExchange reply = rawExchange(m_server->port(), {request}, 0, 5000);
        QCOMPARE(reply.statusLine, statusLine);
        QVERIFY(reply.closedByServer);
        QVERIFY(clock.elapsed() < 5000);
    }

    void requestEndedBeforeItsEmptyLineIsAnswered() {
        const HttpExchange reply = rawExchange(
            m_server->port(), {"GET /status HTTP/1.1\r\nHost: localhost\r\n"}, 0, 5000, true);
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 200 OK"));
    }

    void webFilesArriveWhole_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("doneSending");
        QTest::addColumn<qsizetype>("announced");
        QTest::addColumn<QByteArray>("body");
        const QByteArray big = patterned(16 * 1024 * 1024);
        const QByteArray getBig =
            "GET /web-content/0.6.87/pc/big.bin HTTP/1.1\r\nHost: localhost\r\n\r\n";
        QTest::newRow("16 MiB") << getBig << false << big.size() << big;
        QTest::newRow("16 MiB, the client done sending") << getBig << true << big.size() << big;
        QTest::newRow("16 MiB, HEAD")
            << QByteArray("HEAD /web-content/0.6.87/pc/big.bin HTTP/1.1\r\nHost: localhost\r\n\r\n")
            << false << big.size() << QByteArray();
        QTest::newRow("empty file")
            << QByteArray("GET /web-content/0.6.87/pc/empty.js HTTP/1.1\r\nHost: localhost\r\n\r\n")
            << false << qsizetype(0) << QByteArray();
    }

    void webFilesArriveWhole() {
        QFETCH(QByteArray, request);
        QFETCH(bool, doneSending);
        QFETCH(qsizetype, announced);
        QFETCH(QByteArray, body);
        const HttpExchange reply = rawExchange(m_server->port(), {request}, 0, 20000, doneSending);
        QCOMPARE(reply.statusLine, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(reply.headers.value("content-length"), QByteArray::number(announced));
        QCOMPARE(reply.body.size(), body.size());
        QVERIFY(reply.body == body);
        QVERIFY(reply.closedByServer);
    }

    void listensOnLoopbackOnly() {
        QProcess ss;
        ss.start(QStringLiteral("ss"),
                 {QStringLiteral("-ltnH"), QStringLiteral("sport = :%1").arg(m_server->port())});
        QVERIFY(ss.waitForFinished(5000));
        QStringList addresses;
        for (const QString& line : QString::fromUtf8(ss.readAllStandardOutput()).split('\n')) {
            const QStringList columns =
                line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
            if (columns.size() >= 4) {
                addresses << columns.at(3);
            }
        }
        QVERIFY2(addresses.contains(QStringLiteral("127.0.0.1:%1").arg(m_server->port())),
                 qPrintable(addresses.join(' ')));
        for (const QString& address : addresses) {
            QVERIFY2(address == QStringLiteral("127.0.0.1:%1").arg(m_server->port()) ||
                         address == QStringLiteral("[::1]:%1").arg(m_server->port()),
                     qPrintable(address));
        }
    }

    void webContentURL_data() {
        QTest::addColumn<QString>("relativePath");  // to the documents root
        QTest::addColumn<QString>("expected");      // after the port; empty: nothing
        QTest::newRow("entry with fragment") << "KXVWebContent/0.6.87/pc/index.html#/login"
                                             << "/web-content/0.6.87/pc/index.html#/login";
        QTest::newRow("only the first fragment") << "KXVWebContent/0.6.87/pc/index.html#/a#b"
                                                 << "/web-content/0.6.87/pc/index.html#/a";
        QTest::newRow("blank and non-ASCII encoded") << "KXVWebContent/my folder/页.html"
                                                     << "/web-content/my%20folder/%E9%A1%B5.html";
        QTest::newRow("outside the folder") << "secret.txt"
                                            << "";
        QTest::newRow("climbs out with dot-dot") << "KXVWebContent/../secret.txt"
                                                 << "";
        QTest::newRow("a sibling sharing the prefix") << "KXVWebContentOld/0.1/pc/index.html"
                                                      << "";
    }

    void webContentURL() {
        QFETCH(QString, relativePath);
        QFETCH(QString, expected);
        QStringList warnings;
        FileLogger::shared().setConsoleSink(
            [&warnings](const QByteArray& line) { warnings << QString::fromUtf8(line); });
        const std::optional<QString> url =
            m_server->webContentURL(m_documents + QLatin1Char('/') + relativePath);
        FileLogger::shared().setConsoleSink({});
        if (expected.isEmpty()) {
            QVERIFY(!url);
            QCOMPARE(warnings.size(), 1);
            QVERIFY(warnings.first().contains(
                QStringLiteral("⚠️ 本地 web 文件不在服务目录内: ")));
        } else {
            QCOMPARE(url.value_or(QString()),
                     QStringLiteral("http://localhost:%1").arg(m_server->port()) + expected);
        }
    }

    void startAgainWhileRunningKeepsTheServer() {
        ConsoleLines::take();
        m_server->start();
        QVERIFY(ConsoleLines::take().contains(QStringLiteral("⚠️ 服务器已在运行")));
        QCOMPARE(curl({url(QStringLiteral("/"))}).statusLine, QByteArray("HTTP/1.1 200 OK"));
    }

    void stopEmptiesTheStoreAndFreesThePort() {
        const quint16 port = m_server->port();
        m_server->storeImage(webpImage(100), QStringLiteral("9"));
        m_server->stop();
        QVERIFY(!m_server->isRunning());
        QTcpServer taker;
        QVERIFY(taker.listen(QHostAddress::LocalHost, port));
        taker.close();
        m_server->start();
        QCOMPARE(m_server->port(), port);
        QCOMPARE(curl({url(QStringLiteral("/screenshot?deviceId=9"))}).body,
                 QByteArray("Image not found"));
    }

    void savedPort_data() {
        QTest::addColumn<QString>("saved");  // "<port>" is replaced by a free port
        QTest::addColumn<bool>("reused");
        QTest::newRow("plain") << "<port>" << true;
        QTest::newRow("leading plus") << "+<port>" << true;
        QTest::newRow("held elsewhere") << "held" << false;
        QTest::newRow("not a number") << "abc" << false;
        QTest::newRow("too large") << "65536" << false;
        QTest::newRow("zero") << "0" << false;
    }

    void savedPort() {
        QFETCH(QString, saved);
        QFETCH(bool, reused);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        const quint16 free = freePort();
        saved = saved == QLatin1String("held")
                    ? QString::number(holder.serverPort())
                    : saved.replace(QStringLiteral("<port>"), QString::number(free));
        SettingsManager settings(
            m_home.filePath(QStringLiteral("saved-%1.ini").arg(QTest::currentDataTag())));
        settings.set(saved, SettingKey::screenshotHttpPort);
        LocalImageServer server(settings);
        server.start();
        QVERIFY(server.isRunning());
        if (reused) {
            QCOMPARE(server.port(), free);
        } else {
            QVERIFY(server.port() != holder.serverPort());
            QCOMPARE(settings.string(SettingKey::screenshotHttpPort).value_or(QString()),
                     QString::number(server.port()));
        }
        QCOMPARE(curl({QStringLiteral("http://127.0.0.1:%1/status").arg(server.port())}).statusLine,
                 QByteArray("HTTP/1.1 200 OK"));
    }

    void serversStartedTogetherEachListen() {
        // Without saved ports they all choose the same first free port; all but one find it
        // taken when they listen and choose again, as many times as there are servers at most.
        constexpr int kServers = 4;
        std::vector<std::unique_ptr<SettingsManager>> settings;
        std::vector<std::unique_ptr<LocalImageServer>> servers;
        for (int i = 0; i < kServers; ++i) {
            settings.push_back(std::make_unique<SettingsManager>(
                m_home.filePath(QStringLiteral("together-%1.ini").arg(i))));
            servers.push_back(std::make_unique<LocalImageServer>(*settings.back()));
        }
        std::latch ready(kServers);
        std::vector<std::thread> starters;
        for (auto& server : servers) {
            starters.emplace_back([&ready, &server] {
                ready.arrive_and_wait();
                server->start();
            });
        }
        for (std::thread& starter : starters) {
            starter.join();
        }

        const QStringList printed = ConsoleLines::take();
        QSet<quint16> ports;
        for (const auto& server : servers) {
            QVERIFY2(server->isRunning(), qPrintable(printed.join('\n')));
            ports.insert(server->port());
            QCOMPARE(
                curl({QStringLiteral("http://127.0.0.1:%1/status").arg(server->port())}).statusLine,
                QByteArray("HTTP/1.1 200 OK"));
        }
        QCOMPARE(ports.size(), kServers);
    }
};

QTEST_GUILESS_MAIN(LocalImageServerTest)
#include "tst_LocalImageServer.moc"
