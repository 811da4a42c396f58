#pragma once

#include <QColor>
#include <QPointer>
#include <QScrollArea>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The content of a device window's key-mapping side panel: plan popup with rename and delete,
// new-plan button, the tiles that add keys, status line, overlay check box, restore and save.
// It only lays the controls out; the window wires their signals and fills them in. Made when
// the panel opens and deleted when it closes.
class KeyMappingPanelView : public QScrollArea {
    Q_OBJECT

public:
    static constexpr int kPanelWidth = 280;
    static constexpr int kRowWidth = 248;
    inline static const QString kStatusLabelName = QStringLiteral("KeyMappingStatusLabel");

    explicit KeyMappingPanelView(bool showsOverlay, QWidget* parent = nullptr);

    QVBoxLayout* stack() const { return m_stack; }
    QPushButton* closeButton() const { return m_closeButton; }
    QComboBox* presetPopup() const { return m_presetPopup; }
    QPushButton* renamePlanButton() const { return m_renamePlanButton; }
    QPushButton* deletePlanButton() const { return m_deletePlanButton; }
    QPushButton* newPlanButton() const { return m_newPlanButton; }
    QPushButton* addTapTile() const { return m_addTapTile; }
    QPushButton* addMoveTile() const { return m_addMoveTile; }
    QLabel* statusLabel() const;
    QLabel* emptyLabel() const { return m_emptyLabel; }
    QCheckBox* displayCheckbox() const { return m_displayCheckbox; }
    QPushButton* restoreButton() const { return m_restoreButton; }
    QPushButton* saveButton() const { return m_saveButton; }

    // Image-only, 28 × 28, disabled until a user plan is selected.
    static QPushButton* makePanelIconButton(const QString& imageName, const QString& toolTip,
                                            const QColor& tint);
    // 50 × 56: the picture over its caption; a disabled tile is dimmed.
    static QPushButton* makeKeyMappingAddTile(const QString& caption, const QString& imageName,
                                              bool enabled);
    // The application image of that name, else a drawn stand-in, else an empty picture.
    static QPixmap panelImage(const QString& name, const QColor& tint, int size);

private:
    QVBoxLayout* m_stack = nullptr;
    QPushButton* m_closeButton = nullptr;
    QComboBox* m_presetPopup = nullptr;
    QPushButton* m_renamePlanButton = nullptr;
    QPushButton* m_deletePlanButton = nullptr;
    QPushButton* m_newPlanButton = nullptr;
    QPushButton* m_addTapTile = nullptr;
    QPushButton* m_addMoveTile = nullptr;
    QLabel* m_emptyLabel = nullptr;
    QCheckBox* m_displayCheckbox = nullptr;
    QPushButton* m_restoreButton = nullptr;
    QPushButton* m_saveButton = nullptr;
};
