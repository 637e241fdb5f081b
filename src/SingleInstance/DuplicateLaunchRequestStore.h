#pragma once

#include "DuplicateLaunchRequest.h"
#include "SingleInstanceConfiguration.h"

#include <QList>
#include <QString>

#include <optional>

namespace SingleInstance {

// Why a launch record could not be left for the running copy.
enum class DuplicateLaunchRequestStoreError { createFolderFailed, writeFailed };

QString describe(DuplicateLaunchRequestStoreError error);

// The folder of pending launch records, one JSON file per request.
namespace DuplicateLaunchRequestStore {

// Writes a non-empty request, then always signals the running copy, so it is
// woken even when the record could not be written; that failure is returned.
[[nodiscard]] std::optional<DuplicateLaunchRequestStoreError> post(const DuplicateLaunchRequest& request,
                                                     const SingleInstanceConfiguration& configuration);

// Reads and removes every pending record, oldest first. Damaged records are
// removed; files that are not *.json are left alone.
QList<DuplicateLaunchRequest> consumePending(const SingleInstanceConfiguration& configuration);

} // namespace DuplicateLaunchRequestStore

} // namespace SingleInstance
