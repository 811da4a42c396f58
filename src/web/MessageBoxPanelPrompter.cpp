#include "web/MessageBoxPanelPrompter.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace {

QMessageBox* makeBox(QWidget* parent, const QString& title, const QString& message) {
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Information);
    box->setText(title);
    box->setInformativeText(message);
    return box;
}

}  // namespace

void MessageBoxPanelPrompter::alert(QWidget* parent, const QString& message) {
    std::unique_ptr<QMessageBox> box(makeBox(parent, QStringLiteral("提示"), message));
    box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->exec();
}

bool MessageBoxPanelPrompter::confirm(QWidget* parent, const QString& message) {
    std::unique_ptr<QMessageBox> box(makeBox(parent, QStringLiteral("确认"), message));
    QPushButton* ok = box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box->exec();
    return box->clickedButton() == ok;
}

std::optional<QString> MessageBoxPanelPrompter::prompt(QWidget* parent, const QString& message,
                                                       const QString& defaultText) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("输入"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* title = new QLabel(QStringLiteral("输入"), &dialog);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    auto* text = new QLabel(message, &dialog);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* field = new QLineEdit(defaultText, &dialog);
    field->setFixedSize(200, 24);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return field->text();
}
