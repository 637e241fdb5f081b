#include "KWinStandIn.h"

#include "TestSupport.h"

#include <QDBusMessage>

namespace velmora::test {
namespace {

const QString scripting = QStringLiteral("org.kde.kwin.Scripting");

} // namespace

KWinStandIn::KWinStandIn(Plasma plasma)
    : m_plasma(plasma)
    , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("kwin-stand-in")))
{
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    m_engine.globalObject().setProperty(QStringLiteral("kwin"), m_engine.newQObject(this));
    const bool six = plasma == Plasma::six;
    check(m_engine.evaluate(QStringLiteral(R"(
var workspace = {};
workspace[%1] = null;
workspace[%2] = { handlers: [], connect: function (handler) { this.handlers.push(handler); } };
function callDBus(service, path, iface, method) {
    kwin.callDBus(service, path, iface, method, Array.prototype.slice.call(arguments, 4));
}
)")
                                .arg(six ? "'activeWindow'" : "'activeClient'", six ? "'windowActivated'" : "'clientActivated'")));
    m_serving = m_bus.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath)
                && m_bus.registerService(QStringLiteral("org.kde.KWin"));
}

KWinStandIn::~KWinStandIn()
{
    m_bus.unregisterService(QStringLiteral("org.kde.KWin"));
    m_bus.unregisterObject(QStringLiteral("/"), QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("kwin-stand-in"));
}

void KWinStandIn::activate(const QVariantMap& window)
{
    const bool six = m_plasma == Plasma::six;
    QJSValue value = window.isEmpty() ? QJSValue(QJSValue::NullValue) : m_engine.newObject();
    for (auto it = window.cbegin(); it != window.cend(); ++it) {
        // Plasma 5's windows give their class and name as QByteArray, which scripts see as an ArrayBuffer.
        const bool bytes = !six && (it.key() == QLatin1String("resourceClass") || it.key() == QLatin1String("resourceName"));
        value.setProperty(it.key(), bytes ? m_engine.toScriptValue(it.value().toString().toUtf8())
                                          : m_engine.toScriptValue(it.value()));
    }
    QJSValue workspace = m_engine.globalObject().property(QStringLiteral("workspace"));
    workspace.setProperty(six ? QStringLiteral("activeWindow") : QStringLiteral("activeClient"), value);
    QJSValue handlers = workspace.property(six ? QStringLiteral("windowActivated") : QStringLiteral("clientActivated"))
                            .property(QStringLiteral("handlers"));
    const int count = handlers.property(QStringLiteral("length")).toInt();
    for (int i = 0; i < count; ++i)
        check(handlers.property(quint32(i)).call({value}));
}

void KWinStandIn::callDBus(const QString& service, const QString& path, const QString& interface, const QString& method,
                           const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    m_bus.send(call); // as KWin does, without waiting for the answer
}

void KWinStandIn::check(const QJSValue& result)
{
    if (result.isError())
        scriptErrors << result.toString();
}

QString KWinStandIn::introspect(const QString&) const
{
    return {};
}

bool KWinStandIn::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString member = message.member();
    const QVariantList arguments = message.arguments();
    calls << member;
    if (message.path() == QLatin1String("/Scripting") && message.interface() == scripting) {
        if (member == QLatin1String("loadScript")) {
            const QString plugin = arguments.value(1).toString();
            // KWin loads one script of a name at a time.
            if (refuseScripts || loaded.contains(plugin))
                return connection.send(message.createReply(-1));
            m_scripts.insert(++m_lastId, arguments.value(0).toString());
            loaded.insert(plugin, arguments.value(0).toString());
            return connection.send(message.createReply(m_lastId));
        }
        if (member == QLatin1String("unloadScript"))
            return connection.send(message.createReply(loaded.remove(arguments.value(0).toString()) > 0));
    }
    if (message.interface() == QLatin1String("org.kde.kwin.Script") && member == QLatin1String("run")) {
        const QString prefix = m_plasma == Plasma::six ? QStringLiteral("/Scripting/Script") : QStringLiteral("/");
        bool isNumber = false;
        const int id = message.path().mid(prefix.size()).toInt(&isNumber);
        if (message.path().startsWith(prefix) && isNumber && m_scripts.contains(id)) {
            connection.send(message.createReply());
            check(m_engine.evaluate(QString::fromUtf8(readFile(m_scripts.value(id))), m_scripts.value(id)));
            return true;
        }
    }
    return connection.send(message.createErrorReply(QDBusError::UnknownObject, QStringLiteral("no such object")));
}

} // namespace velmora::test
