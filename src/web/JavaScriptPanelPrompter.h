#pragma once

#include <QString>

#include <optional>

class QWidget;

// Shows the page's alert, confirm and prompt panels and waits for the user's answer.
class JavaScriptPanelPrompter {
public:
    virtual ~JavaScriptPanelPrompter() = default;

    virtual void alert(QWidget* parent, const QString& message) = 0;
    // True exactly when the user chose "确定".
    virtual bool confirm(QWidget* parent, const QString& message) = 0;
    // The field's text when the user chose "确定"; nothing when the panel was cancelled.
    virtual std::optional<QString> prompt(QWidget* parent, const QString& message,
                                          const QString& defaultText) = 0;
};
