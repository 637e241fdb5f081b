#include "WhisperModelDownloadError.h"

#include <QLocale>

namespace velmora {

QString WhisperModelDownloadError::fileSize(qint64 bytes)
{
    if (bytes < 1000)
        return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = double(bytes);
    int unit = -1;
    while (value >= 1000 && unit < 4) {
        value /= 1000;
        ++unit;
    }
    // Whole kilobytes and megabytes, two decimals from gigabytes on.
    const int decimals = unit >= 2 ? 2 : 0;
    QString number = QLocale::c().toString(value, 'f', decimals);
    if (decimals > 0) {
        while (number.endsWith(QLatin1Char('0')))
            number.chop(1);
        if (number.endsWith(QLatin1Char('.')))
            number.chop(1);
    }
    return number + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString WhisperModelDownloadError::description() const
{
    switch (m_kind) {
    case Kind::httpStatus:
        return QStringLiteral("The model server answered with HTTP %1.").arg(m_first);
    case Kind::unexpectedContentRange:
        return QStringLiteral("The model server resumed at the wrong position (%1).").arg(m_text);
    case Kind::incomplete:
        return QStringLiteral("The download stopped after %1 of %2.").arg(fileSize(m_first), fileSize(m_second));
    case Kind::oversized:
        return QStringLiteral("The model server sent more than the model's %1; the download was stopped and deleted.")
            .arg(fileSize(m_first));
    case Kind::insufficientDiskSpace:
        return QStringLiteral("Not enough disk space for the model: %1 needed, %2 free.")
            .arg(fileSize(m_first), fileSize(m_second));
    case Kind::rangeNotSatisfiable:
        return QStringLiteral("The model server could not resume the download.");
    case Kind::checksumMismatch:
        return QStringLiteral("The downloaded model failed its checksum and was deleted.");
    case Kind::cancelled:
        return QStringLiteral("The download was cancelled.");
    case Kind::network:
        // The platform's own text: whoever shows it adds what failed.
        return m_text;
    case Kind::fileSystem:
        return QStringLiteral("The model file could not be saved: %1").arg(m_text);
    }
    return {};
}

bool WhisperModelDownloadError::isRetryable() const
{
    switch (m_kind) {
    case Kind::httpStatus:
        return m_first == 408 || m_first == 429 || m_first > 499;
    case Kind::unexpectedContentRange:
    case Kind::incomplete:
    case Kind::rangeNotSatisfiable:
    case Kind::network:
        return true;
    case Kind::oversized:
    case Kind::insufficientDiskSpace:
    case Kind::checksumMismatch:
    case Kind::cancelled:
    case Kind::fileSystem:
        return false;
    }
    return false;
}

} // namespace velmora
