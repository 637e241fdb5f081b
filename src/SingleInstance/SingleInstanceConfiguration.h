#pragma once

#include "SingleInstanceLockLocation.h"
#include "SingleInstancePolicy.h"

#include <QString>

#include <optional>

namespace SingleInstance {

class SingleInstanceConfiguration {
public:
    // An empty identifier falls back to defaultBundleIdentifier(); missing names derive from the identifier.
    SingleInstanceConfiguration(const QString& bundleIdentifier, SingleInstancePolicy policy,
                                SingleInstanceLockLocation lockLocation,
                                std::optional<QString> lockFileName = std::nullopt,
                                std::optional<QString> activationSignalName = std::nullopt);

    // The given identifier when not empty, else the process name.
    static QString defaultBundleIdentifier(const std::optional<QString>& bundleIdentifier = std::nullopt);

    const QString& bundleIdentifier() const { return m_bundleIdentifier; }
    const SingleInstancePolicy& policy() const { return m_policy; }
    const SingleInstanceLockLocation& lockLocation() const { return m_lockLocation; }
    const QString& lockFileName() const { return m_lockFileName; }
    const QString& activationSignalName() const { return m_activationSignalName; }

    // <base>/<identifier>/<lock file name>
    QString lockPath() const;
    // <folder of the lock>/DuplicateLaunchRequests
    QString duplicateLaunchRequestsPath() const;

private:
    QString m_bundleIdentifier;
    SingleInstancePolicy m_policy;
    SingleInstanceLockLocation m_lockLocation;
    QString m_lockFileName;
    QString m_activationSignalName;
};

} // namespace SingleInstance
