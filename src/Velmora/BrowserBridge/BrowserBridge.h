#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

namespace BrowserBridge {

// The one extension origin Velmora serves, with its trailing slash.
inline const QString allowedOrigin = QStringLiteral("chrome-extension://hkfjdmcepbnoaglihkfjdmcepbnoagli/");
inline const QString originPrefix = QStringLiteral("chrome-extension://");

// The first argument after the program name that begins with the extension
// origin prefix; the browser passes the caller's origin this way.
std::optional<QString> callerOrigin(const QStringList& arguments);

// At most `limit` UTF-16 units, cut between whole characters and, where the
// cut part has white space, before its last white space; trimmed; no marker.
QString capped(const QString& text, qsizetype limit);

} // namespace BrowserBridge

} // namespace velmora
