#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velmora {

// Everything the decision looks at. Windows (0: unknown) make the test exact
// where a client does not tell its process id, and tell two windows of one
// program apart.
struct DirectInsertContext {
    bool isEnabled = false;
    QString segment;
    bool hasPermission = false;
    qint32 ownPID = 0;
    std::optional<qint32> targetPID;     // in front when the stop was asked for
    std::optional<qint32> frontmostPID;  // in front now
    bool ownAppHasFocus = false;
    std::uint32_t targetWindow = 0;
    std::uint32_t frontmostWindow = 0;
};

// Where and when the last dictation was pasted.
struct PastedDictation {
    std::uint32_t window = 0;       // 0: unknown
    std::optional<qint32> pid;
    qint64 atMs = 0;                // monotonic
};

enum class DirectInsertDecision { paste, disabled, emptySegment, missingPermission, noTarget, ownAppFocused, targetChanged };

QString caseName(DirectInsertDecision decision); // "paste", "disabled", ...

namespace DirectInsertPolicy {

DirectInsertDecision decide(const DirectInsertContext& context);
// One line: line breaks split the text, each piece is trimmed of spaces and tabs,
// empty pieces go, the rest are joined with one space.
QString pasteText(const QString& text);

// Two dictations pasted one after the other into one field would run together
// ("…dailywe use…"): within this long after the last one, into the same window.
inline constexpr qint64 continuationMs = 120'000;
// Whether `pasted` (already one line) goes into the window the last dictation went
// into, soon after it, and begins with a letter or digit: then it takes one space.
bool continuesPrevious(const std::optional<PastedDictation>& previous, const PastedDictation& now,
                       const QString& pasted);

} // namespace DirectInsertPolicy

} // namespace velmora
