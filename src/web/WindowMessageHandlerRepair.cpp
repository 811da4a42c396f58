#include "web/WindowMessageHandler.h"

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/storage/DocumentsRoot.h"
#include "web/Native2WebMessageSender.h"
#include "web/Native2WebMessageType.h"
#include "web/WebContentService.h"

#include <QFileDialog>
#include <QJsonObject>

namespace {

const QString kRepairTitle = QStringLiteral("修复 Web 包");

void sendBox(Native2WebMessageSender& sender, const QString& title, const QString& message) {
    sender.send(Native2WebMessage{
        native2WebMessageTypeText(Native2WebMessageType::responseShowMessageBox), std::nullopt,
        QJsonObject{{QStringLiteral("title"), title}, {QStringLiteral("message"), message}},
        std::nullopt});
}

}  // namespace

std::optional<QString> WindowMessageHandler::chooseFolderWithDialog() {
    QFileDialog dialog(nullptr, QStringLiteral("请选择文稿目录，以便保存 Web 包"),
                       documentsRootPath());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("授权并修复"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

void WindowMessageHandler::sendMessageBoxResponse(Native2WebMessageSender& sender,
                                                  NotificationCenter& notifications, bool success,
                                                  const QString& message) {
    sendBox(sender, success ? QStringLiteral("修复成功") : QStringLiteral("修复失败"), message);
    if (success) {
        notifications.post(NotificationNames::webContentDidRepair);
    }
}

void WindowMessageHandler::sendMessageBox(const QString& title, const QString& message) {
    sendBox(*m_environment.sender, title, message);
}

void WindowMessageHandler::finishRepair(bool success, const QString& message) {
    sendMessageBoxResponse(*m_environment.sender, *m_environment.notifications, success, message);
}

void WindowMessageHandler::repairWebContent() {
    const std::optional<QString> folder = m_environment.chooseDocumentsFolder();
    if (!folder || folder->isEmpty()) {
        return sendMessageBox(kRepairTitle, QStringLiteral("未获得文稿目录访问权限"));
    }
    WebContentService* webContent = WebContentService::installed();
    if (!webContent || !webContent->setAuthorizedDocumentsFolder(*folder)) {
        return sendMessageBox(kRepairTitle, QStringLiteral("无法访问所选文稿目录，请重新授权"));
    }
    const std::optional<QUrl> address = webContent->repairDownloadAddress();
    if (!address) {
        if (webContent->useBuiltInWebContent()) {
            return finishRepair(true, QStringLiteral("已使用内置 Web 包"));
        }
        return finishRepair(false, QStringLiteral("未找到可用 Web 包"));
    }
    // The page hears the outcome even when this handler is gone by then.
    Native2WebMessageSender* sender = m_environment.sender;
    NotificationCenter* notifications = m_environment.notifications;
    webContent->startWebPackageDownload(
        address->toString(QUrl::FullyEncoded), webContent->repairWebVersion(),
        [sender, notifications, webContent](const std::optional<QString>& failure) {
            if (!failure) {
                return sendMessageBoxResponse(*sender, *notifications, true,
                                              QStringLiteral("网络 Web 包加载成功"));
            }
            // The service may have been uninstalled while the download ran.
            const bool builtIn = WebContentService::installed() == webContent &&
                                 webContent->useBuiltInWebContent().has_value();
            sendMessageBoxResponse(*sender, *notifications, builtIn,
                                   builtIn ? QStringLiteral("已使用内置 Web 包") : *failure);
        });
}
