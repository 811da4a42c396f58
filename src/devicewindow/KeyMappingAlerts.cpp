#include "devicewindow/KeyMappingAlerts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

std::optional<QString> DialogKeyMappingAlerts::askText(QWidget* parent, const QString& message,
                                                       const QString& informativeText,
                                                       const QString& initialText) {
    QDialog dialog(parent);
    dialog.setWindowTitle(message);
    auto* layout = new QVBoxLayout(&dialog);
    auto* title = new QLabel(message, &dialog);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    layout->addWidget(new QLabel(informativeText, &dialog));
    auto* field = new QLineEdit(initialText, &dialog);
    field->setFixedSize(220, 24);
    field->selectAll();
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return field->text();
}

bool DialogKeyMappingAlerts::confirm(QWidget* parent, const QString& message,
                                     const QString& informativeText, const QString& confirmTitle) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setText(message);
    box.setInformativeText(informativeText);
    QPushButton* confirmButton = box.addButton(confirmTitle, QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(confirmButton);
    box.exec();
    return box.clickedButton() == confirmButton;
}
