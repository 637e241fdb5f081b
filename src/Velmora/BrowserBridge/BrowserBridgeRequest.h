#pragma once

#include <QString>

namespace velmora {

struct BrowserBridgeRequest {
    enum class Kind { start, stop, cancel };

    Kind kind;
    QString session;

    static BrowserBridgeRequest start(const QString& session) { return {Kind::start, session}; }
    static BrowserBridgeRequest stop(const QString& session) { return {Kind::stop, session}; }
    static BrowserBridgeRequest cancel(const QString& session) { return {Kind::cancel, session}; }

    bool operator==(const BrowserBridgeRequest&) const = default;
};

} // namespace velmora
