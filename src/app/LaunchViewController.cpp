#include "app/LaunchViewController.h"

#include "app/LaunchLogoView.h"
#include "app/WebContentManager.h"
#include "devicewindow/ConnectionSpinner.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/DeviceInfoManager.h"
#include "foundation/settings/SettingKey.h"
#include "foundation/settings/SettingsManager.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QVariantAnimation>

#include <algorithm>

namespace {

constexpr int kCornerRadius = 20;
constexpr int kFadeMs = 200;

QLabel* makeLabel(QWidget* parent, const QString& text, int pointSize, bool bold, int alpha) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(
        QStringLiteral("color: rgba(255, 255, 255, %1); background: transparent;").arg(alpha));
    return label;
}

}  // namespace

LaunchViewController::LaunchViewController(WebContentManager* manager, QWidget* parent)
    : QWidget(parent), m_manager(manager) {
    resize(kViewSize);
    setAttribute(Qt::WA_TranslucentBackground);
    setupUI();
    LogInfo(QStringLiteral("✅ LaunchViewController 已加载"), LogTag::app);
}

LaunchViewController::~LaunchViewController() {
    LogInfo(QStringLiteral("🗑️ LaunchViewController 已释放"), LogTag::app);
}

WebContentManager& LaunchViewController::manager() const {
    return m_manager ? *m_manager : WebContentManager::shared();
}

void LaunchViewController::setupUI() {
    m_logoImageView = new LaunchLogoView(this);
    m_titleLabel = makeLabel(this, QStringLiteral("Corvane"), 36, true, 255);
    m_subtitleLabel = makeLabel(this, QStringLiteral("远程设备控制"), 14, false, 204);
    m_loadingIndicator = new ConnectionSpinner(this);
    m_progressBar = new QProgressBar(this);
    m_progressBar->setRange(0, kProgressScale);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setFixedHeight(6);
    m_progressBar->setStyleSheet(QStringLiteral(
        "QProgressBar { background: rgba(255, 255, 255, 90); border: none; border-radius: 3px; }"
        "QProgressBar::chunk { background: white; border-radius: 3px; }"));
    m_statusLabel = makeLabel(this, QStringLiteral("正在启动..."), 12, false, 230);
    m_statusLabel->setGraphicsEffect(new QGraphicsOpacityEffect(m_statusLabel));
    m_versionLabel = makeLabel(
        this, QStringLiteral("版本 ") + DeviceInfoManager::shared().appVersion(), 10, false, 128);

    m_progressAnimation = new QVariantAnimation(this);
    m_progressAnimation->setDuration(300);
    connect(m_progressAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_progressBar->setValue(value.toInt()); });
    layoutViews();
}

// Every view is centred horizontally; the logo sits 60 above the middle and the others follow
// it downwards, the version line at the bottom.
void LaunchViewController::layoutViews() {
    const int centreX = width() / 2;
    auto place = [centreX](QWidget* view, int top, QSize size) {
        view->setGeometry(centreX - size.width() / 2, top, size.width(), size.height());
        return top + size.height();
    };
    // The logo's centre sits 60 above the middle unless the stack would then run into the
    // version line; then the whole stack moves up.
    const int stackHeight = 120 + 20 + m_titleLabel->sizeHint().height() + 8 +
                            m_subtitleLabel->sizeHint().height() + 40 + 32 + 20 +
                            m_progressBar->height() + 12 + m_statusLabel->sizeHint().height();
    const int versionTop = height() - 20 - m_versionLabel->sizeHint().height();
    const int logoTop = std::max(0, std::min(height() / 2 - 60 - 60, versionTop - 8 - stackHeight));
    int bottom = place(m_logoImageView, logoTop, QSize(120, 120));
    bottom = place(m_titleLabel, bottom + 20, m_titleLabel->sizeHint());
    bottom = place(m_subtitleLabel, bottom + 8, m_subtitleLabel->sizeHint());
    bottom = place(m_loadingIndicator, bottom + 40, QSize(32, 32));
    bottom = place(m_progressBar, bottom + 20, QSize(300, m_progressBar->height()));
    place(m_statusLabel, bottom + 12, QSize(400, m_statusLabel->sizeHint().height()));
    const QSize versionSize = m_versionLabel->sizeHint();
    place(m_versionLabel, height() - 20 - versionSize.height(), versionSize);
}

void LaunchViewController::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutViews();
}

void LaunchViewController::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(QPointF(0, 0), QPointF(width(), height()));
    gradient.setColorAt(0, QColor(255, 250, 242));
    gradient.setColorAt(1, QColor(255, 184, 61));
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, gradient);
}

void LaunchViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_appeared) {
        return;
    }
    m_appeared = true;
    LogInfo(QStringLiteral("✅ LaunchViewController 已显示"), LogTag::app);
    MainQueue::asyncAfter(kStartDelay, this, [this] {
        LogInfo(QStringLiteral("🎬 开始加载动画"), LogTag::app);
        animateEntrance();
        m_loadingIndicator->startAnimation();
        startLoading();
    });
}

void LaunchViewController::animateEntrance() {
    m_logoImageView->setScale(0.5);
    m_logoImageView->setOpacity(0.0);
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(800);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const double t = value.toDouble();
        m_logoImageView->setOpacity(t);
        m_logoImageView->setScale(0.5 + 0.5 * t);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void LaunchViewController::startLoading() {
    // The download outlives this screen when the main window takes over first.
    const QPointer<LaunchViewController> self(this);
    DownloadCompletion callbacks;
    callbacks.onProgress = [self](const DownloadProgress& progress) {
        if (self) {
            self->handleProgress(progress);
        }
    };
    callbacks.onStepChanged = [self](DownloadStep step) {
        if (self) {
            self->handleStep(step);
        }
    };
    callbacks.onCompleted = [self](const QUrl& entry) {
        LogInfo(QStringLiteral("✅ 完成！文件位置: ") + entry.toString(), LogTag::app);
        if (self) {
            self->finishLoading(true);
        }
    };
    callbacks.onFailed = [self](const Error& error) {
        LogError(QStringLiteral("❌ 失败: ") + error.message, LogTag::app);
        if (self) {
            MainQueue::async(self, [self, error] { self->handleFailure(error); });
        }
    };
    manager().startWebPackageDownload(urlString.value_or(QString()),
                                      webVersion.value_or(QStringLiteral("1.0")),
                                      std::move(callbacks));
}

void LaunchViewController::handleProgress(const DownloadProgress& progress) {
    if (m_completionScheduled) {
        return;  // the screen has ended; what the manager reports now is not this screen's
    }
    LogInfo(QStringLiteral("总进度: ") + QString::number(progress.overallProgress * 100) +
                QLatin1Char('%'),
            LogTag::app);
    LogInfo(QStringLiteral("当前步骤: ") + downloadStepText(progress.currentStep), LogTag::app);
    LogInfo(QStringLiteral("状态: ") + progress.statusMessage, LogTag::app);
    // The bar follows the reported overall progress.
    const double fraction = std::clamp(progress.overallProgress, 0.0, 1.0);
    m_progressAnimation->stop();
    m_progressAnimation->setStartValue(m_progressBar->value());
    m_progressAnimation->setEndValue(static_cast<int>(fraction * kProgressScale));
    m_progressAnimation->start();
}

void LaunchViewController::handleStep(DownloadStep step) {
    if (m_completionScheduled) {
        return;
    }
    LogInfo(QStringLiteral("步骤变更: ") + downloadStepText(step) + QStringLiteral(" [") +
                QString::number(downloadStepNumber(step)) + QStringLiteral("/5]"),
            LogTag::app);
    updateStatus(downloadStepText(step));
}

void LaunchViewController::handleFailure(const Error& error) {
    WebContentManager& content = manager();
    if (content.useBuiltInWebContent()) {
        LogWarning(QStringLiteral("⚠️ 下载失败，已回退到内置 Web 包 ") +
                       WebContentManager::builtInWebVersion,
                   LogTag::app);
        finishLoading(false);
        return;
    }
    content.prepareWebContent();
    if (content.isReady()) {
        LogWarning(QStringLiteral("⚠️ 下载失败，已回退到本地 Web 内容"),
                   LogTag::app);
        finishLoading(false);
        return;
    }
    scheduleCompletion();
    updateStatus(QStringLiteral("Web 资源下载失败：") + error.message);
    m_loadingIndicator->stopAnimation();
    m_progressAnimation->stop();
    m_progressBar->setValue(0);
}

void LaunchViewController::updateStatus(const QString& text) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_statusLabel->graphicsEffect());
    auto* fadeOut = new QPropertyAnimation(effect, "opacity");
    fadeOut->setDuration(kFadeMs);
    fadeOut->setEndValue(0.0);
    auto* fadeIn = new QPropertyAnimation(effect, "opacity");
    fadeIn->setDuration(kFadeMs);
    fadeIn->setEndValue(1.0);
    connect(fadeOut, &QAbstractAnimation::finished, m_statusLabel,
            [label = m_statusLabel, text] { label->setText(text); });
    auto* group = new QSequentialAnimationGroup(this);
    group->addAnimation(fadeOut);
    group->addAnimation(fadeIn);
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void LaunchViewController::finishLoading(bool saveVersion) {
    if (m_didFinishLoading) {
        return;
    }
    m_didFinishLoading = true;
    LogInfo(QStringLiteral("✅ 加载完成"), LogTag::app);
    scheduleCompletion();
    updateStatus(QStringLiteral("启动完成 ✓"));
    m_loadingIndicator->stopAnimation();
    if (saveVersion) {
        SettingsManager::shared().set(webVersion.value_or(QStringLiteral("0.0.1")),
                                      SettingKey::webVersion);
    }
}

// The completion runs once, whichever road ends the screen first.
void LaunchViewController::scheduleCompletion() {
    if (m_completionScheduled) {
        return;
    }
    m_completionScheduled = true;
    MainQueue::asyncAfter(kCompletionDelay, this, [this] {
        if (completionHandler) {
            completionHandler();
        }
    });
}

QString LaunchViewController::titleText() const {
    return m_titleLabel->text();
}

QString LaunchViewController::statusText() const {
    return m_statusLabel->text();
}

double LaunchViewController::progressValue() const {
    return static_cast<double>(m_progressBar->value()) / kProgressScale;
}

bool LaunchViewController::isSpinning() const {
    return m_loadingIndicator->isAnimating();
}
