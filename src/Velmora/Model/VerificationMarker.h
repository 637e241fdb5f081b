#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

// What a verified model file looked like: its checksum, size and modification
// time. While the file still looks exactly so, it need not be hashed again.
struct VerificationMarker {
    QString sha256;
    qint64 size = 0;
    double modified = 0; // seconds since 1970 UTC, fraction kept

    bool operator==(const VerificationMarker&) const = default;

    QByteArray toJson() const;
    static std::optional<VerificationMarker> fromJson(const QByteArray& json);
};

} // namespace velmora
