#pragma once

#include "session/DeviceRealTimeOptions.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class CloudPhoneCommunicator;
class DeviceWindowGuard;
class DeviceWindowPageLink;
class LanguageManager;
class QAction;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;
class WindowGeometryController;
struct DeviceIdentity;
struct DeviceWindowViews;

// The toolbar of a device window: the stream quality, pinning the window on top and, while this
// window's device leads input sync, pausing and resuming it. Every item the toolbar can hold is
// one row of a table (identifier, factory, whether a new toolbar shows it), and the table's order
// is the order items stand in. GUI thread only.
class WindowToolbarController : public QObject {
    Q_OBJECT

public:
    using PageLinkProvider = std::function<DeviceWindowPageLink*()>;

    inline static const QString toolbarIdentifier = QStringLiteral("VideoPlayerToolbar");
    inline static const QString flexibleSpaceItemIdentifier = QStringLiteral("FlexibleSpace");
    inline static const QString inputSyncItemIdentifier = QStringLiteral("InputSyncToggle");
    inline static const QString qualityItemIdentifier = QStringLiteral("QualitySelector");
    inline static const QString pinItemIdentifier = QStringLiteral("PinWindow");

    WindowToolbarController(const DeviceWindowViews& views, const DeviceIdentity& identity,
                            CloudPhoneCommunicator& communicator, const DeviceWindowGuard& guard,
                            const LanguageManager& language, PageLinkProvider pageLink,
                            WindowGeometryController& geometry, QObject* parent = nullptr);
    ~WindowToolbarController() override;

    // Titles the window after its device and puts up the toolbar.
    void setupToolbar();
    // Shows, hides and restyles the input-sync item as the session's sync now stands.
    void updateInputSyncToolbarItem();
    void updateQualityToolbarItem();

    QStringList toolbarDefaultItemIdentifiers() const;
    QStringList toolbarAllowedItemIdentifiers() const;
    // The identifiers of the items shown, in order.
    QStringList toolbarItemIdentifiers() const;
    QToolBar* toolbar() const;

    bool isPinned() const { return m_isPinned; }
    const QString& currentQuality() const { return m_currentQuality; }
    VideoQuality selectedVideoQuality() const { return m_selectedVideoQuality; }
    QToolButton* qualityBtn() const;
    QAction* qualityToolbarItem() const;
    QToolButton* pinButton() const;
    QToolButton* inputSyncToolbarButton() const;
    QAction* inputSyncToolbarItem() const;
    // The quality menu while it is open.
    QMenu* qualityPopupMenu() const;

private Q_SLOTS:
    void togglePin();
    void showQualityMenu();
    void selectQuality(QAction* item);
    void toggleInputSync();

private:
    struct ToolbarItem {
        const QString& identifier;
        QAction* (WindowToolbarController::*make)(QAction* before);
        bool isDefault;
    };
    static const std::array<ToolbarItem, 4>& toolbarItems();

    void rebuildToolbar();
    // Inserts the item before `before` (at the end when null); null for an unknown identifier.
    QAction* makeToolbarItem(const QString& identifier, QAction* before = nullptr);
    QAction* makeFlexibleSpaceItem(QAction* before);
    QAction* makeInputSyncItem(QAction* before);
    QAction* makeQualityItem(QAction* before);
    QAction* makePinItem(QAction* before);
    QAction* toolbarItem(const QString& identifier) const;
    void setInputSyncToolbarItemVisible(bool visible);
    QMenu* makeQualityMenuItem(QWidget* parent);
    void addQualityEntries(QMenu* menu);
    QString localized(const QString& key) const;

    const DeviceWindowViews& m_views;
    const DeviceIdentity& m_identity;
    CloudPhoneCommunicator& m_communicator;
    const DeviceWindowGuard& m_guard;
    const LanguageManager& m_language;
    PageLinkProvider m_pageLink;
    WindowGeometryController& m_geometry;

    bool m_isPinned = false;
    QString m_currentQuality = QStringLiteral("高清");
    VideoQuality m_selectedVideoQuality = VideoQuality::p720;
    QPointer<QToolBar> m_toolbar;
    QPointer<QToolButton> m_pinButton;
    QPointer<QToolButton> m_qualityBtn;
    QPointer<QAction> m_qualityToolbarItem;
    QPointer<QToolButton> m_inputSyncToolbarButton;
    QPointer<QAction> m_inputSyncToolbarItem;
    QPointer<QMenu> m_qualityPopupMenu;
};
