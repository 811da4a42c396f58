#pragma once

#include "app/DownloadProgress.h"

#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class ConnectionSpinner;
class LaunchLogoView;
class QLabel;
class QProgressBar;
class QVariantAnimation;
class WebContentManager;

// The launch window's content: logo, name and version over a warm gradient while the chosen web
// package is downloaded and installed, with the step and progress of the work; when the download
// fails it falls back to the built-in or an installed package, and at the end it calls its
// completion handler once. GUI thread only.
class LaunchViewController : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kViewSize{600, 400};
    static constexpr std::chrono::milliseconds kStartDelay{300};
    static constexpr std::chrono::milliseconds kCompletionDelay{500};
    static constexpr int kProgressScale = 1000;

    // The shared web content manager unless one is given.
    explicit LaunchViewController(WebContentManager* manager = nullptr, QWidget* parent = nullptr);
    ~LaunchViewController() override;

    std::function<void()> completionHandler;
    std::optional<QString> webVersion;
    std::optional<QString> urlString;

    int currentStep() const { return m_currentStep; }
    bool didFinishLoading() const { return m_didFinishLoading; }
    QString titleText() const;
    QString statusText() const;
    // The bar's value on its 0…1 scale.
    double progressValue() const;
    bool isSpinning() const;

    void startLoading();
    void updateStatus(const QString& text);
    void finishLoading(bool saveVersion);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setupUI();
    void layoutViews();
    void animateEntrance();
    void handleProgress(const DownloadProgress& progress);
    void handleStep(DownloadStep step);
    void handleFailure(const Error& error);
    void scheduleCompletion();
    WebContentManager& manager() const;

    WebContentManager* m_manager;
    LaunchLogoView* m_logoImageView = nullptr;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_subtitleLabel = nullptr;
    ConnectionSpinner* m_loadingIndicator = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_versionLabel = nullptr;
    QVariantAnimation* m_progressAnimation = nullptr;
    int m_currentStep = 0;
    bool m_didFinishLoading = false;
    bool m_completionScheduled = false;
    bool m_appeared = false;
};
