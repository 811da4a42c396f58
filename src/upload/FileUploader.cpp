#include "upload/FileUploader.h"

#include "api/CDYUserTool.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/SerialQueue.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/BundleInfo.h"
#include "foundation/storage/KXEncryptionUtil.h"
#include "foundation/text/StrictUtf8.h"
#include "upload/FileDigests.h"
#include "upload/OBSRequestSigner.h"
#include "upload/StoreTransferSession.h"
#include "upload/UploadProgressRelay.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>

#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

Error uploadError(int code, const QString& message) {
    return Error{FileUploader::kErrorDomain, code, message};
}

// Whole units of a duration; values past the 64-bit range are clamped, never undefined.
long long wholeUnits(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double truncated = std::trunc(value);
    if (truncated >= 9.2e18) {
        return std::numeric_limits<long long>::max();
    }
    if (truncated <= -9.2e18) {
        return std::numeric_limits<long long>::min();
    }
    return static_cast<long long>(truncated);
}

}  // namespace

FileUploader& FileUploader::shared() {
    static FileUploader* const instance = [] {
        auto* uploader = new FileUploader();
        // Its replies are delivered where it lives, so it must live on the GUI thread.
        if (QCoreApplication* app = QCoreApplication::instance();
            app && uploader->thread() != app->thread()) {
            uploader->moveToThread(app->thread());
        }
        return uploader;
    }();
    return *instance;
}

FileUploader::FileUploader(Configuration configuration, QObject* parent)
    : QObject(parent),
      m_configuration(std::move(configuration)),
      m_serialQueue(std::make_unique<SerialQueue>(QStringLiteral("FileUploader.op.serial.queue"))),
      m_transfers(std::make_unique<StoreTransferSession>(m_configuration.extraCaCertificates)) {
    if (!m_configuration.userID) {
        m_configuration.userID = []() -> std::optional<QString> {
            if (const auto user = CDYUserTool::shared().loadUser()) {
                return user->uid();
            }
            return std::nullopt;
        };
    }
    if (!m_configuration.now) {
        m_configuration.now = [] { return QDateTime::currentDateTimeUtc(); };
    }
    if (m_configuration.clientVersion.isEmpty()) {
        m_configuration.clientVersion = BundleInfo::main()
                                            .string(BundleInfo::kShortVersionKey)
                                            .value_or(QStringLiteral("Unknown"));
    }
}

FileUploader::~FileUploader() {
    // Transfers report to the serial queue, and queued work may still be hashing: end the
    // transfers first, then let the queue drain without starting new ones.
    m_stopping.store(true);
    m_transfers->shutdown();
    m_serialQueue.reset();
}

std::optional<QString> FileUploader::authDomain() const {
    std::lock_guard lock(m_mutex);
    return m_authDomain;
}

void FileUploader::setAuthDomain(std::optional<QString> domain) {
    std::lock_guard lock(m_mutex);
    m_authDomain = std::move(domain);
}

std::optional<OBSConfig> FileUploader::credentialConfig() const {
    std::lock_guard lock(m_mutex);
    return m_credentialConfig;
}

void FileUploader::setCredentialConfig(std::optional<OBSConfig> config) {
    std::lock_guard lock(m_mutex);
    m_credentialConfig = std::move(config);
}

void FileUploader::console(const QString& line) const {
    ConsoleOutput::print(line, m_configuration.console);
}

QDateTime FileUploader::now() const {
    return m_configuration.now();
}

void FileUploader::uploadFile(const QString& fileName, const QString& filePath,
                              ProgressHandler progress, UploadCompletion completion) {
    uploadFile(fileName, filePath, std::nullopt, std::move(progress), std::move(completion));
}

void FileUploader::uploadFile(const QString& fileName, const QString& filePath,
                              const std::optional<FileMD5AndSHA256>& digests,
                              ProgressHandler progress, UploadCompletion completion) {
    upload(Kind::chosenFile, fileName, filePath, digests, std::move(progress),
           [filePath, completion = std::move(completion)](const std::optional<Error>& error,
                                                          const QString& url) {
               if (completion) {
                   completion(filePath, error, url, !error);
               }
           });
}

void FileUploader::uploadLogFile(const QString& fileName, const QString& filePath,
                                 ProgressHandler progress, LogUploadCompletion completion) {
    upload(Kind::logFile, fileName, filePath, std::nullopt, std::move(progress),
           [completion = std::move(completion)](const std::optional<Error>& error,
                                                const QString& url) {
               if (completion) {
                   completion(error, url, !error);
               }
           });
}

QString FileUploader::contentTypeForExtension(const QString& lowerCaseExtension) {
    static const QHash<QString, QString> types{
        {QStringLiteral("jpg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("jpeg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("png"), QStringLiteral("image/png")},
        {QStringLiteral("gif"), QStringLiteral("image/gif")},
        {QStringLiteral("pdf"), QStringLiteral("application/pdf")},
        {QStringLiteral("txt"), QStringLiteral("text/plain")},
        {QStringLiteral("html"), QStringLiteral("text/html")},
        {QStringLiteral("json"), QStringLiteral("application/json")},
        {QStringLiteral("xml"), QStringLiteral("application/xml")},
        {QStringLiteral("zip"), QStringLiteral("application/zip")},
        {QStringLiteral("apk"), QStringLiteral("application/vnd.android.package-archive")},
        {QStringLiteral("mp4"), QStringLiteral("video/mp4")},
        {QStringLiteral("mp3"), QStringLiteral("audio/mpeg")},
    };
    return types.value(lowerCaseExtension, QStringLiteral("application/octet-stream"));
}

struct FileUploader::ObjectRequest {
    QString filePath;
    OBSConfig credential;
    QString key;  // as written in the URL path
    QString contentType;
    QString urlText;
    QUrl url;
};

QString FileUploader::encodedObjectKey(const QString& rawKey) {
    return QString::fromLatin1(QUrl::toPercentEncoding(rawKey, "/"));
}

void FileUploader::upload(Kind kind, const QString& fileName, const QString& filePath,
                          const std::optional<FileMD5AndSHA256>& digests, ProgressHandler progress,
                          const Finish& finish) {
    Result<ObjectRequest> request = describeRequest(kind, fileName, filePath);
    if (!request) {
        finish(request.error(), QString());
        return;
    }
    if (digests) {
        send(request.value(), *digests, std::move(progress), finish);
        return;
    }
    // Hashing reads the whole file, which must not stall the GUI thread; a caller on any other
    // thread is already off it and hears of a read error on its own thread.
    if (!MainQueue::isMainThread()) {
        hashAndSend(request.value(), std::move(progress), finish, finish);
        return;
    }
    m_serialQueue->async(
        [this, request = std::move(request).value(), progress = std::move(progress), finish] {
            hashAndSend(request, progress, finish,
                        [finish](const std::optional<Error>& error, const QString& url) {
                            MainQueue::async([finish, error, url] { finish(error, url); });
                        });
        });
}

Result<FileUploader::ObjectRequest> FileUploader::describeRequest(Kind kind,
                                                                  const QString& fileName,
                                                                  const QString& filePath) const {
    const std::optional<OBSConfig> credential = credentialConfig();
    if (!credential) {
        console(QStringLiteral("FileUploader.uploadFile fail, credential config is null"));
        return uploadError(401, QStringLiteral("凭证配置为空，请先获取上传凭证"));
    }
    if (!QFileInfo::exists(filePath)) {
        return uploadError(404, QStringLiteral("文件读取失败"));
    }
    const QString extension = QFileInfo(filePath).suffix().toLower();
    const Result<QString> key = objectKey(kind, fileName, extension);
    if (!key) {
        return key.error();
    }
    const QString urlText = QStringLiteral("https://") + credential->bucket + u'.' +
                            credential->endPoint + u'/' + key.value();
    const QUrl url(urlText, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return uploadError(400, QStringLiteral("无效的上传 URL"));
    }
    const QString contentType = kind == Kind::chosenFile ? contentTypeForExtension(extension)
                                                         : QStringLiteral("text/plain");
    return ObjectRequest{filePath, *credential, key.value(), contentType, urlText, url};
}

Result<QString> FileUploader::objectKey(Kind kind, const QString& fileName,
                                        const QString& extension) const {
    if (kind == Kind::logFile) {
        return QString(QStringLiteral("ios-client-log/") +
                       m_configuration.userID().value_or(QStringLiteral("userID")) +
                       QStringLiteral("/Mac/") + fileName);
    }
    const QString rawKey =
        (extension == u"apk" ? QStringLiteral("apk") : QStringLiteral("file")) + u'/' + fileName;
    if (!QStringView(rawKey).isValidUtf16()) {
        return uploadError(400, QStringLiteral("文件名编码失败"));
    }
    return encodedObjectKey(rawKey);
}

void FileUploader::hashAndSend(const ObjectRequest& request, ProgressHandler progress,
                               const Finish& finish, const Finish& earlyFailure) {
    if (m_stopping.load()) {
        return;
    }
    const Result<FileMD5AndSHA256> digests = fileMD5AndSHA256(request.filePath);
    if (!digests) {
        earlyFailure(digests.error(), QString());
        return;
    }
    send(request, digests.value(), std::move(progress), finish);
}

void FileUploader::send(const ObjectRequest& request, const FileMD5AndSHA256& digests,
                        ProgressHandler progress, const Finish& finish) {
    HeaderList headers = signedHeaders(request, digests, now());
    const QUrl target = storeTarget(request.url, headers);
    LogDebug(
        QStringLiteral("PUT %1 %2").arg(request.urlText, OBSRequestSigner::maskedHeaders(headers)),
        LogTag::upload);

    // The transfer's callbacks run one at a time on the transfer thread, the only place that
    // touches the context besides its progress relay.
    const std::shared_ptr<UploadTaskContext> context =
        makeTaskContext(request, std::move(progress), finish);
    StoreTransferSession::Callbacks callbacks;
    callbacks.progress = [context](qint64 sent, qint64 expected) {
        handleProgress(*context, sent, expected);
    };
    callbacks.responseData = [context](const QByteArray& bytes) {
        context->responseData.append(bytes);
    };
    callbacks.finished = [context](std::optional<int> httpStatus, std::optional<Error> error) {
        context->completionHandler(context->responseData, httpStatus, error);
    };
    m_transfers->put(target, headers, request.filePath, std::move(callbacks));
}

HeaderList FileUploader::signedHeaders(const ObjectRequest& request,
                                       const FileMD5AndSHA256& digests, const QDateTime& now) {
    const OBSConfig& credential = request.credential;
    const QString contentMD5 = QString::fromLatin1(digests.md5.toBase64());
    HeaderList headers;
    if (!credential.token.isEmpty()) {
        headers = OBSRequestSigner::signRequestV4(
            QStringLiteral("PUT"), request.key, request.contentType, contentMD5,
            digestHex(digests.sha256), credential, LocalISO8601DateFormatter::string(now));
    } else {
        headers = OBSRequestSigner::signV2({credential.ak, credential.sk, credential.bucket,
                                            request.key, request.contentType, contentMD5,
                                            RFC1123DateFormatter::string(now)});
        if (!request.contentType.isEmpty()) {
            headers.append({QStringLiteral("Content-Type"), request.contentType});
        }
        if (!contentMD5.isEmpty()) {
            headers.append({QStringLiteral("Content-MD5"), contentMD5});
        }
    }
    headers.append({QStringLiteral("x-obs-acl"), QStringLiteral("public-read")});
    return headers;
}

QUrl FileUploader::storeTarget(const QUrl& objectURL, HeaderList& headers) const {
    if (m_configuration.storeAddress.isEmpty()) {
        return objectURL;
    }
    QUrl target = objectURL;
    target.setScheme(m_configuration.storeAddress.scheme());
    target.setHost(m_configuration.storeAddress.host());
    target.setPort(m_configuration.storeAddress.port());
    const bool hasHost = std::any_of(headers.begin(), headers.end(), [](const auto& header) {
        return header.first.compare(u"host", Qt::CaseInsensitive) == 0;
    });
    if (!hasHost) {
        headers.append({QStringLiteral("Host"), objectURL.host()});
    }
    return target;
}

std::shared_ptr<FileUploader::UploadTaskContext> FileUploader::makeTaskContext(
    const ObjectRequest& request, ProgressHandler progress, const Finish& finish) {
    auto context = std::make_shared<UploadTaskContext>();
    context->filePath = request.filePath;
    context->successURL = request.urlText;
    context->progressHandler = UploadProgressRelay(std::move(progress));
    context->completionHandler = [finish, urlText = request.urlText](
                                     const QByteArray& body, const std::optional<int>& httpStatus,
                                     const std::optional<Error>& error) {
        std::optional<Error> outcome;
        if (error) {
            outcome = error;
        } else if (!httpStatus) {
            outcome = uploadError(-1, QStringLiteral("无效的响应"));
        } else if (*httpStatus < 200 || *httpStatus > 299) {
            const QString text = strictUtf8(body).value_or(QStringLiteral("上传失败"));
            outcome = uploadError(
                *httpStatus, QStringLiteral("上传失败 (HTTP %1): %2").arg(*httpStatus).arg(text));
        }
        MainQueue::async(
            [finish, outcome, url = outcome ? QString() : urlText] { finish(outcome, url); });
    };
    return context;
}

QNetworkAccessManager* FileUploader::session() {
    if (!m_session) {
        m_session = new QNetworkAccessManager(this);
    }
    return m_session;
}

void FileUploader::handleProgress(UploadTaskContext& context, qint64 sent, qint64 expected) {
    // Nothing of an empty body is ever "sent", yet all of it went once the store answered.
    const float fraction = expected < 1 ? (sent == expected ? 1.0f : 0.0f)
                                        : static_cast<float>(sent) / static_cast<float>(expected);
    const auto [speed, remaining] = context.metricsTracker.update(
        sent, expected, &FileUploader::formatSpeed, &FileUploader::formatTime);
    context.progressHandler.post(fraction, speed, remaining);
}

QString FileUploader::formatSpeed(double bytesPerSecond) {
    const double kilo = bytesPerSecond / 1024;
    const double mega = kilo / 1024;
    const double giga = mega / 1024;
    if (giga >= 1) {
        return QString::asprintf("%.2f GB", giga);
    }
    if (mega >= 1) {
        return QString::asprintf("%.2f MB", mega);
    }
    if (kilo >= 1) {
        return QString::asprintf("%.2f KB", kilo);
    }
    return QString::asprintf("%.0f B", bytesPerSecond);
}

QString FileUploader::formatTime(double seconds) {
    if (seconds < 60) {
        return QString::asprintf("%.0f秒", seconds);
    }
    if (seconds < 3600) {
        return QString::asprintf("%lld分%lld秒", wholeUnits(seconds / 60),
                                 wholeUnits(std::fmod(seconds, 60)));
    }
    return QString::asprintf("%lld小时%lld分", wholeUnits(seconds / 3600),
                             wholeUnits(std::fmod(seconds, 3600) / 60));
}

void FileUploader::updateAuthCredentialIfNeeded(std::function<void()> completion) {
    const std::optional<OBSConfig> current = credentialConfig();
    if (current && QDateTime::fromSecsSinceEpoch(current->expiredAt, QTimeZone::utc()) > now()) {
        console(
            QStringLiteral("FileUploader.updateAuthCredentialIfNeeded, 不需要刷新桶Credential"));
        MainQueue::async([completion = std::move(completion)] {
            if (completion) {
                completion();
            }
        });
        return;
    }
    console(current ? QStringLiteral("FileUploader.credentialConfig date is out")
                    : QStringLiteral("FileUploader.credentialConfig is nil"));
    QPointer<FileUploader> self(this);
    fetchUploadCredential(
        [self, completion = std::move(completion)](std::optional<OBSConfig> config) {
            MainQueue::async([self, config, completion] {
                if (config) {
                    if (self) {
                        self->setCredentialConfig(config);
                    }
                    const QString line =
                        QStringLiteral(
                            "Optional<FileUploader>.updateAuthCredentialIfNeeded, 过期时间: ") +
                        QDateTime::fromSecsSinceEpoch(config->expiredAt, QTimeZone::utc())
                            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"));
                    if (self) {
                        self->console(line);
                    } else {
                        ConsoleOutput::print(line);
                    }
                }
                if (completion) {
                    completion();
                }
            });
        });
}

void FileUploader::fetchUploadCredential(std::function<void(std::optional<OBSConfig>)> completion) {
    const std::optional<QString> domain = authDomain();
    if (!domain) {
        completion(std::nullopt);
        return;
    }
    const qint64 timestamp = wholeUnits(static_cast<double>(now().toMSecsSinceEpoch()));
    const QString sign = KXEncryptionUtil::md5Hex(QString::number(timestamp) + kSignSalt);
    QNetworkRequest request(QUrl(*domain + kCredentialPath));
    request.setRawHeader("X-Client-Type", "MAC");
    request.setRawHeader("X-Client-Version", m_configuration.clientVersion.toUtf8());
    request.setRawHeader("Content-Type", "application/json");
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("timestamp"), timestamp},
                                                      {QStringLiteral("sign"), sign}})
                                .toJson(QJsonDocument::Compact);
    QNetworkReply* reply = session()->post(request, body);
    QPointer<FileUploader> self(this);
    connect(reply, &QNetworkReply::finished, this, [self, reply, completion] {
        std::optional<QByteArray> replyBody;
        std::optional<Error> error;
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            replyBody = reply->readAll();
        } else if (reply->error() != QNetworkReply::NoError) {
            error = Error{QStringLiteral("NetworkError"), static_cast<int>(reply->error()),
                          reply->errorString()};
        }
        reply->deleteLater();
        MainQueue::async([self, replyBody, error, completion] {
            if (self) {
                self->parseCredentialResponse(replyBody, error, completion);
            }
        });
    });
}

void FileUploader::parseCredentialResponse(
    const std::optional<QByteArray>& body, const std::optional<Error>& error,
    const std::function<void(std::optional<OBSConfig>)>& completion) {
    if (body) {
        const Result<OBSCredentialEncryptResponse> decoded =
            OBSCredentialEncryptResponse::decode(*body);
        if (!decoded) {
            console(QStringLiteral("解析OBS配置失败: ") + decoded.error().message);
            if (const std::optional<QString> text = strictUtf8(*body)) {
                console(QStringLiteral("OBS配置原始响应: ") + *text);
            }
            completion(std::nullopt);
            return;
        }
        if (decoded.value().code == 0 && decoded.value().data) {
            completion(decoded.value().data);
            return;
        }
        console(QStringLiteral("获取OBS配置失败: code=%1, msg=%2")
                    .arg(decoded.value().code)
                    .arg(decoded.value().msg));
        completion(std::nullopt);
        return;
    }
    if (error) {
        console(QStringLiteral("获取OBS配置失败: ") + error->message);
    }
    completion(std::nullopt);
}
