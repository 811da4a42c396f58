#include "web/MessageBoxPanelPrompter.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

// Panels are made on the heap and watched: the window behind a panel may close while the panel
// runs, taking the panel with it, and then the answer is "cancelled".

namespace {

QPointer<QMessageBox> makeBox(QWidget* parent, const QString& title, const QString& message) {
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Information);
    box->setText(title);
    box->setInformativeText(message);
    return box;
}

}  // namespace

void MessageBoxPanelPrompter::alert(QWidget* parent, const QString& message) {
    QPointer<QMessageBox> box = makeBox(parent, QStringLiteral("提示"), message);
    box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->exec();
    delete box.data();
}

bool MessageBoxPanelPrompter::confirm(QWidget* parent, const QString& message) {
    QPointer<QMessageBox> box = makeBox(parent, QStringLiteral("确认"), message);
    QPushButton* ok = box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box->exec();
    const bool confirmed = box && box->clickedButton() == ok;
    delete box.data();
    return confirmed;
}

std::optional<QString> MessageBoxPanelPrompter::prompt(QWidget* parent, const QString& message,
                                                       const QString& defaultText) {
    QPointer<QDialog> dialog = new QDialog(parent);
    dialog->setWindowTitle(QStringLiteral("输入"));
    auto* layout = new QVBoxLayout(dialog);
    auto* title = new QLabel(QStringLiteral("输入"), dialog);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    auto* text = new QLabel(message, dialog);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* field = new QLineEdit(defaultText, dialog);
    field->setFixedSize(200, 24);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    field->setFocus();
    const int result = dialog->exec();
    if (!dialog) {
        return std::nullopt;
    }
    std::optional<QString> answer;
    if (result == QDialog::Accepted) {
        answer = field->text();
    }
    delete dialog.data();
    return answer;
}
