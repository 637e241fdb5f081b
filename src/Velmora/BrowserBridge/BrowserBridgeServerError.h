#pragma once

#include <QString>

namespace velmora {

class BrowserBridgeServerError {
public:
    enum class Kind { unsafeDirectory, socket, pathTooLong };

    static BrowserBridgeServerError unsafeDirectory(const QString& path) { return {Kind::unsafeDirectory, path}; }
    static BrowserBridgeServerError socket(const QString& message) { return {Kind::socket, message}; }
    static BrowserBridgeServerError pathTooLong() { return {Kind::pathTooLong, {}}; }

    Kind kind() const { return m_kind; }
    QString description() const
    {
        switch (m_kind) {
        case Kind::unsafeDirectory:
            return QStringLiteral("Bridge folder %1 is not private to this user.").arg(m_text);
        case Kind::socket:
            return m_text;
        case Kind::pathTooLong:
            return QStringLiteral("Socket path is too long.");
        }
        return {};
    }
    bool operator==(const BrowserBridgeServerError&) const = default;

private:
    BrowserBridgeServerError(Kind kind, QString text) : m_kind(kind), m_text(std::move(text)) {}
    Kind m_kind;
    QString m_text;
};

} // namespace velmora
