#pragma once

#include <QString>

namespace SingleInstance {

// The base folder below which the identifier folder holds the lock.
class SingleInstanceLockLocation {
public:
    enum class Kind { directory, applicationSupport };

    static SingleInstanceLockLocation directory(QString path);
    // The user's data folder ($XDG_DATA_HOME), looked up at each use.
    static SingleInstanceLockLocation applicationSupport();

    Kind kind() const { return m_kind; }
    QString basePath() const;

private:
    SingleInstanceLockLocation(Kind kind, QString path);

    Kind m_kind;
    QString m_path;
};

} // namespace SingleInstance
