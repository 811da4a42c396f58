#include "update/UpdateManager.h"
#include "update/UpdateProgressWindowController.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QWidget>

namespace {

UpdateInfo offerOf(const QString& version, bool mandatory, std::optional<QString> notes = {}) {
    return UpdateInfo{version,      std::nullopt, QUrl(QStringLiteral("https://127.0.0.1:1/u.zip")),
                      std::nullopt, mandatory,    std::move(notes)};
}

}  // namespace

class TestUpdateProgressWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<UpdateManager> m_manager;
    QList<UpdateState> m_states;

    UpdateProgressWindowController& controller() { return m_manager->progressWindow(); }
    QWidget* window() { return controller().window(); }
    template <typename T>
    T* child(const char* name) {
        return window()->findChild<T*>(QLatin1String(name));
    }
    QString status() { return child<QLabel>("statusLabel")->text(); }
    QString detail() { return child<QLabel>("detailLabel")->text(); }
    QPushButton* cancelButton() { return child<QPushButton>("cancelButton"); }
    QPushButton* updateButton() { return child<QPushButton>("updateButton"); }
    bool hasCloseButton() { return window()->windowFlags().testFlag(Qt::WindowCloseButtonHint); }

    void save(const QString& name) {
        const QString folder = qEnvironmentVariable("KX_TEST_ARTIFACTS", QDir::tempPath());
        QDir().mkpath(folder);
        QVERIFY(window()->grab().save(QDir(folder).filePath(name + QStringLiteral(".png"))));
    }

private Q_SLOTS:
    void init() {
        // Nothing is downloaded here, so nothing reaches the (private) updates folder.
        m_manager = std::make_unique<UpdateManager>(UpdateManager::Environment{});
        m_states.clear();
        m_manager->setStateHandler([this](const UpdateState& state) { m_states.append(state); });
    }
    void cleanup() { m_manager.reset(); }

    void offerWithoutNotes() {
        controller().render(UpdateState::available(offerOf("2.0.0", false)));
        QVERIFY(window()->isVisible());
        QCOMPARE(window()->windowTitle(), QStringLiteral("应用更新"));
        QCOMPARE(status(), QStringLiteral("发现新版本 2.0.0"));
        QCOMPARE(detail(), QStringLiteral("准备下载更新"));
        QVERIFY(!child<QProgressBar>("progress")->isVisible());
        QVERIFY(cancelButton()->isVisible());
        QCOMPARE(cancelButton()->text(), QStringLiteral("稍后更新"));
        QVERIFY(hasCloseButton());
        save(QStringLiteral("update-offer"));
    }

    void longNotesAreCutAtTheTail() {
        const QString notes = QStringLiteral("修复了若干问题。\n") + QString(40, QChar(u'长')) +
                              QStringLiteral("\n最后一行");
        controller().render(UpdateState::available(offerOf("2.0.0", false, notes)));
        QVERIFY(detail().startsWith(QStringLiteral("修复了若干问题。")));
        QVERIFY(detail().endsWith(QChar(0x2026)));
        QVERIFY(!detail().contains(QLatin1Char('\n')));
        QCOMPARE(child<QLabel>("detailLabel")->toolTip(), notes);
        save(QStringLiteral("update-offer-notes"));
    }

    void mandatoryOfferCanOnlyBeAccepted() {
        controller().render(UpdateState::available(offerOf("3.1.0", true)));
        QVERIFY(updateButton()->isVisible());
        QVERIFY(!cancelButton()->isVisible());
        QVERIFY(!hasCloseButton());
        QVERIFY(!window()->close());
        QVERIFY(window()->isVisible());
        save(QStringLiteral("update-offer-mandatory"));

        // The next optional offer brings the close button back.
        controller().render(UpdateState::available(offerOf("3.2.0", false)));
        QVERIFY(hasCloseButton());
        QVERIFY(window()->close());
        QVERIFY(!window()->isVisible());
    }

    void stepsOfARun_data() {
        QTest::addColumn<UpdateState>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("cancelEnabled");
        QTest::newRow("downloading")
            << UpdateState::downloading(0.457) << QStringLiteral("正在下载更新")
            << QStringLiteral("已下载 45%") << true;
        QTest::newRow("failed") << UpdateState::failed(UpdateError::checksumMismatch())
                                << QStringLiteral("更新失败") << QStringLiteral("安装包校验失败")
                                << false;
    }
    void stepsOfARun() {
        QFETCH(UpdateState, state);
        QFETCH(QString, status);
        QFETCH(QString, detail);
        QFETCH(bool, cancelEnabled);
        controller().render(UpdateState::available(offerOf("2.0.0", false)));
        controller().render(UpdateState::downloading(0));
        controller().render(state);
        QCOMPARE(this->status(), status);
        QCOMPARE(this->detail(), detail);
        QVERIFY(!updateButton()->isVisible());
        QCOMPARE(cancelButton()->isEnabled(), cancelEnabled);
        QCOMPARE(cancelButton()->text(), QStringLiteral("取消"));
        // From the start of a download on, the window cannot be closed.
        QVERIFY(!hasCloseButton());
        QVERIFY(child<QProgressBar>("progress")->isVisible());
        save(QStringLiteral("update-") + QString::fromLatin1(QTest::currentDataTag()));
    }

    void offerAfterAFailureKeepsPostponingDisabled() {
        controller().render(UpdateState::failed(UpdateError::alreadyRunning()));
        controller().render(UpdateState::available(offerOf("2.0.0", false)));
        QVERIFY(cancelButton()->isVisible());
        QCOMPARE(cancelButton()->text(), QStringLiteral("稍后更新"));
        QVERIFY(!cancelButton()->isEnabled());
        save(QStringLiteral("update-offer-after-failure"));
    }

    void acceptingTwiceStartsOneDownload() {
        m_manager->presentUpdate(offerOf("2.0.0", false));
        QTRY_VERIFY(updateButton()->isVisible());
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        // Nothing listens on port 1, so the download fails at once.
        QTRY_COMPARE(m_states.last().stateCase(), UpdateState::Case::failed);
        const auto downloads = std::count_if(m_states.cbegin(), m_states.cend(), [](auto& s) {
            return s.stateCase() == UpdateState::Case::downloading;
        });
        QCOMPARE(downloads, 1);
        QCOMPARE(m_states.size(), 3);
    }
};

QTEST_MAIN(TestUpdateProgressWindow)
#include "tst_UpdateProgressWindow.moc"
