#pragma once

#include <QString>

#include <optional>

class QWidget;

// The questions the key-mapping panel asks the user. Behind an interface so that tests answer
// them without a modal loop.
class KeyMappingAlerts {
public:
    virtual ~KeyMappingAlerts() = default;

    // A text question with "确定" and "取消"; none when the user cancels.
    virtual std::optional<QString> askText(QWidget* parent, const QString& message,
                                           const QString& informativeText,
                                           const QString& initialText) = 0;
    // A warning with the confirming button first and "取消" second; true for the first.
    virtual bool confirm(QWidget* parent, const QString& message, const QString& informativeText,
                         const QString& confirmTitle) = 0;
};

// Modal dialogs on the given window.
class DialogKeyMappingAlerts : public KeyMappingAlerts {
public:
    std::optional<QString> askText(QWidget* parent, const QString& message,
                                   const QString& informativeText,
                                   const QString& initialText) override;
    bool confirm(QWidget* parent, const QString& message, const QString& informativeText,
                 const QString& confirmTitle) override;
};
