#pragma once

#include "web/JavaScriptPanelPrompter.h"

// The page's panels as modal native message boxes: "提示", "确认" and "输入".
class MessageBoxPanelPrompter : public JavaScriptPanelPrompter {
public:
    void alert(QWidget* parent, const QString& message) override;
    bool confirm(QWidget* parent, const QString& message) override;
    std::optional<QString> prompt(QWidget* parent, const QString& message,
                                  const QString& defaultText) override;
};
