#include "BrowserBridgeCodec.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace velmora::BrowserBridgeCodec {

namespace {

QByteArray compact(const QJsonObject& object)
{
    // Qt keeps object keys sorted; slashes only occur inside strings in compact JSON.
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    json.replace("/", "\\/");
    return json;
}

QString typeOf(BrowserBridgeRequest::Kind kind)
{
    switch (kind) {
    case BrowserBridgeRequest::Kind::start: return QStringLiteral("start");
    case BrowserBridgeRequest::Kind::stop: return QStringLiteral("stop");
    case BrowserBridgeRequest::Kind::cancel: return QStringLiteral("cancel");
    }
    return {};
}

} // namespace

QByteArray encode(const BrowserBridgeRequest& request)
{
    return compact({{QStringLiteral("v"), 1}, {QStringLiteral("type"), typeOf(request.kind)},
                    {QStringLiteral("session"), request.session}});
}

QByteArray encode(const BrowserBridgeEvent& event)
{
    QJsonObject object{{QStringLiteral("v"), 1}, {QStringLiteral("session"), event.session}};
    using Kind = BrowserBridgeEvent::Kind;
    switch (event.kind) {
    case Kind::recording:
    case Kind::transcribing:
        object.insert(QStringLiteral("type"), QStringLiteral("state"));
        object.insert(QStringLiteral("state"),
                      event.kind == Kind::recording ? QStringLiteral("recording") : QStringLiteral("transcribing"));
        break;
    case Kind::completed:
        object.insert(QStringLiteral("type"), QStringLiteral("result"));
        object.insert(QStringLiteral("outcome"), QStringLiteral("completed"));
        object.insert(QStringLiteral("text"), event.text);
        break;
    case Kind::empty:
    case Kind::canceled:
        object.insert(QStringLiteral("type"), QStringLiteral("result"));
        object.insert(QStringLiteral("outcome"), event.kind == Kind::empty ? QStringLiteral("empty") : QStringLiteral("canceled"));
        break;
    case Kind::failed:
        object.insert(QStringLiteral("type"), QStringLiteral("result"));
        object.insert(QStringLiteral("outcome"), QStringLiteral("failed"));
        object.insert(QStringLiteral("code"), rawValue(event.code));
        object.insert(QStringLiteral("message"), event.message);
        break;
    }
    return compact(object);
}

std::variant<BrowserBridgeRequest, BrowserBridgeCodecError> decodeRequest(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return BrowserBridgeCodecError::malformed();
    const QJsonObject object = document.object();
    const QJsonValue sessionValue = object.value(QStringLiteral("session"));
    const std::optional<QString> session = sessionValue.isString() ? std::optional(sessionValue.toString()) : std::nullopt;
    const auto invalid = BrowserBridgeCodecError::invalidMessage(session);

    const QJsonValue version = object.value(QStringLiteral("v"));
    if (!version.isDouble() || version.toDouble() != 1.0)
        return invalid;
    const QJsonValue type = object.value(QStringLiteral("type"));
    if (!type.isString())
        return invalid;
    const qsizetype sessionBytes = session ? session->toUtf8().size() : 0;
    if (sessionBytes < 1 || sessionBytes > 128)
        return invalid;
    const QString kind = type.toString();
    if (kind == QLatin1String("start"))
        return BrowserBridgeRequest::start(*session);
    if (kind == QLatin1String("stop"))
        return BrowserBridgeRequest::stop(*session);
    if (kind == QLatin1String("cancel"))
        return BrowserBridgeRequest::cancel(*session);
    return invalid;
}

std::optional<BrowserBridgeEvent> answer(const BrowserBridgeCodecError& error)
{
    if (error.kind() != BrowserBridgeCodecError::Kind::invalidMessage || !error.session())
        return std::nullopt;
    return BrowserBridgeEvent::failed(*error.session(), BrowserBridgeFailureCode::protocol,
                                      BrowserBridgeMessages::invalidMessage);
}

} // namespace velmora::BrowserBridgeCodec
