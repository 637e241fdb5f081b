#include "TextNormalization.h"

namespace velmora::TextNormalization {

QString comparable(const QString& text)
{
    const QString lowered = text.toLower();
    qsizetype begin = 0;
    qsizetype end = lowered.size();
    const auto trimmable = [](QChar c) { return c.isPunct() || c.isSpace(); };
    while (begin < end && trimmable(lowered.at(begin)))
        ++begin;
    while (end > begin && trimmable(lowered.at(end - 1)))
        --end;
    return lowered.mid(begin, end - begin);
}

} // namespace velmora::TextNormalization
