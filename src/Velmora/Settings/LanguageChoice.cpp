#include "LanguageChoice.h"

namespace velmora {

const QList<LanguageChoice>& LanguageChoice::all()
{
    static const QList<LanguageChoice> choices{
        {QStringLiteral("auto"), QStringLiteral("Auto")}, {QStringLiteral("de"), QStringLiteral("DE")},
        {QStringLiteral("en"), QStringLiteral("EN")},     {QStringLiteral("fr"), QStringLiteral("FR")},
        {QStringLiteral("es"), QStringLiteral("ES")},     {QStringLiteral("it"), QStringLiteral("IT")},
        {QStringLiteral("pt"), QStringLiteral("PT")},     {QStringLiteral("nl"), QStringLiteral("NL")},
        {QStringLiteral("ja"), QStringLiteral("JA")},     {QStringLiteral("zh"), QStringLiteral("ZH")},
    };
    return choices;
}

} // namespace velmora
