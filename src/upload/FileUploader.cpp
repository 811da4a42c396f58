#include "upload/FileUploader.h"

#include "api/CDYUserTool.h"
#include "api/StrictUtf8.h"
#include "foundation/BundleInfo.h"
#include "foundation/ConsoleOutput.h"
#include "foundation/KXEncryptionUtil.h"
#include "foundation/KXLog.h"
#include "foundation/MainQueue.h"
#include "foundation/SerialQueue.h"
#include "upload/FileDigests.h"
#include "upload/OBSRequestSigner.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
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
      m_serialQueue(std::make_unique<SerialQueue>(QStringLiteral("FileUploader.op.serial.queue"))) {
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

FileUploader::~FileUploader() = default;

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
    if (m_configuration.console) {
        m_configuration.console(line);
    } else {
        ConsoleOutput::print(line);
    }
}

QDateTime FileUploader::now() const {
    return m_configuration.now();
}

void FileUploader::uploadFile(const QString& fileName, const QString& filePath,
                              ProgressHandler progress, UploadCompletion completion) {
    upload(Kind::chosenFile, fileName, filePath, std::move(progress),
           [filePath, completion = std::move(completion)](const std::optional<Error>& error,
                                                          const QString& url) {
               if (completion) {
                   completion(filePath, error, url, !error);
               }
           });
}

void FileUploader::uploadLogFile(const QString& fileName, const QString& filePath,
                                 ProgressHandler progress, LogUploadCompletion completion) {
    upload(Kind::logFile, fileName, filePath, std::move(progress),
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

void FileUploader::upload(Kind kind, const QString& fileName, const QString& filePath,
                          ProgressHandler progress, const Finish& finish) {
    const std::optional<OBSConfig> credential = credentialConfig();
    if (!credential) {
        console(QStringLiteral("FileUploader.uploadFile fail, credential config is null"));
        finish(uploadError(401, QStringLiteral("凭证配置为空，请先获取上传凭证")), QString());
        return;
    }
    if (!QFileInfo::exists(filePath)) {
        finish(uploadError(404, QStringLiteral("文件读取失败")), QString());
        return;
    }

    const QString extension = QFileInfo(filePath).suffix().toLower();
    QString key;
    QString contentType;
    if (kind == Kind::chosenFile) {
        const QString rawKey =
            (extension == u"apk" ? QStringLiteral("apk") : QStringLiteral("file")) + u'/' +
            fileName;
        if (!QStringView(rawKey).isValidUtf16()) {
            finish(uploadError(400, QStringLiteral("文件名编码失败")), QString());
            return;
        }
        key = QString::fromLatin1(QUrl::toPercentEncoding(rawKey, "!$&'()*+,;=:@/"));
        contentType = contentTypeForExtension(extension);
    } else {
        key = QStringLiteral("ios-client-log/") +
              m_configuration.userID().value_or(QStringLiteral("userID")) +
              QStringLiteral("/Mac/") + fileName;
        contentType = QStringLiteral("text/plain");
    }

    const QString urlText =
        QStringLiteral("https://") + credential->bucket + u'.' + credential->endPoint + u'/' + key;
    const QUrl url(urlText, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        finish(uploadError(400, QStringLiteral("无效的上传 URL")), QString());
        return;
    }

    const Result<QByteArray> md5 = fileMD5(filePath);
    if (!md5) {
        finish(md5.error(), QString());
        return;
    }
    const Result<QByteArray> sha256 = fileSHA256(filePath);
    if (!sha256) {
        finish(sha256.error(), QString());
        return;
    }
    const QString contentMD5 = QString::fromLatin1(md5.value().toBase64());
    const QString payloadHash = digestHex(sha256.value());
    const QString date = RFC1123DateFormatter::string(now());
    const QString amzDate = LocalISO8601DateFormatter::string(now());

    HeaderList headers;
    if (!credential->token.isEmpty()) {
        headers = OBSRequestSigner::signRequestV4(QStringLiteral("PUT"), key, contentType,
                                                  contentMD5, payloadHash, *credential, amzDate);
    } else {
        headers = OBSRequestSigner::signV2({credential->ak, credential->sk, credential->bucket, key,
                                            contentType, contentMD5, date});
        if (!contentType.isEmpty()) {
            headers.append({QStringLiteral("Content-Type"), contentType});
        }
        if (!contentMD5.isEmpty()) {
            headers.append({QStringLiteral("Content-MD5"), contentMD5});
        }
    }
    headers.append({QStringLiteral("x-obs-acl"), QStringLiteral("public-read")});

    QUrl target = url;
    if (!m_configuration.storeAddress.isEmpty()) {
        target.setScheme(m_configuration.storeAddress.scheme());
        target.setHost(m_configuration.storeAddress.host());
        target.setPort(m_configuration.storeAddress.port());
        const bool hasHost = std::any_of(headers.begin(), headers.end(), [](const auto& header) {
            return header.first.compare(u"host", Qt::CaseInsensitive) == 0;
        });
        if (!hasHost) {
            headers.append({QStringLiteral("Host"), url.host()});
        }
    }
    LogDebug(QStringLiteral("PUT %1 %2").arg(urlText, OBSRequestSigner::maskedHeaders(headers)),
             LogTag::upload);

    auto context = std::make_shared<UploadTaskContext>();
    context->filePath = filePath;
    context->successURL = urlText;
    context->progressHandler = std::move(progress);
    context->completionHandler = [finish, urlText](const std::optional<QByteArray>& body,
                                                   const std::optional<int>& httpStatus,
                                                   const std::optional<Error>& error) {
        std::optional<Error> outcome;
        if (error) {
            outcome = error;
        } else if (!httpStatus) {
            outcome = uploadError(-1, QStringLiteral("无效的响应"));
        } else if (*httpStatus < 200 || *httpStatus > 299) {
            const QString text =
                strictUtf8(body.value_or(QByteArray())).value_or(QStringLiteral("上传失败"));
            outcome = uploadError(
                *httpStatus, QStringLiteral("上传失败 (HTTP %1): %2").arg(*httpStatus).arg(text));
        }
        MainQueue::async(
            [finish, outcome, url = outcome ? QString() : urlText] { finish(outcome, url); });
    };

    const qint64 taskID = m_nextTaskID++;
    registerTaskContext(taskID, std::move(context));
    if (QThread::currentThread() == thread()) {
        startTransfer(taskID, filePath, target, headers);
    } else {
        QMetaObject::invokeMethod(
            this,
            [this, taskID, filePath, target, headers] {
                startTransfer(taskID, filePath, target, headers);
            },
            Qt::QueuedConnection);
    }
}

QNetworkAccessManager* FileUploader::session() {
    if (!m_session) {
        m_session = new QNetworkAccessManager(this);
    }
    return m_session;
}

void FileUploader::startTransfer(qint64 taskID, const QString& filePath, const QUrl& target,
                                 const QList<std::pair<QString, QString>>& headers) {
    QNetworkRequest request(target);
    request.setTransferTimeout(60000);
    for (const auto& [name, value] : headers) {
        request.setRawHeader(name.toUtf8(), value.toUtf8());
    }
    auto* file = new QFile(filePath);
    if (!file->open(QIODevice::ReadOnly)) {
        const Error error{QStringLiteral("FileDigest"), static_cast<int>(file->error()),
                          file->errorString()};
        delete file;
        completeTask(taskID, std::nullopt, error);
        return;
    }
    QNetworkReply* reply = session()->put(request, file);
    file->setParent(reply);
    connect(
        reply, &QNetworkReply::uploadProgress, this, [this, taskID](qint64 sent, qint64 expected) {
            // The reply also reports (0, 0) when it ends; only sent body data is progress.
            if (sent <= 0) {
                return;
            }
            handleProgress(taskID, [sent, expected](UploadTaskContext& context) {
                const float fraction =
                    expected < 1 ? 0.0f : static_cast<float>(sent) / static_cast<float>(expected);
                const auto [speed, remaining] = context.metricsTracker.update(
                    sent, expected, &FileUploader::formatSpeed, &FileUploader::formatTime);
                if (context.progressHandler) {
                    MainQueue::async(
                        [handler = context.progressHandler, fraction, speed = speed,
                         remaining = remaining] { handler(fraction, speed, remaining); });
                }
            });
        });
    connect(reply, &QNetworkReply::readyRead, this,
            [this, reply, taskID] { appendResponseData(reply->readAll(), taskID); });
    connect(reply, &QNetworkReply::finished, this, [this, reply, taskID] {
        appendResponseData(reply->readAll(), taskID);
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        std::optional<int> httpStatus;
        std::optional<Error> error;
        if (status.isValid()) {
            httpStatus = status.toInt();
        } else if (reply->error() != QNetworkReply::NoError) {
            error = Error{QStringLiteral("NetworkError"), static_cast<int>(reply->error()),
                          reply->errorString()};
        }
        completeTask(taskID, httpStatus, error);
        reply->deleteLater();
    });
}

void FileUploader::registerTaskContext(qint64 taskID, std::shared_ptr<UploadTaskContext> context) {
    m_serialQueue->async([this, taskID, context = std::move(context)] {
        m_taskContexts.insert(taskID, context);
        m_taskResponseData.insert(taskID, QByteArray());
    });
}

void FileUploader::handleProgress(qint64 taskID, std::function<void(UploadTaskContext&)> work) {
    m_serialQueue->async([this, taskID, work = std::move(work)] {
        if (const auto context = m_taskContexts.value(taskID)) {
            work(*context);
        }
    });
}

void FileUploader::appendResponseData(const QByteArray& bytes, qint64 taskID) {
    if (bytes.isEmpty()) {
        return;
    }
    m_serialQueue->async([this, bytes, taskID] { m_taskResponseData[taskID].append(bytes); });
}

void FileUploader::completeTask(qint64 taskID, std::optional<int> httpStatus,
                                std::optional<Error> error) {
    m_serialQueue->async([this, taskID, httpStatus, error] {
        const std::shared_ptr<UploadTaskContext> context = m_taskContexts.take(taskID);
        if (!context) {
            return;
        }
        std::optional<QByteArray> body;
        if (m_taskResponseData.contains(taskID)) {
            body = m_taskResponseData.take(taskID);
        }
        context->completionHandler(body, httpStatus, error);
    });
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

QString FileUploader::maskedCredentialText(const QString& text) {
    static const QRegularExpression secret(
        QStringLiteral("(\"(?:ak|sk|token)\"\\s*:\\s*)\"(?:[^\"\\\\]|\\\\.)*\""));
    QString masked = text;
    masked.replace(secret, QStringLiteral("\\1\"***\""));
    return masked;
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
                console(QStringLiteral("OBS配置原始响应: ") + maskedCredentialText(*text));
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
