#include "DuplicateLaunchRequestStore.h"

#include "DuplicateLaunchSignal.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>

namespace SingleInstance {

QString describe(DuplicateLaunchRequestStoreError error)
{
    switch (error) {
    case DuplicateLaunchRequestStoreError::createFolderFailed:
        return QStringLiteral("The folder for launch requests cannot be created.");
    case DuplicateLaunchRequestStoreError::writeFailed:
        return QStringLiteral("The launch request cannot be written.");
    }
    return {};
}

namespace DuplicateLaunchRequestStore {

namespace {

// Records can carry arguments and file names; a much larger file is not one of ours.
constexpr qint64 maximumRecordSize = 1024 * 1024;

std::optional<DuplicateLaunchRequestStoreError> enqueue(const DuplicateLaunchRequest& request,
                                                        const SingleInstanceConfiguration& configuration)
{
    const QString folder = configuration.duplicateLaunchRequestsPath();
    if (!QDir().mkpath(folder))
        return DuplicateLaunchRequestStoreError::createFolderFailed;
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".json");
    QSaveFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(request.toJson()) < 0 || !file.commit())
        return DuplicateLaunchRequestStoreError::writeFailed;
    return std::nullopt;
}

} // namespace

std::optional<DuplicateLaunchRequestStoreError> post(const DuplicateLaunchRequest& request,
                                                     const SingleInstanceConfiguration& configuration)
{
    std::optional<DuplicateLaunchRequestStoreError> error;
    if (!request.isEmpty())
        error = enqueue(request, configuration);
    // The copy holding the lock may not be listening yet: it takes the lock
    // first and binds its listener a moment later. Give it that moment.
    DuplicateLaunchSignal::post(configuration.activationSignalName(), std::chrono::seconds(1));
    return error;
}

QList<DuplicateLaunchRequest> consumePending(const SingleInstanceConfiguration& configuration)
{
    const QDir folder(configuration.duplicateLaunchRequestsPath());
    if (!folder.exists())
        return {};
    QList<DuplicateLaunchRequest> requests;
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString& entry : entries) {
        if (!entry.endsWith(QStringLiteral(".json")))
            continue;
        QFile file(folder.filePath(entry));
        std::optional<DuplicateLaunchRequest> request;
        // Read what the file holds, not the cap: a megabyte buffer for every launch
        // would leave the heap a little larger each time.
        if (file.open(QIODevice::ReadOnly) && file.size() <= maximumRecordSize)
            request = DuplicateLaunchRequest::fromJson(file.read(file.size()));
        file.close();
        QFile::remove(folder.filePath(entry));
        if (request)
            requests.append(*request);
    }
    std::stable_sort(requests.begin(), requests.end(),
                     [](const auto& a, const auto& b) { return a.createdAt < b.createdAt; });
    return requests;
}

} // namespace DuplicateLaunchRequestStore

} // namespace SingleInstance
