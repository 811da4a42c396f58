#pragma once

#include "devicewindow/DeviceWindowPageLink.h"
#include "foundation/json/Result.h"
#include "web/Native2WebMessage.h"

#include <QJsonValue>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

class QWebEngineView;

// Delivers native messages to the page by running a short script that calls
// `window.receiveNativeMessage` with the message's JSON text. It is the one road by which
// handlers, device windows and the application notify or answer the page.
//
// Messages go to the bound web view: the one bound last that is still alive, so when it closes
// they reach the newest earlier one; nothing goes to it while it shows a page that is not one of
// the client's own (`TrustedPageOrigins`). May be called from any thread; work moves to the GUI
// thread and completions run there.
class Native2WebMessageSender : public DeviceWindowPageLink {
public:
    // Success carries the script's result (always null for the bridge's script).
    using Completion = std::function<void(const Result<QVariant>& result)>;

    static inline const QString kErrorDomain = QStringLiteral("Native2Web");
    enum ErrorCode {
        noWebView = -1,
        messageNotConvertible = -2,
        responseNotConvertible = -3,
        untrustedPage = -4
    };

    static Native2WebMessageSender& shared();

    Native2WebMessageSender() = default;
    ~Native2WebMessageSender() override;
    Native2WebMessageSender(const Native2WebMessageSender&) = delete;
    Native2WebMessageSender& operator=(const Native2WebMessageSender&) = delete;

    // Makes the view the current receiver (again, when it was bound before).
    void bindWebView(QWebEngineView* view);
    // The current receiver, or null when every bound view is gone.
    QWebEngineView* webView() const;

    virtual void send(const Native2WebMessage& message, Completion completion = {});
    // A reply to the request `macrequestid`: its data travels as the JSON text of
    // {"data": data}. Without a request id nothing is sent and the completion never runs.
    virtual void sendResponse(const QString& type, const std::optional<QString>& macrequestid,
                              const QJsonValue& data, Completion completion = {});

    // Typed notifications, sent without a completion.
    void sendOpenNewCloudphone(int deviceId, bool previous) override;
    void sendBatchControlStatus(int status) override;
    // The id must be a decimal 64-bit integer with an optional sign; it is sent as [id].
    void sendTokenAuthFail(const QString& deviceId);
    void sendBatchResponsePreview(qint64 deviceId, int rotation);
    // The value read under `settingKey`, which decides how much of it the console line shows.
    void sendMacGetResponse(const QJsonValue& value, const QString& requestId,
                            QStringView settingKey);

    // Installs this sender as the device windows' page link (and removes it on destruction).
    void installAsDeviceWindowPageLink();

    // The script that hands the message to the page, or nothing when it has no JSON text.
    static std::optional<QString> pageScript(const Native2WebMessage& message);
    // The line of a message sent with `script`: the script itself, the line's last pass masking
    // it, unless the message's data is shown otherwise (a protected value, a secret setting,
    // typed text), whose script is then made for the line.
    static QString sentLine(const Native2WebMessage& message, const QString& script);
    // The line once the page has run the script: the data described, shown as `sentLine` shows
    // it.
    static QString deliveredLine(const Native2WebMessage& message);
    // For a single-quoted script string: \ ' line feed and carriage return escaped.
    static QString escapeForSingleQuotedString(const QString& text);
    // Domain "Native2Web" with the code's description.
    static Error makeError(ErrorCode code);

private:
    void sendOnGuiThread(const Native2WebMessage& message, const Completion& completion);
    void notify(const QString& type, const QJsonValue& data);

    std::vector<QPointer<QWebEngineView>> m_views;
};
