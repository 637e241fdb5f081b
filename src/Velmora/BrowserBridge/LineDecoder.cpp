#include "LineDecoder.h"

#include <QtEndian>

namespace velmora {

std::variant<QList<QByteArray>, BrowserBridgeCodecError> LineDecoder::feed(const QByteArray& chunk)
{
    m_buffer.append(chunk);
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype newline; (newline = m_buffer.indexOf('\n', start)) >= 0; start = newline + 1) {
        if (newline - start > m_maximum)
            return BrowserBridgeCodecError::frameTooLarge();
        if (newline > start)
            lines.append(m_buffer.mid(start, newline - start));
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > m_maximum)
        return BrowserBridgeCodecError::frameTooLarge();
    return lines;
}

std::variant<QList<QByteArray>, BrowserBridgeCodecError> NativeMessagingFrameDecoder::feed(const QByteArray& chunk)
{
    m_buffer.append(chunk);
    QList<QByteArray> payloads;
    qsizetype start = 0;
    while (m_buffer.size() - start >= 4) {
        const quint32 length = qFromLittleEndian<quint32>(m_buffer.constData() + start);
        if (qint64(length) > qint64(m_maximum))
            return BrowserBridgeCodecError::frameTooLarge();
        if (m_buffer.size() - start - 4 < qsizetype(length))
            break;
        payloads.append(m_buffer.mid(start + 4, qsizetype(length)));
        start += 4 + qsizetype(length);
    }
    m_buffer.remove(0, start);
    return payloads;
}

QByteArray NativeMessagingFrameDecoder::frame(const QByteArray& payload)
{
    QByteArray framed(4, '\0');
    qToLittleEndian(quint32(payload.size()), framed.data());
    return framed + payload;
}

} // namespace velmora
