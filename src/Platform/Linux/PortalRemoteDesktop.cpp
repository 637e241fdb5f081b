#include "PortalRemoteDesktop.h"

#include "DesktopPortal.h"

#include "Platform/LogCategories.h"

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

namespace velmora::platform {
namespace {

const QString interface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr uint keyboardDevice = 1;
constexpr uint persistUntilRevoked = 2;

PortalRemoteDesktop* sharedSession = nullptr;

} // namespace

PortalRemoteDesktop::PortalRemoteDesktop(TokenStore tokens, QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_tokens(std::move(tokens))
    , m_bus(std::move(bus))
{
}

PortalRemoteDesktop::~PortalRemoteDesktop()
{
    if (sharedSession == this)
        sharedSession = nullptr;
    const QMutexLocker locker(&m_lock);
    if (!m_session.isEmpty() && m_bus.isConnected())
        m_bus.asyncCall(QDBusMessage::createMethodCall(DesktopPortal::service, m_session,
                                                       QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
}

PortalRemoteDesktop* PortalRemoteDesktop::shared()
{
    return sharedSession;
}

void PortalRemoteDesktop::prepare(TokenStore tokens)
{
    if (sharedSession)
        return;
    sharedSession = new PortalRemoteDesktop(std::move(tokens), QDBusConnection::sessionBus(), QCoreApplication::instance());
    sharedSession->start();
}

void PortalRemoteDesktop::start()
{
    if (!m_bus.isConnected())
        return fail();
    m_createRequest = request(QStringLiteral("CreateSession"), {},
                              {{QStringLiteral("session_handle_token"), QStringLiteral("velmora%1").arg(++m_tokensMade)}});
}

bool PortalRemoteDesktop::isStarted() const
{
    const QMutexLocker locker(&m_lock);
    return m_started;
}

QString PortalRemoteDesktop::request(const QString& method, const QVariantList& arguments, QVariantMap options)
{
    return DesktopPortal::request(m_bus, interface, method, arguments, std::move(options),
                                  QStringLiteral("velmora%1").arg(++m_tokensMade), this,
                                  SLOT(response(uint, QVariantMap, QDBusMessage)), [this, method](const QString& error) {
                                      qCWarning(logging::session).noquote() << "the portal refused" << method << error;
                                      fail();
                                  });
}

void PortalRemoteDesktop::response(uint code, const QVariantMap& results, const QDBusMessage& message)
{
    const QString path = message.path();
    DesktopPortal::forget(m_bus, path, this, SLOT(response(uint, QVariantMap, QDBusMessage)));
    if (code != 0)
        return fail(); // the user said no, or the desktop could not
    if (path == m_createRequest) {
        const QString session = DesktopPortal::handleOf(results.value(QStringLiteral("session_handle")));
        {
            const QMutexLocker locker(&m_lock);
            m_session = session;
        }
        QVariantMap options{{QStringLiteral("types"), keyboardDevice}, {QStringLiteral("persist_mode"), persistUntilRevoked}};
        if (const QString token = m_tokens.load ? m_tokens.load() : QString(); !token.isEmpty())
            options.insert(QStringLiteral("restore_token"), token);
        m_selectRequest = request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session))}, options);
    } else if (path == m_selectRequest) {
        QString session;
        {
            const QMutexLocker locker(&m_lock);
            session = m_session;
        }
        m_startRequest = request(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session)), QString()}, {});
    } else if (path == m_startRequest) {
        if (!(results.value(QStringLiteral("devices")).toUInt() & keyboardDevice))
            return fail();
        // Kept for the next start, which then is not asked again (where the desktop gives one).
        if (const QString token = results.value(QStringLiteral("restore_token")).toString(); !token.isEmpty() && m_tokens.save)
            m_tokens.save(token);
        {
            const QMutexLocker locker(&m_lock);
            m_started = true;
        }
        emit started();
    }
}

void PortalRemoteDesktop::fail()
{
    {
        const QMutexLocker locker(&m_lock);
        m_started = false;
    }
    emit failed();
}

bool PortalRemoteDesktop::sendKeysym(int keysym, bool pressed)
{
    QString session;
    {
        const QMutexLocker locker(&m_lock);
        if (!m_started)
            return false;
        session = m_session;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(DesktopPortal::service, DesktopPortal::desktopPath, interface,
                                                         QStringLiteral("NotifyKeyboardKeysym"));
    notify << QVariant::fromValue(QDBusObjectPath(session)) << QVariantMap{} << keysym << uint(pressed ? 1 : 0);
    return m_bus.call(notify, QDBus::Block, 1000).type() == QDBusMessage::ReplyMessage;
}

} // namespace velmora::platform
