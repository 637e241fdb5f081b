#pragma once

#include <QList>
#include <QString>

namespace velmora {

// One chip of the settings' language grid: what whisper is told, what the chip says.
struct LanguageChoice {
    QString code;
    QString title;

    // In display order; "auto" lets whisper detect the language.
    static const QList<LanguageChoice>& all();
};

} // namespace velmora
