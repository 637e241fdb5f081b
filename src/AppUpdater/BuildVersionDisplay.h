#pragma once

#include <QString>
#include <QTimeZone>

namespace AppUpdater {

// Build numbers that are fourteen-digit UTC build stamps, shown as readable
// dates in the update window; any other build number as it is.
class BuildVersionDisplay {
public:
    explicit BuildVersionDisplay(QTimeZone timeZone = QTimeZone::systemTimeZone());

    QString readableBuild(const QString& build) const;
    // "1.4 (2025-03-07 14:05:09)"
    QString displayVersion(const QString& displayVersion, const QString& build) const;

private:
    QTimeZone m_timeZone;
};

} // namespace AppUpdater
