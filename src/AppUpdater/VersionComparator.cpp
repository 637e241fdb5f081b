#include "VersionComparator.h"

#include <QList>

namespace AppUpdater::VersionComparator {

namespace {

enum class Kind { number, period, word };

struct Part {
    Kind kind;
    QString text;
};

Kind kindOf(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return Kind::number;
    if (c == QLatin1Char('.'))
        return Kind::period;
    return Kind::word;
}

QList<Part> partsOf(const QString& version)
{
    QList<Part> parts;
    for (const QChar c : version) {
        const Kind kind = kindOf(c);
        // Periods stand alone; numbers and words run on.
        if (parts.isEmpty() || parts.last().kind != kind || kind == Kind::period)
            parts.append({kind, QString(c)});
        else
            parts.last().text += c;
    }
    return parts;
}

Order numbers(const QString& a, const QString& b)
{
    // Without leading zeros, a longer run of digits is the larger number, however long.
    QString x = a, y = b;
    while (x.size() > 1 && x.startsWith(QLatin1Char('0')))
        x.remove(0, 1);
    while (y.size() > 1 && y.startsWith(QLatin1Char('0')))
        y.remove(0, 1);
    if (x.size() != y.size())
        return x.size() < y.size() ? Order::ascending : Order::descending;
    const int c = x.compare(y);
    return c < 0 ? Order::ascending : c > 0 ? Order::descending : Order::same;
}

int rank(Kind kind)
{
    switch (kind) {
    case Kind::word:
        return 0;
    case Kind::period:
        return 1;
    case Kind::number:
        return 2;
    }
    return 0;
}

// Whether the rest of a longer text, from `index`, makes it the newer one.
bool restIsNewer(const QList<Part>& parts, qsizetype index)
{
    const Part& next = parts[index];
    if (next.kind == Kind::period && index + 1 < parts.size())
        return parts[index + 1].kind != Kind::word;
    return next.kind != Kind::word;
}

} // namespace

Order compare(const QString& first, const QString& second)
{
    const QList<Part> a = partsOf(first);
    const QList<Part> b = partsOf(second);
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (a[i].kind != b[i].kind)
            return rank(a[i].kind) < rank(b[i].kind) ? Order::ascending : Order::descending;
        if (a[i].kind == Kind::number) {
            if (const Order order = numbers(a[i].text, b[i].text); order != Order::same)
                return order;
        } else if (a[i].kind == Kind::word) {
            const int c = a[i].text.compare(b[i].text);
            if (c != 0)
                return c < 0 ? Order::ascending : Order::descending;
        }
    }
    if (a.size() == b.size())
        return Order::same;
    if (a.size() > b.size())
        return restIsNewer(a, common) ? Order::descending : Order::ascending;
    return restIsNewer(b, common) ? Order::ascending : Order::descending;
}

} // namespace AppUpdater::VersionComparator
