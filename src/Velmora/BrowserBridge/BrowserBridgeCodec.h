#pragma once

#include "BrowserBridgeEvent.h"
#include "BrowserBridgeRequest.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace velmora {

class BrowserBridgeCodecError {
public:
    enum class Kind { invalidMessage, malformed, frameTooLarge };

    static BrowserBridgeCodecError invalidMessage(std::optional<QString> session) { return {Kind::invalidMessage, std::move(session)}; }
    static BrowserBridgeCodecError malformed() { return {Kind::malformed, std::nullopt}; }
    static BrowserBridgeCodecError frameTooLarge() { return {Kind::frameTooLarge, std::nullopt}; }

    Kind kind() const { return m_kind; }
    // With invalidMessage: the "session" text of the object, when it had one.
    const std::optional<QString>& session() const { return m_session; }
    bool operator==(const BrowserBridgeCodecError&) const = default;

private:
    BrowserBridgeCodecError(Kind kind, std::optional<QString> session) : m_kind(kind), m_session(std::move(session)) {}
    Kind m_kind;
    std::optional<QString> m_session;
};

// The bridge's JSON messages: compact, keys in ascending order, "/" written as "\/".
namespace BrowserBridgeCodec {

QByteArray encode(const BrowserBridgeRequest& request);
QByteArray encode(const BrowserBridgeEvent& event);
[[nodiscard]] std::variant<BrowserBridgeRequest, BrowserBridgeCodecError> decodeRequest(const QByteArray& bytes);
// What the sender of a rejected request is told: a protocol failure for its
// session; none when the request named no session to address.
std::optional<BrowserBridgeEvent> answer(const BrowserBridgeCodecError& error);

} // namespace BrowserBridgeCodec

} // namespace velmora
