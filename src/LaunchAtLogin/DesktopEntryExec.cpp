#include "DesktopEntryExec.h"

namespace LaunchAtLogin::DesktopEntryExec {

namespace {

bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

} // namespace

QString escapeString(const QString& value)
{
    QString escaped;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    if (escaped.startsWith(QLatin1Char(' ')))
        escaped.replace(0, 1, QStringLiteral("\\s"));
    return escaped;
}

QString unescapeString(const QString& value)
{
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            plain += c;
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('s'))
            plain += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            plain += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            plain += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            plain += QLatin1Char('\r');
        else
            plain += next; // "\\" and anything else stand for themselves
    }
    return plain;
}

QString quote(const QStringList& arguments)
{
    QStringList parts;
    for (const QString& argument : arguments) {
        QString part = argument;
        part.replace(QLatin1Char('%'), QStringLiteral("%%"));
        if (std::any_of(part.begin(), part.end(), isReserved) || part.isEmpty()) {
            QString inner;
            for (const QChar c : part) {
                if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                    inner += QLatin1Char('\\');
                inner += c;
            }
            part = QLatin1Char('"') + inner + QLatin1Char('"');
        }
        parts.append(part);
    }
    return escapeString(parts.join(QLatin1Char(' ')));
}

std::optional<QStringList> split(const QString& value)
{
    const QString command = unescapeString(value);
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < command.size()) {
                const QChar next = command[i + 1];
                if (next == QLatin1Char('"') || next == QLatin1Char('`') || next == QLatin1Char('$')
                    || next == QLatin1Char('\\')) {
                    current += next;
                    ++i;
                    continue;
                }
                return std::nullopt;
            }
            if (c == QLatin1Char('"'))
                quoted = false;
            else
                current += c;
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == QLatin1Char('"'))
            quoted = true;
        else
            current += c;
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);
    for (QString& argument : arguments)
        argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return arguments;
}

} // namespace LaunchAtLogin::DesktopEntryExec
