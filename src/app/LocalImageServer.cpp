#include "app/LocalImageServer.h"

#include "app/LoopbackRequestPolicy.h"
#include "app/WebContentLocator.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/SettingsManager.h"
#include "loopback/HTTPPortManager.h"
#include "loopback/HttpContentTypes.h"
#include "loopback/HttpReply.h"
#include "loopback/HttpRequestLine.h"
#include "loopback/HttpRequestReader.h"
#include "loopback/ImageServerListener.h"
#include "web/TrustedPageOrigins.h"

#include <QDateTime>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <utility>

namespace {

// How long a connection's request head may take from its start, and a reply's send between two
// steps; and how many connections may be open at once.
constexpr ImageServerListener::Limits kConnectionLimits{std::chrono::seconds(10), 256};
constexpr int kListenAttempts = 5;

// A saved port: an optional sign, then decimal digits only, 1…65535.
std::optional<quint16> savedPort(const std::optional<QString>& text) {
    if (!text || text->isEmpty()) {
        return std::nullopt;
    }
    QStringView digits(*text);
    if (digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-'))) {
        digits = digits.mid(1);
    }
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(),
                                         [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return std::nullopt;
    }
    bool ok = false;
    const uint value = text->toUInt(&ok);
    // "-0" parses as zero, which is refused like every other port nobody can be told about.
    if (!ok || value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<quint16>(value);
}

void print(const QString& line) {
    ConsoleFormat::print(line);
}

}  // namespace

LocalImageServer& LocalImageServer::shared() {
    static LocalImageServer server(SettingsManager::shared());
    return server;
}

LocalImageServer::LocalImageServer(SettingsManager& settings)
    : LocalImageServer(settings, TrustedPageOrigins::shared()) {}

LocalImageServer::LocalImageServer(SettingsManager& settings, TrustedPageOrigins& origins)
    : m_settings(settings), m_origins(origins) {}

LocalImageServer::~LocalImageServer() {
    if (m_thread) {
        stop();
    }
}

void LocalImageServer::setDocumentsRootProvider(DocumentsRootProvider provider) {
    std::lock_guard lock(m_providerMutex);
    m_documentsRoot = std::move(provider);
}

bool LocalImageServer::isRunning() const {
    return m_thread != nullptr;
}

void LocalImageServer::start() {
    if (m_thread) {
        print(QStringLiteral("⚠️ 服务器已在运行"));
        return;
    }
    std::optional<quint16> saved = savedPort(m_settings.string(SettingKey::screenshotHttpPort));
    // Another program may take the chosen port between the check and the listen, or only probe
    // it then; the choice is made again, a few times at most.
    for (int attempt = 0; attempt < kListenAttempts; ++attempt) {
        const std::optional<quint16> chosen = choosePort(std::exchange(saved, std::nullopt));
        if (!chosen || listenOn(*chosen)) {
            return;
        }
    }
}

std::optional<quint16> LocalImageServer::choosePort(std::optional<quint16> saved) {
    if (saved && HTTPPortManager::isPortAvailable(*saved)) {
        print(QStringLiteral("✅ 复用已保存的本地图片端口: ") + QString::number(*saved));
        return saved;
    }
    const std::optional<quint16> found = HTTPPortManager::findAvailablePort();
    if (!found) {
        print(QStringLiteral("❌ 未找到可用的本地图片端口"));
        return std::nullopt;
    }
    m_settings.set(QString::number(*found), SettingKey::screenshotHttpPort);
    print(QStringLiteral("✅ 使用新的本地图片端口: ") + QString::number(*found));
    return found;
}

bool LocalImageServer::listenOn(quint16 chosen) {
    m_port = chosen;
    auto thread = std::make_unique<QThread>();
    thread->setObjectName(QStringLiteral("com.brisca.imageserver"));
    auto* listener = new ImageServerListener(
        [this](const HttpRequestReader& request) { return respond(request); }, kConnectionLimits);
    listener->moveToThread(thread.get());
    QObject::connect(thread.get(), &QThread::finished, listener, &QObject::deleteLater);
    thread->start();
    QString failure;
    QMetaObject::invokeMethod(
        listener, [listener, chosen, &failure] { failure = listener->listen(chosen); },
        Qt::BlockingQueuedConnection);
    if (!failure.isEmpty()) {
        // Nothing is kept, so a later start tries again.
        print(QStringLiteral("❌ 服务器启动失败: ") + failure);
        thread->quit();
        thread->wait();
        return false;
    }
    m_thread = std::move(thread);
    m_listener = listener;
    m_origins.setLoopbackPort(chosen);
    m_settings.set(QString::number(chosen), SettingKey::screenshotHttpPort);
    print(QStringLiteral("✅ 本地图片服务器已启动: ") + baseURL());
    return true;
}

void LocalImageServer::stop() {
    if (m_thread) {
        ImageServerListener* listener = std::exchange(m_listener, nullptr);
        QMetaObject::invokeMethod(
            listener,
            [listener] {
                listener->close();
                print(QStringLiteral("⚠️ 服务器已停止"));
            },
            Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
        m_thread.reset();
    }
    {
        std::lock_guard lock(m_cacheMutex);
        m_imageCache.clear();
    }
    {
        std::lock_guard lock(m_taskMutex);
        for (const auto& cancel : std::as_const(m_downloadTasks)) {
            cancel();
        }
        m_downloadTasks.clear();
    }
    print(QStringLiteral("⚠️ 服务器已停止，缓存已清空"));
}

QString LocalImageServer::storeImage(const QByteArray& imageData, const QString& deviceId) {
    {
        std::lock_guard lock(m_cacheMutex);
        m_imageCache.insert(deviceId, imageData);
    }
    const QString url = screenshotURL(deviceId, false);
    print(QStringLiteral("✅ 图片已存储，本地链接: ") + url);
    return url;
}

QString LocalImageServer::screenshotURL(const QString& deviceId, bool withTimestamp) const {
    QString url = baseURL() + QStringLiteral("/screenshot?deviceId=") + deviceId;
    if (withTimestamp) {
        url += QStringLiteral("&t=") + QString::number(QDateTime::currentMSecsSinceEpoch());
    }
    return url;
}

std::optional<QString> LocalImageServer::webContentURL(const QString& path) const {
    const QStringList pieces = path.split(QLatin1Char('#'));
    const QString fragment = pieces.size() > 1 ? QLatin1Char('#') + pieces.at(1) : QString();
    return webContentURL(QUrl::fromLocalFile(pieces.at(0)), fragment);
}

std::optional<QString> LocalImageServer::webContentURL(const QUrl& fileURL,
                                                       const QString& fragment) const {
    const QString filePath = fileURL.toLocalFile();
    const std::optional<QString> served = WebContentLocator::servedPath(documentsRoot(), filePath);
    if (!served) {
        LogWarning(QStringLiteral("⚠️ 本地 web 文件不在服务目录内: ") + filePath,
                   LogTag::web);
        return std::nullopt;
    }
    return baseURL() + QStringLiteral("/web-content/") + *served + fragment;
}

QString LocalImageServer::documentsRoot() const {
    DocumentsRootProvider provider;
    {
        std::lock_guard lock(m_providerMutex);
        provider = m_documentsRoot;
    }
    return provider ? provider() : QString();
}

QString LocalImageServer::baseURL() const {
    return QStringLiteral("http://") + host() + QLatin1Char(':') + QString::number(port());
}

// Runs on the server thread.
HttpReply::Reply LocalImageServer::respond(const HttpRequestReader& request) {
    const auto badRequest = [] {
        print(QStringLiteral("http 发送响应 sendResponse"));
        return HttpReply::text(400, QStringLiteral("Bad Request"));
    };
    if (request.state() != HttpRequestReader::State::complete) {
        return badRequest();
    }
    const std::optional<HttpRequestLine> line = HttpRequestLine::parse(request.line());
    if (!line) {
        return badRequest();
    }
    print(QStringLiteral("📥 收到请求: ") + line->method + QLatin1Char(' ') + line->path);
    const QList<QByteArray> hosts = request.headerValues("host");
    if (hosts.size() != 1 || !LoopbackRequestPolicy::isLoopbackHost(hosts.first())) {
        print(QStringLiteral("http 发送响应 sendResponse"));
        return HttpReply::text(403, QStringLiteral("Forbidden"));
    }
    const HttpReply::AllowedOrigin origin =
        LoopbackRequestPolicy::allowedOrigin(request.headerValues("origin"), m_origins);
    if (line->method == QLatin1String("OPTIONS")) {
        return HttpReply::empty(204, origin);
    }
    if (line->method != QLatin1String("GET") && line->method != QLatin1String("HEAD")) {
        print(QStringLiteral("http 发送响应 sendResponse"));
        return HttpReply::text(405, QStringLiteral("Method Not Allowed"), origin);
    }
    if (line->path.startsWith(QLatin1String("/screenshot"))) {
        return screenshotReply(line->path, line->method, origin);
    }
    if (line->path.startsWith(QLatin1String("/web-content/"))) {
        return webContentReply(line->path, line->method, origin);
    }
    if (line->path == QLatin1String("/") || line->path == QLatin1String("/status")) {
        return statusReply(origin);
    }
    print(QStringLiteral("http 发送响应 sendResponse"));
    return HttpReply::text(404, QStringLiteral("Not Found"), origin);
}

HttpReply::Reply LocalImageServer::screenshotReply(const QString& path, const QString& method,
                                                   const HttpReply::AllowedOrigin& origin) {
    const auto text = [&origin](int code, const QString& message) {
        print(QStringLiteral("http 发送响应 sendResponse"));
        return HttpReply::text(code, message, origin);
    };
    std::optional<QString> id;
    const qsizetype queryStart = path.indexOf(QLatin1Char('?'));
    if (queryStart >= 0) {
        const QString query = path.mid(queryStart + 1).section(QLatin1Char('#'), 0, 0);
        for (const QString& item : query.split(QLatin1Char('&'))) {
            const qsizetype equals = item.indexOf(QLatin1Char('='));
            const std::optional<QString> name = strictPercentDecoded(item.left(equals));
            if (name && *name == QLatin1String("deviceId")) {
                if (equals >= 0) {
                    id = strictPercentDecoded(item.mid(equals + 1));
                }
                break;
            }
        }
    }
    if (!id || id->isEmpty()) {
        return text(400, QStringLiteral("Missing image ID"));
    }
    print(QStringLiteral("🔍 请求图片 ID: ") + *id);
    std::optional<QByteArray> image;
    {
        std::lock_guard lock(m_cacheMutex);
        const auto found = m_imageCache.constFind(*id);
        if (found != m_imageCache.cend()) {
            image = found.value();
        }
    }
    if (!image) {
        print(QStringLiteral("❌ 图片不存在: ") + *id);
        return text(404, QStringLiteral("Image not found"));
    }
    print(QStringLiteral("✅ 从内存缓存返回图片: ") + *id + QStringLiteral(" (") +
          QString::number(image->size() / 1024) + QStringLiteral(" KB)"));
    print(QStringLiteral("http 发送响应 sendImageResponse"));
    return HttpReply::content(*image, HttpContentTypes::imageContentType(*image), method, origin);
}

HttpReply::Reply LocalImageServer::webContentReply(const QString& path, const QString& method,
                                                   const HttpReply::AllowedOrigin& origin) {
    const auto text = [&origin](int code, const QString& message) {
        print(QStringLiteral("http 发送响应 sendResponse"));
        return HttpReply::text(code, message, origin);
    };
    const std::optional<QString> decoded = strictPercentDecoded(path);
    if (!decoded) {
        return text(400, QStringLiteral("Bad Request"));
    }
    QString relative = *decoded;
    relative.remove(0, qsizetype(sizeof "/web-content/" - 1));
    relative = relative.section(QLatin1Char('?'), 0, 0);
    WebContentLocator::ServedFile file =
        WebContentLocator::openServedFile(documentsRoot(), relative);
    if (file.outcome == WebContentLocator::ServedFile::Outcome::notFound) {
        return text(404, QStringLiteral("Not Found"));
    }
    if (file.outcome == WebContentLocator::ServedFile::Outcome::unreadable) {
        return text(500, QStringLiteral("Failed to read file"));
    }
    // The type follows the name asked for, not the name a link leads to.
    return HttpReply::fileContent(
        std::move(file.file), file.size,
        HttpContentTypes::mimeType(HttpContentTypes::pathExtension(relative)), method, origin);
}

QByteArray LocalImageServer::statusReply(const HttpReply::AllowedOrigin& origin) {
    qsizetype count = 0;
    qint64 totalBytes = 0;
    {
        std::lock_guard lock(m_cacheMutex);
        count = m_imageCache.size();
        for (const QByteArray& image : std::as_const(m_imageCache)) {
            totalBytes += image.size();
        }
    }
    const double megabytes = static_cast<double>(totalBytes) / 1024.0 / 1024.0;
    const QString json = QStringLiteral(
                             "{\n"
                             "    \"status\": \"running\",\n"
                             "    \"port\": %1,\n"
                             "    \"cached_images\": %2,\n"
                             "    \"total_size_mb\": %3\n"
                             "}")
                             .arg(port())
                             .arg(count)
                             .arg(ConsoleFormat::number(megabytes));
    print(QStringLiteral("http 发送响应 sendJSONResponse"));
    return HttpReply::json(json, origin);
}
