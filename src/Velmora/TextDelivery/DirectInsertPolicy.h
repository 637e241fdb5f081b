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

enum class DirectInsertDecision { paste, disabled, emptySegment, missingPermission, noTarget, ownAppFocused, targetChanged };

QString caseName(DirectInsertDecision decision); // "paste", "disabled", ...

namespace DirectInsertPolicy {

DirectInsertDecision decide(const DirectInsertContext& context);
// One line: line breaks split the text, each piece is trimmed of spaces and tabs,
// empty pieces go, the rest are joined with one space.
QString pasteText(const QString& text);

} // namespace DirectInsertPolicy

} // namespace velmora
