#include "UTF8StreamDecoder.h"

namespace velmora {

namespace {

bool isContinuation(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0xBF;
}

} // namespace

qsizetype UTF8StreamDecoder::completePrefixLength(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    if (n == 0)
        return 0;
    const auto at = [&](qsizetype fromEnd) { return static_cast<unsigned char>(bytes[n - fromEnd]); };
    if (!isContinuation(at(1)))
        return at(1) >= 0xC0 ? n - 1 : n;
    if (n == 1)
        return n;
    if (!isContinuation(at(2)))
        return at(2) < 0xE0 ? n : n - 2;
    if (n == 2)
        return n;
    if (!isContinuation(at(3)))
        return at(3) < 0xF0 ? n : n - 3;
    return n;
}

QString UTF8StreamDecoder::decode(const QByteArray& chunk)
{
    m_pending.append(chunk);
    const qsizetype complete = completePrefixLength(m_pending);
    const QString text = QString::fromUtf8(m_pending.constData(), complete);
    m_pending.remove(0, complete);
    return text;
}

QString UTF8StreamDecoder::flush()
{
    const QString text = QString::fromUtf8(m_pending);
    m_pending.clear();
    return text;
}

} // namespace velmora
