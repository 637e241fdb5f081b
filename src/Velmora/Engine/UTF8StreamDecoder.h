#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// Turns a byte stream into text without splitting a multi-byte character
// across chunks. At most three bytes of an unfinished character wait for the
// next chunk; invalid input is passed on and repaired, never held.
class UTF8StreamDecoder {
public:
    QString decode(const QByteArray& chunk);
    // Everything still pending; an unfinished character becomes U+FFFD.
    QString flush();

    static qsizetype completePrefixLength(const QByteArray& bytes);

private:
    QByteArray m_pending;
};

} // namespace velmora
