#pragma once

#include "VocabularyEntry.h"

#include <QList>
#include <QString>

#include <optional>

namespace velmora {

// The initial prompt that makes the speech model favour the user's terms.
namespace VocabularyPrompt {

inline constexpr qsizetype maximumLength = 400;

// "Term, Term, Term." within 400 user-perceived characters; none without terms.
std::optional<QString> make(const QList<VocabularyEntry>& entries);
// Whether a transcript only repeats the prompt (case, surrounding punctuation
// and white space aside). An empty transcript never is.
bool isEcho(const QString& transcript, const std::optional<QString>& prompt);

} // namespace VocabularyPrompt

} // namespace velmora
