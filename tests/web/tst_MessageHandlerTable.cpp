#include "RecordingSender.h"
#include "WebTestSupport.h"

#include "api/KXNetworkManager.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "upload/FileUploader.h"
#include "upload/MultiFileUploadManager.h"
#include "web/LogMessageHandler.h"
#include "web/MessageHandlerTable.h"
#include "web/PageUploadFlow.h"
#include "web/Web2NativeMessage.h"
#include "web/WindowMessageHandler.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Web2NativeMessageType)

// Every type the registration table routes to a family is really served by that family: the
// family's handler, given the type, leaves a trace (a console or log line, a message to the page,
// a notification, a call out of the client, a change of the upload queue), where a type it does
// not serve leaves none. Families that would open dialogs, the desktop or the network are made
// here with stand-ins for those; the others as the table makes them.
class MessageHandlerTableTest : public QObject {
    Q_OBJECT

    RecordingSender m_sender;
    NotificationCenter m_center;
    KXNetworkManager m_network{[] {
        KXNetworkManager::Configuration configuration;
        configuration.apiBaseUrl = QUrl(QStringLiteral("http://127.0.0.1:9/api"));
        return configuration;
    }()};
    FileUploader m_uploader;
    MultiFileUploadManager m_uploads{m_uploader, m_network};
    int m_callsOut = 0;
    int m_posted = 0;

    std::shared_ptr<Web2NativeMessageHandler> familyOf(std::size_t slot) {
        const std::shared_ptr<Web2NativeMessageHandler> made = messageHandlerTable()[slot].make();
        if (dynamic_cast<WindowMessageHandler*>(made.get())) {
            WindowMessageHandler::Environment environment;
            environment.sender = &m_sender;
            environment.notifications = &m_center;
            environment.openDeviceIDs = [] { return QList<qint64>{}; };
            environment.openURL = [this](const QUrl&) { return ++m_callsOut, true; };
            environment.chooseDocumentsFolder = [this] { return ++m_callsOut, std::nullopt; };
            environment.uploadEnvironment = [this] {
                return PageUploadFlow::Environment{&m_uploads, &m_uploader, &m_sender,
                                                   [this](auto) { ++m_callsOut; }};
            };
            return std::make_shared<WindowMessageHandler>(environment);
        }
        if (dynamic_cast<LogMessageHandler*>(made.get())) {
            return std::make_shared<LogMessageHandler>(
                LogMessageHandler::Environment{[this] { return &m_uploader; }, &m_sender});
        }
        return made;
    }

    // Only the types that a family acts on when the page's data is whole need any.
    static QJsonObject probeData(Web2NativeMessageType type) {
        switch (type) {
            case Web2NativeMessageType::writeLocalLog:
                return {{QStringLiteral("msg"), QStringLiteral("probe")}};
            case Web2NativeMessageType::changeWndSize:
                return {{QStringLiteral("width"), 1}, {QStringLiteral("height"), 1}};
            case Web2NativeMessageType::closeSelectCloudphone:
                return {{QStringLiteral("deviceArr"), QJsonArray{}}};
            case Web2NativeMessageType::requestFileURLIsExist:
                return {{QStringLiteral("requestId"), QStringLiteral("r")},
                        {QStringLiteral("url"), QStringLiteral("u")}};
            default:
                return {};
        }
    }

    // Everything a handler may do that is seen from outside it.
    QStringList traces(const LineCapture& lines) const {
        QStringList seen = lines.console() + lines.log();
        for (const Native2WebMessage& message : m_sender.messages()) {
            seen << QStringLiteral("page: ") + message.type;
        }
        seen << QStringLiteral("out: %1, posted: %2, chosen: %3, queued: %4")
                    .arg(m_callsOut)
                    .arg(m_posted)
                    .arg(m_uploads.selectedFiles().size())
                    .arg(m_uploads.uploadQueue().size());
        return seen;
    }

private Q_SLOTS:
    void initTestCase() {
        m_uploader.setCredentialConfig(OBSConfig{"ak", "sk", "bucket", std::nullopt,
                                                 "store.example.com", "token", 3600,
                                                 QDateTime::currentSecsSinceEpoch() + 3600});
        for (const QString& name :
             {QStringLiteral("childToMainMessage"), QStringLiteral("mainToChildMessage"),
              QStringLiteral("webContentDidRepair")}) {
            m_center.addObserver(nullptr, name, [this](const Notification&) { ++m_posted; });
        }
    }

    void init() {
        m_sender.clear();
        m_uploads.clearQueue();
        // One file chosen on the page, which the upload messages act on.
        m_uploads.setSelectedFiles({SelectedUploadFile{
            QUrl::fromLocalFile(QDir::temp().filePath(QStringLiteral("no-such-upload"))),
            QStringLiteral("0123456789abcdef0123456789abcdef"), 1, FileType::document}});
        QDir(LogMessageHandler::logFolderPath()).removeRecursively();
    }

    void everyRoutedTypeIsServed_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<Web2NativeMessageType>("type");
        QTest::addColumn<bool>("served");
        const std::vector<MessageHandlerSlot>& table = messageHandlerTable();
        for (std::size_t slot = 0; slot < table.size(); ++slot) {
            for (const Web2NativeMessageType type : table[slot].types) {
                // Registered for the page, deliberately without an action.
                const bool served = type != Web2NativeMessageType::openLog;
                QTest::addRow("%zu %s", slot, qPrintable(web2NativeMessageTypeText(type)))
                    << int(slot) << type << served;
            }
            // The debug family reads whatever it is given as a "debug-change-url" without an
            // address, so only the others can show what ignoring looks like.
            if (table[slot].types != std::vector{Web2NativeMessageType::debugChangeURL}) {
                QTest::addRow("%zu ignores page-loaded", slot)
                    << int(slot) << Web2NativeMessageType::pageLoaded << false;
            }
        }
    }
    void everyRoutedTypeIsServed() {
        QFETCH(int, slot);
        QFETCH(Web2NativeMessageType, type);
        QFETCH(bool, served);
        const std::shared_ptr<Web2NativeMessageHandler> handler = familyOf(std::size_t(slot));
        LineCapture lines;
        const QStringList before = traces(lines);
        handler->handle(Web2NativeMessage{web2NativeMessageTypeText(type), QStringLiteral("probe"),
                                          probeData(type)});
        const QStringList after = traces(lines);
        QVERIFY2((after != before) == served, qPrintable(after.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(MessageHandlerTableTest)
#include "tst_MessageHandlerTable.moc"
