#pragma once

#include "BrowserBridgeCodec.h"

#include <QByteArray>
#include <QList>

#include <variant>

namespace velmora {

// Newline framing of the bridge socket. Empty lines are skipped.
class LineDecoder {
public:
    explicit LineDecoder(qsizetype maximumLineLength) : m_maximum(maximumLineLength) {}

    [[nodiscard]] std::variant<QList<QByteArray>, BrowserBridgeCodecError> feed(const QByteArray& chunk);
    static QByteArray line(const QByteArray& payload) { return payload + '\n'; }

private:
    QByteArray m_buffer;
    qsizetype m_maximum;
};

// Native messaging framing: a 4-byte little-endian length, then the payload.
class NativeMessagingFrameDecoder {
public:
    explicit NativeMessagingFrameDecoder(qsizetype maximumFrameLength) : m_maximum(maximumFrameLength) {}

    // Fails as soon as a header announces more than the maximum.
    [[nodiscard]] std::variant<QList<QByteArray>, BrowserBridgeCodecError> feed(const QByteArray& chunk);
    static QByteArray frame(const QByteArray& payload);

private:
    QByteArray m_buffer;
    qsizetype m_maximum;
};

} // namespace velmora
