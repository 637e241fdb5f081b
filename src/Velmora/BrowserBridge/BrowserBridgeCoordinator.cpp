#include "BrowserBridgeCoordinator.h"

#include "BrowserBridgeManifest.h"

#include "Preferences/PreferenceKeys.h"
#include "Paths/VelmoraPaths.h"

#include "Platform/Linux/JsonFilePreferencesStore.h"
#include "Platform/Linux/MainBundle.h"
#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"
#include "Platform/PreferencesStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>

namespace velmora {
namespace {

bool isResult(const BrowserBridgeEvent& event)
{
    using Kind = BrowserBridgeEvent::Kind;
    return event.kind == Kind::completed || event.kind == Kind::empty || event.kind == Kind::canceled
        || event.kind == Kind::failed;
}

} // namespace

BrowserBridgeCoordinator::BrowserBridgeCoordinator(platform::PreferencesStore* defaults, std::optional<QString> home,
                                                   std::optional<std::optional<QString>> executablePath,
                                                   std::optional<QString> socketPath, std::optional<bool> allowAnyPath,
                                                   QObject* parent)
    : QObject(parent)
    , m_ownedDefaults(defaults ? nullptr : platform::JsonFilePreferencesStore::standard())
    , m_defaults(defaults ? defaults : m_ownedDefaults.get())
    , m_home(home.value_or(QDir::homePath()))
    , m_executablePath(executablePath ? *executablePath : platform::MainBundle::current(std::nullopt).executablePath)
    , m_socketPath(socketPath.value_or(VelmoraPaths::bridgeSocketPath()))
    , m_allowAnyPath(allowAnyPath.value_or(qgetenv("VELMORA_BRIDGE_ALLOW_ANY_PATH") == "1"))
    , m_isEnabled(m_defaults->boolValue(PreferenceKeys::browserIntegration).value_or(true))
{
}

BrowserBridgeCoordinator::~BrowserBridgeCoordinator()
{
    // Joins the server's threads: no callback can reach this object afterwards.
    m_server.reset();
}

void BrowserBridgeCoordinator::setEnabled(bool enabled)
{
    if (enabled == m_isEnabled)
        return;
    m_isEnabled = enabled;
    if (const auto error = m_defaults->setBool(PreferenceKeys::browserIntegration, enabled))
        qCWarning(logging::preferences).noquote() << "the browser integration setting was not saved:"
                                                   << platform::describe(*error);
    emit isEnabledChanged(enabled);
    apply();
}

void BrowserBridgeCoordinator::setStatus(const QString& status)
{
    if (status == m_status)
        return;
    m_status = status;
    emit statusChanged(status);
}

void BrowserBridgeCoordinator::apply()
{
    if (!m_isEnabled) {
        stop();
        setStatus(BrowserBridgeManifest::remove().text());
        return;
    }
    const auto manifest = BrowserBridgeManifest::install(m_executablePath, m_home, m_allowAnyPath);
    if (!m_server && m_controller) {
        auto server = makeServer(++m_generation);
        if (const auto error = server->start()) {
            setStatus(QStringLiteral("Bridge socket failed: ") + error->description());
            return;
        }
        m_server = std::move(server);
    }
    setStatus(manifest.text());
}

std::unique_ptr<BrowserBridgeServer> BrowserBridgeCoordinator::makeServer(quint64 generation)
{
    QPointer<BrowserBridgeCoordinator> self(this);
    return std::make_unique<BrowserBridgeServer>(
        m_socketPath,
        [self, generation](const BrowserBridgeRequest& request, const std::shared_ptr<BrowserBridgeConnection>& connection) {
            platform::postToMainThread([self, generation, request, connection] {
                if (self)
                    self->handle(request, connection, generation);
            });
        },
        [self](const std::shared_ptr<BrowserBridgeConnection>& connection) {
            platform::postToMainThread([self, connection] {
                if (self)
                    self->disconnected(connection);
            });
        });
}

void BrowserBridgeCoordinator::stop()
{
    ++m_generation; // requests still on their way from the old server are refused
    if (m_server) {
        m_server->stop();
        m_server.reset();
    }
    clearActiveAndCancel();
}

void BrowserBridgeCoordinator::clearActiveAndCancel()
{
    if (!m_activeSessionID)
        return;
    const QString id = *m_activeSessionID;
    m_activeSessionID.reset();
    m_activeConnection.reset();
    if (m_controller)
        m_controller->cancelBrowserSession(id);
}

void BrowserBridgeCoordinator::handle(const BrowserBridgeRequest& request,
                                      const std::shared_ptr<BrowserBridgeConnection>& connection, quint64 generation)
{
    if (!m_controller || !m_isEnabled || generation != m_generation || !m_server) {
        m_sends->send(connection, BrowserBridgeEvent::failed(request.session, BrowserBridgeFailureCode::bridgeDisabled,
                                                             BrowserBridgeMessages::bridgeDisabled));
        return;
    }
    const bool owns = m_activeConnection == connection && m_activeSessionID == request.session;
    switch (request.kind) {
    case BrowserBridgeRequest::Kind::stop:
        if (owns)
            m_controller->stopBrowserSession(request.session);
        return;
    case BrowserBridgeRequest::Kind::cancel:
        if (owns)
            m_controller->cancelBrowserSession(request.session);
        return;
    case BrowserBridgeRequest::Kind::start:
        break;
    }
    // Only an accepted start owns the session: a refusal sent while the
    // controller decides must not end someone else's session.
    auto isOwner = std::make_shared<bool>(false);
    QPointer<BrowserBridgeCoordinator> self(this);
    const QString id = request.session;
    auto sends = m_sends;
    const bool accepted = m_controller->startBrowserSession(
        id, [self, sends, connection, isOwner, id](const BrowserBridgeEvent& event) {
            sends->send(connection, event);
            if (isResult(event) && *isOwner && self && self->m_activeSessionID == id) {
                self->m_activeSessionID.reset();
                self->m_activeConnection.reset();
            }
        });
    if (accepted) {
        *isOwner = true;
        m_activeSessionID = id;
        m_activeConnection = connection;
    }
}

void BrowserBridgeCoordinator::disconnected(const std::shared_ptr<BrowserBridgeConnection>& connection)
{
    if (m_activeSessionID && m_activeConnection == connection)
        clearActiveAndCancel();
}

} // namespace velmora
