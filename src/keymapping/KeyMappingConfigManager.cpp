#include "keymapping/KeyMappingConfigManager.h"

#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/settings/ServiceEndpoints.h"
#include "foundation/storage/ArchiveExtractor.h"
#include "foundation/storage/FileExtensions.h"
#include "foundation/storage/FileNameSanitizer.h"
#include "keymapping/KMPFile.h"
#include "keymapping/PlanMatching.h"
#include "keymapping/PlanPackageDownloader.h"
#include "keymapping/SMPFile.h"
#include "keymapping/WindowsPlanFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

const QString kBrandFolderName = QStringLiteral("Brisca");
const QString kDefaultPlanName = QStringLiteral("自定义方案");

Error fileError(const QString& problem, const QString& path) {
    return Error{QStringLiteral("FileSystem"), 0, problem + QStringLiteral(": ") + path};
}

// Plans, the index and remembered-plan records are small; anything bigger is not one of them.
constexpr qint64 kMaxStoreFileBytes = 4 * 1024 * 1024;

Result<QByteArray> readFile(const QString& path) {
    return readRegularFile(path, kMaxStoreFileBytes);
}

// folder/fileName read as a plan file; the name comes from files that may have been tampered
// with, so it must name a file right in the folder.
Result<ImportedKeyMappingPlan> readPlan(const QString& folder, const QString& fileName,
                                        const QString& pattern, KeyMappingPlanSource source) {
    if (!isPlainFileName(fileName)) {
        return fileError(QStringLiteral("not a plain file name"), fileName);
    }
    Result<QByteArray> data = readFile(QDir(folder).filePath(fileName));
    if (!data) {
        return data.error();
    }
    return WindowsPlanFormat::importPlan(data.value(), fileName, pattern, source);
}

Result<QString> makeFolder(const QString& path) {
    if (!createFolder(path, FileAccess::ownerOnly)) {
        return fileError(QStringLiteral("cannot create the folder"), path);
    }
    return path;
}

QString inFolder(const QString& folder, const QString& name) {
    return QDir(folder).filePath(name);
}

// The name without its last extension, as a path's extension is removed: trailing "/" go, and
// a leading dot of the last component starts no extension.
QString deletingPathExtension(QString name) {
    while (name.size() > 1 && name.endsWith(QLatin1Char('/'))) {
        name.chop(1);
    }
    const qsizetype componentStart = name.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > componentStart) {
        name.truncate(dot);
    }
    return name;
}

void writeToStandardOutput(const QString& line) {
    ConsoleOutput::print(line);
}

// Anything else at the index's place (a link, FIFO or device) makes the package unpack again.
bool isPlainRegularFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

// A link standing where the folder should be goes alone; what it points to is not ours.
void removeFolder(const QString& path) {
    if (QFileInfo(path).isSymLink()) {
        QFile::remove(path);
    } else {
        QDir(path).removeRecursively();
    }
}

template <typename T>
void deliver(std::function<void(T)> completion, T result) {
    if (!completion) {
        return;
    }
    MainQueue::async(
        [completion = std::move(completion), result = std::move(result)] { completion(result); });
}

}  // namespace

KeyMappingConfigManager::Configuration KeyMappingConfigManager::Configuration::standard() {
    Configuration configuration;
    configuration.applicationSupportFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    configuration.bundledPackagePath =
        inFolder(QCoreApplication::applicationDirPath(), rccFileName);
    configuration.rccDownloadURL =
        ServiceEndpoints::resourceUrl(QStringLiteral("/tamufile/") + rccFileName);
    return configuration;
}

KeyMappingConfigManager& KeyMappingConfigManager::shared() {
    // Never destroyed: its queue may still be working when the process ends.
    static KeyMappingConfigManager* const instance =
        new KeyMappingConfigManager(Configuration::standard());
    return *instance;
}

KeyMappingConfigManager::KeyMappingConfigManager(Configuration configuration)
    : m_configuration(std::move(configuration)), m_workQueue(kWorkQueueLabel) {}

KeyMappingConfigManager::~KeyMappingConfigManager() = default;

Error KeyMappingConfigManager::error(ErrorCode code, const QString& description) {
    return Error{kErrorDomain, code, description};
}

Result<QByteArray> KeyMappingConfigManager::exportPlanJSON(
    const QList<KeyMappingItem>& items, const ImportedMouseConfiguration& mouseConfiguration) {
    return WindowsPlanFormat::exportPlanJSON(items, mouseConfiguration);
}

void KeyMappingConfigManager::print(const QString& line) const {
    if (m_configuration.console) {
        m_configuration.console(line);
    } else {
        writeToStandardOutput(line);
    }
}

// Folders -----------------------------------------------------------------------------------------

Result<QString> KeyMappingConfigManager::keyMappingRootFolder(bool create) const {
    if (m_configuration.applicationSupportFolder.isEmpty()) {
        return fileError(QStringLiteral("no application data folder"), QString());
    }
    const QString root = inFolder(
        inFolder(m_configuration.applicationSupportFolder, kBrandFolderName), keyMappingFolderName);
    return create ? makeFolder(root) : Result<QString>(root);
}

Result<QString> KeyMappingConfigManager::subfolder(const QString& name) const {
    Result<QString> root = keyMappingRootFolder(true);
    if (!root) {
        return root;
    }
    return makeFolder(inFolder(root.value(), name));
}

// The plan package --------------------------------------------------------------------------------

Result<KeyMappingConfigManager::PlanPackage> KeyMappingConfigManager::obtainPlanPackage() {
    if (!m_configuration.bundledPackagePath.isEmpty() &&
        QFileInfo(m_configuration.bundledPackagePath).isFile()) {
        return PlanPackage{m_configuration.bundledPackagePath, false};
    }
    Result<QString> root = keyMappingRootFolder(true);
    if (!root) {
        return root.error();
    }
    const QString archive = inFolder(root.value(), rccFileName);
    if (QFileInfo(archive).isFile()) {
        return PlanPackage{archive, true};
    }
    // Only a complete 2xx body is ever written, so a failed fetch is tried again next time.
    const Result<void> downloaded = PlanPackageDownloader::download(
        m_configuration.rccDownloadURL, archive, m_configuration.downloadTimeout);
    if (!downloaded) {
        return error(downloadFailed, QStringLiteral("下载 ") + rccFileName +
                                         QStringLiteral(" 失败：") + downloaded.error().message);
    }
    return PlanPackage{archive, true};
}

Result<QString> KeyMappingConfigManager::extractPlanPackage() {
    Result<QString> root = keyMappingRootFolder(true);
    if (!root) {
        return root;
    }
    const QString folder = inFolder(root.value(), extractionFolderName);
    if (isPlainRegularFile(inFolder(folder, kIndexFileName))) {
        return folder;
    }
    Result<PlanPackage> package = obtainPlanPackage();
    if (!package) {
        return package.error();
    }

    // The extractor unpacks beside the final folder and renames into place only when complete;
    // a folder without its index (an archive that lacks one) is not kept either.
    removeFolder(folder);
    const Result<void> unpacked =
        ArchiveExtractor::extract(package.value().path, folder, ExtractionPolicy::planPackage());
    if (unpacked && isPlainRegularFile(inFolder(folder, kIndexFileName))) {
        return folder;
    }
    if (!unpacked) {
        print(QStringLiteral("[keymapping] unpack failed error=") + unpacked.error().message);
    }
    removeFolder(folder);
    if (package.value().downloaded) {
        // A package that cannot be unpacked is fetched again on the next load.
        QFile::remove(package.value().path);
    }
    return error(extractionFailed, QStringLiteral("按键配置包解压失败"));
}

Result<QList<KMPIndexEntry>> KeyMappingConfigManager::loadPlanIndex(const QString& folder) {
    if (m_cachedIndex) {
        return *m_cachedIndex;
    }
    Result<QByteArray> data = readFile(inFolder(folder, kIndexFileName));
    if (!data) {
        return data.error();
    }
    Result<KMPDirectory> directory = KMPDirectory::decode(data.value());
    if (!directory) {
        return directory.error();
    }
    QList<KMPIndexEntry> entries;
    for (const KMPIndexEntry& entry : directory.value().kmps) {
        if (!entry.packageNamePattern.isEmpty() && !entry.fileName.isEmpty()) {
            entries.append(entry);
        }
    }
    m_cachedIndex = entries;
    return entries;
}

std::optional<ImportedKeyMappingPlan> KeyMappingConfigManager::loadPackagePlan(
    const KMPIndexEntry& entry, const QString& folder, const QString& packageName) {
    Result<ImportedKeyMappingPlan> plan = readPlan(folder, entry.fileName, entry.packageNamePattern,
                                                   KeyMappingPlanSource::packageConfigs);
    if (!plan) {
        print(QStringLiteral("[keymapping] skip invalid plan package=") + packageName +
              QStringLiteral(" file=") + entry.fileName + QStringLiteral(" error=") +
              plan.error().message);
        return std::nullopt;
    }
    return std::move(plan).value();
}

// The user's plans --------------------------------------------------------------------------------

Result<QList<ImportedKeyMappingPlan>> KeyMappingConfigManager::listCustomPlans(
    const QString& packageName) {
    Result<QString> folder = subfolder(customFolderName);
    if (!folder) {
        return folder.error();
    }
    const QDir directory(folder.value());
    if (!directory.isReadable()) {
        return fileError(QStringLiteral("cannot list the folder"), folder.value());
    }
    // Without QDir::Hidden the listing leaves hidden files out.
    QStringList names;
    for (const QString& name : directory.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const bool isPlanFile = QFileInfo(name).suffix().toLower() == QStringLiteral("kmp");
        if (isPlanFile && (name == packageName + QStringLiteral(".kmp") ||
                           name.startsWith(packageName + QLatin1Char('_')))) {
            names.append(name);
        }
    }
    std::sort(names.begin(), names.end(), PlanMatching::fileNameComesBefore);

    QList<ImportedKeyMappingPlan> plans;
    for (const QString& name : names) {
        Result<ImportedKeyMappingPlan> plan =
            readPlan(folder.value(), name, packageName, KeyMappingPlanSource::custom);
        if (!plan) {
            print(QStringLiteral("[keymapping] skip invalid custom plan package=") + packageName +
                  QStringLiteral(" file=") + name + QStringLiteral(" error=") +
                  plan.error().message);
            continue;
        }
        plans.append(std::move(plan).value());
    }
    return plans;
}

Result<std::optional<ImportedKeyMappingPlan>> KeyMappingConfigManager::loadPlanFile(
    const QString& fileName, const QString& packageName) {
    Result<QString> root = keyMappingRootFolder(true);
    if (!root) {
        return root.error();
    }
    const std::pair<QString, KeyMappingPlanSource> places[] = {
        {customFolderName, KeyMappingPlanSource::custom},
        {extractionFolderName, KeyMappingPlanSource::packageConfigs}};
    if (!isPlainFileName(fileName)) {
        return fileError(QStringLiteral("not a plain file name"), fileName);
    }
    for (const auto& [folderName, source] : places) {
        const QString folder = inFolder(root.value(), folderName);
        if (!QFileInfo::exists(inFolder(folder, fileName))) {
            continue;
        }
        Result<ImportedKeyMappingPlan> plan = readPlan(folder, fileName, packageName, source);
        if (!plan) {
            return plan.error();
        }
        return std::optional(std::move(plan).value());
    }
    return std::optional<ImportedKeyMappingPlan>();
}

// The remembered plan -----------------------------------------------------------------------------

QString KeyMappingConfigManager::selectedPlanPath(const QString& packageName) const {
    const Result<QString> root = keyMappingRootFolder(false);
    return inFolder(inFolder(root.valueOr(QString()), selectedFolderName),
                    sanitizedFileName(packageName) + QStringLiteral(".smp"));
}

Result<std::optional<QString>> KeyMappingConfigManager::readSelectedPlan(
    const QString& packageName) const {
    const QString path = selectedPlanPath(packageName);
    if (!QFileInfo::exists(path)) {
        return std::optional<QString>();
    }
    Result<QByteArray> data = readFile(path);
    if (!data) {
        return data.error();
    }
    Result<SMPFile> record = SMPFile::decode(data.value());
    if (!record) {
        return record.error();
    }
    const QString& keyboardId = record.value().resolutionRelatives.keyboardId;
    return keyboardId.isEmpty() ? std::optional<QString>() : std::optional(keyboardId);
}

Result<void> KeyMappingConfigManager::writeSelectedPlan(const QString& packageName,
                                                        const QString& fileName) {
    Result<QString> folder = subfolder(selectedFolderName);
    if (!folder) {
        return folder.error();
    }
    SMPFile record;
    record.resolutionRelatives.keyboardId = fileName;
    return writeFileAtomically(
        inFolder(folder.value(), sanitizedFileName(packageName) + QStringLiteral(".smp")),
        record.encode());
}

void KeyMappingConfigManager::printSaveSelectedFailure(const QString& packageName,
                                                       const QString& fileName,
                                                       const Error& failure) const {
    print(QStringLiteral("[keymapping] save selected plan failed package=") + packageName +
          QStringLiteral(" file=") + fileName + QStringLiteral(" error=") + failure.message);
}

void KeyMappingConfigManager::followRememberedPlan(const QString& packageName,
                                                   const QString& oldFileName,
                                                   const QString& newFileName) {
    // A deletion points the record at no plan; its lines name the deleted file.
    const QString reported = newFileName.isEmpty() ? oldFileName : newFileName;
    const Result<std::optional<QString>> remembered = readSelectedPlan(packageName);
    if (!remembered) {
        printSaveSelectedFailure(packageName, reported, remembered.error());
        return;
    }
    if (remembered.value() != oldFileName) {
        return;
    }
    if (const Result<void> written = writeSelectedPlan(packageName, newFileName); !written) {
        printSaveSelectedFailure(packageName, reported, written.error());
    }
}

void KeyMappingConfigManager::saveSelectedPlan(const QString& packageName,
                                               const ImportedKeyMappingPlan& plan) {
    m_workQueue.async([this, packageName, fileName = plan.fileName] {
        if (const Result<void> written = writeSelectedPlan(packageName, fileName); !written) {
            printSaveSelectedFailure(packageName, fileName, written.error());
        }
    });
}

// Loading -----------------------------------------------------------------------------------------

Result<QList<ImportedKeyMappingPlan>> KeyMappingConfigManager::load(const QString& packageName) {
    QList<ImportedKeyMappingPlan> packagePlans;
    if (packageName != kCustomPackageName) {
        Result<QString> folder = extractPlanPackage();
        if (!folder) {
            return folder.error();
        }
        Result<QList<KMPIndexEntry>> index = loadPlanIndex(folder.value());
        if (!index) {
            return index.error();
        }
        for (const KMPIndexEntry& entry : matchPlanEntries(packageName, index.value())) {
            if (auto plan = loadPackagePlan(entry, folder.value(), packageName)) {
                packagePlans.append(std::move(*plan));
            }
        }
    }
    Result<QList<ImportedKeyMappingPlan>> customPlans = listCustomPlans(packageName);
    if (!customPlans) {
        return customPlans;
    }
    QList<ImportedKeyMappingPlan> plans = std::move(customPlans).value() + packagePlans;

    // A bad record or remembered file costs only the ordering, never the whole list.
    std::optional<QString> remembered;
    if (Result<std::optional<QString>> record = readSelectedPlan(packageName); record) {
        remembered = record.value();
    } else {
        print(QStringLiteral("[keymapping] skip invalid selected plan package=") + packageName +
              QStringLiteral(" file=") + QFileInfo(selectedPlanPath(packageName)).fileName() +
              QStringLiteral(" error=") + record.error().message);
    }
    if (!remembered) {
        return plans;
    }
    const auto named = [&remembered](const ImportedKeyMappingPlan& plan) {
        return plan.fileName == *remembered;
    };
    if (std::none_of(plans.begin(), plans.end(), named)) {
        Result<std::optional<ImportedKeyMappingPlan>> loaded =
            loadPlanFile(*remembered, packageName);
        if (!loaded) {
            print(QStringLiteral("[keymapping] skip invalid remembered plan package=") +
                  packageName + QStringLiteral(" file=") + *remembered + QStringLiteral(" error=") +
                  loaded.error().message);
        } else if (loaded.value()) {
            plans.prepend(std::move(*loaded.value()));
        }
    }
    const auto first = std::find_if(plans.begin(), plans.end(), named);
    if (first != plans.end()) {
        std::rotate(plans.begin(), first, first + 1);
    }
    return plans;
}

void KeyMappingConfigManager::loadPlans(const QString& packageName, PlansCompletion completion) {
    m_workQueue.async([this, packageName, completion = std::move(completion)]() mutable {
        deliver(std::move(completion), load(packageName));
    });
}

// Editing the user's plans ------------------------------------------------------------------------

QString KeyMappingConfigManager::customPlanFileName(const QString& packageName,
                                                    const std::optional<QString>& planName) {
    QString base = planName ? deletingPathExtension(*planName).trimmed() : QString();
    if (base.isEmpty()) {
        base = kDefaultPlanName;
    }
    const QString prefix = packageName + QLatin1Char('_');
    if (!base.startsWith(prefix)) {
        base = prefix + base;
    }
    return sanitizedFileName(base) + QStringLiteral(".kmp");
}

Result<ImportedKeyMappingPlan> KeyMappingConfigManager::saveCustomPlanNow(
    const QString& packageName, const std::optional<QString>& planName,
    const QByteArray& planData) {
    Result<QString> folder = subfolder(customFolderName);
    if (!folder) {
        return folder.error();
    }
    const QString fileName = customPlanFileName(packageName, planName);
    if (Result<void> written = writeFileAtomically(inFolder(folder.value(), fileName), planData);
        !written) {
        return written.error();
    }
    // The plan is saved by now; failing to remember it must not report the save as failed.
    if (Result<void> remembered = writeSelectedPlan(packageName, fileName); !remembered) {
        printSaveSelectedFailure(packageName, fileName, remembered.error());
    }
    return readPlan(folder.value(), fileName, packageName, KeyMappingPlanSource::custom);
}

void KeyMappingConfigManager::saveCustomPlan(const QString& packageName,
                                             const std::optional<QString>& planName,
                                             const QByteArray& planData,
                                             PlanCompletion completion) {
    deliver(std::move(completion), saveCustomPlanNow(packageName, planName, planData));
}

Result<ImportedKeyMappingPlan> KeyMappingConfigManager::renameCustomPlanNow(
    const ImportedKeyMappingPlan& plan, const QString& newName, const QString& packageName) {
    if (plan.source != KeyMappingPlanSource::custom) {
        return error(renameBuiltInPlan, QStringLiteral("内置方案不支持重命名"));
    }
    const QString name = newName.trimmed();
    if (name.isEmpty()) {
        return error(emptyPlanName, QStringLiteral("方案名称不能为空"));
    }
    Result<QString> folder = subfolder(customFolderName);
    if (!folder) {
        return folder.error();
    }
    const QString oldPath = inFolder(folder.value(), plan.fileName);
    if (!QFileInfo::exists(oldPath)) {
        return error(customPlanMissing, QStringLiteral("未找到自定义方案文件"));
    }
    const QString newFileName = customPlanFileName(packageName, name);
    if (newFileName != plan.fileName) {
        const QString newPath = inFolder(folder.value(), newFileName);
        if (QFileInfo::exists(newPath)) {
            return error(planNameTaken, QStringLiteral("已存在同名方案"));
        }
        QFile file(oldPath);
        if (!file.rename(newPath)) {
            return fileError(file.errorString(), oldPath);
        }
    }
    followRememberedPlan(packageName, plan.fileName, newFileName);
    return readPlan(folder.value(), newFileName, packageName, KeyMappingPlanSource::custom);
}

void KeyMappingConfigManager::renameCustomPlan(const ImportedKeyMappingPlan& plan,
                                               const QString& newName, const QString& packageName,
                                               PlanCompletion completion) {
    deliver(std::move(completion), renameCustomPlanNow(plan, newName, packageName));
}

Result<void> KeyMappingConfigManager::deleteCustomPlanNow(const QString& packageName,
                                                          const ImportedKeyMappingPlan& plan) {
    if (plan.source != KeyMappingPlanSource::custom) {
        return error(deleteBuiltInPlan, QStringLiteral("内置方案不支持删除"));
    }
    Result<QString> folder = subfolder(customFolderName);
    if (!folder) {
        return folder.error();
    }
    const QString path = inFolder(folder.value(), plan.fileName);
    if (QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.remove()) {
            return fileError(file.errorString(), path);
        }
    }
    // The record stays, naming no plan.
    followRememberedPlan(packageName, plan.fileName, QString());
    return {};
}

void KeyMappingConfigManager::deleteCustomPlan(const QString& packageName,
                                               const ImportedKeyMappingPlan& plan,
                                               DoneCompletion completion) {
    m_workQueue.async([this, packageName, plan, completion = std::move(completion)]() mutable {
        deliver(std::move(completion), deleteCustomPlanNow(packageName, plan));
    });
}
