#pragma once

#include "foundation/concurrency/SerialQueue.h"
#include "foundation/json/Result.h"
#include "keymapping/ImportedKeyMappingPlan.h"
#include "keymapping/KMPDirectory.h"
#include "keymapping/KeyMappingItem.h"
#include "keymapping/WindowsKeyTable.h"
#include "keymapping/WindowsPlanFormat.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

// The store of key-mapping plans on disk: the built-in plan package (shipped with the client or
// downloaded once, unpacked once), the user's own plans, and the plan remembered for each app.
// All file work runs one operation at a time on `workQueue`; every completion is called on the
// GUI thread. Console lines start with "[keymapping] ".
class KeyMappingConfigManager {
public:
    using PlansCompletion = std::function<void(Result<QList<ImportedKeyMappingPlan>>)>;
    using PlanCompletion = std::function<void(Result<ImportedKeyMappingPlan>)>;
    using DoneCompletion = std::function<void(Result<void>)>;
    using ConsoleSink = std::function<void(const QString& line)>;

    // Codes of the errors the store makes itself, in the domain `kErrorDomain`.
    enum ErrorCode {
        downloadFailed = 1,
        extractionFailed = 2,
        renameBuiltInPlan = 3,
        emptyPlanName = 4,
        customPlanMissing = 5,
        planNameTaken = 6,
        deleteBuiltInPlan = 7,
    };

    struct Configuration {
        QString applicationSupportFolder;  // the keymapping root is "Brisca/keymapping" in it
        QString bundledPackagePath;        // the package shipped beside the executable, if any
        QUrl rccDownloadURL;
        std::chrono::milliseconds downloadTimeout{std::chrono::seconds(60)};
        ConsoleSink console;  // empty: standard output

        // The user's data folder, the package beside the executable, the resource host.
        static Configuration standard();
    };

    static constexpr double logicSize = WindowsPlanFormat::kLogicSize;
    inline static const QString kErrorDomain = QStringLiteral("KeyMappingConfigManager");
    inline static const QString rccFileName = QStringLiteral("package_configs_1005.rcc");
    inline static const QString keyMappingFolderName = QStringLiteral("keymapping");
    inline static const QString extractionFolderName = QStringLiteral("package_configs_1005");
    inline static const QString selectedFolderName = QStringLiteral("selected");
    inline static const QString customFolderName = QStringLiteral("custom");
    inline static const QString kIndexFileName = QStringLiteral("dir_kmps.dir");
    // Asks for the user's plans only, without any package work.
    inline static const QString kCustomPackageName = QStringLiteral("com.brisca.custom");
    inline static const QString kWorkQueueLabel = QStringLiteral("com.brisca.keyMappingConfig");

    // Created on first use and kept until the process ends.
    static KeyMappingConfigManager& shared();

    explicit KeyMappingConfigManager(Configuration configuration);
    ~KeyMappingConfigManager();
    KeyMappingConfigManager(const KeyMappingConfigManager&) = delete;
    KeyMappingConfigManager& operator=(const KeyMappingConfigManager&) = delete;

    const QUrl& rccDownloadURL() const { return m_configuration.rccDownloadURL; }
    // Callers submit `renameCustomPlan` and `saveCustomPlan` here themselves.
    SerialQueue& workQueue() { return m_workQueue; }

    // The plans offered for the app: its user plans, then the matching built-in plans, with the
    // remembered plan moved to the front.
    void loadPlans(const QString& packageName, PlansCompletion completion);
    // Remembers the plan for the app; a failure is only printed.
    void saveSelectedPlan(const QString& packageName, const ImportedKeyMappingPlan& plan);
    void deleteCustomPlan(const QString& packageName, const ImportedKeyMappingPlan& plan,
                          DoneCompletion completion);
    // Run on the caller's thread (meant to be `workQueue`); the completion still goes to the
    // GUI thread.
    void renameCustomPlan(const ImportedKeyMappingPlan& plan, const QString& newName,
                          const QString& packageName, PlanCompletion completion);
    void saveCustomPlan(const QString& packageName, const std::optional<QString>& planName,
                        const QByteArray& planData, PlanCompletion completion);

    static QString customPlanFileName(const QString& packageName,
                                      const std::optional<QString>& planName);

    Result<QString> keyMappingRootFolder(bool create) const;
    Result<QString> subfolder(const QString& name) const;

    static WindowsKeyName windowsKeyName(int windowsKey) {
        return WindowsKeyTable::windowsKeyName(windowsKey);
    }
    static QString windowsKeyDisplayName(int windowsKey) {
        return WindowsKeyTable::windowsKeyDisplayName(windowsKey);
    }
    static std::optional<int> windowsKeyForMacKeyCode(quint16 macKeyCode) {
        return WindowsKeyTable::windowsKeyForMacKeyCode(macKeyCode);
    }
    static Result<QByteArray> exportPlanJSON(const QList<KeyMappingItem>& items,
                                             const ImportedMouseConfiguration& mouseConfiguration);

    static Error error(ErrorCode code, const QString& description);

private:
    struct PlanPackage {
        QString path;
        bool downloaded = false;  // ours to delete when it turns out unusable
    };

    Result<QList<ImportedKeyMappingPlan>> load(const QString& packageName);
    Result<PlanPackage> obtainPlanPackage();
    Result<QString> extractPlanPackage();
    Result<QList<KMPIndexEntry>> loadPlanIndex(const QString& folder);
    std::optional<ImportedKeyMappingPlan> loadPackagePlan(const KMPIndexEntry& entry,
                                                          const QString& folder,
                                                          const QString& packageName);
    Result<QList<ImportedKeyMappingPlan>> listCustomPlans(const QString& packageName);
    Result<std::optional<ImportedKeyMappingPlan>> loadPlanFile(const QString& fileName,
                                                               const QString& packageName);

    QString selectedPlanPath(const QString& packageName) const;
    // The remembered file name; none without a record or with an empty name.
    Result<std::optional<QString>> readSelectedPlan(const QString& packageName) const;
    Result<void> writeSelectedPlan(const QString& packageName, const QString& fileName);
    // Points the record at `newFileName` when it names `oldFileName`; failures are printed,
    // as the plan file itself has already been changed.
    void followRememberedPlan(const QString& packageName, const QString& oldFileName,
                              const QString& newFileName);
    void printSaveSelectedFailure(const QString& packageName, const QString& fileName,
                                  const Error& failure) const;

    Result<ImportedKeyMappingPlan> renameCustomPlanNow(const ImportedKeyMappingPlan& plan,
                                                       const QString& newName,
                                                       const QString& packageName);
    Result<ImportedKeyMappingPlan> saveCustomPlanNow(const QString& packageName,
                                                     const std::optional<QString>& planName,
                                                     const QByteArray& planData);
    Result<void> deleteCustomPlanNow(const QString& packageName,
                                     const ImportedKeyMappingPlan& plan);

    void print(const QString& line) const;

    Configuration m_configuration;
    std::optional<QList<KMPIndexEntry>> m_cachedIndex;  // touched on the work queue only
    // Declared last: destroyed first, finishing queued work while the rest still exists.
    SerialQueue m_workQueue;
};
