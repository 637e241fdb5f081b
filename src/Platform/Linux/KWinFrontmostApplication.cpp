#include "KWinFrontmostApplication.h"

#include "ApplicationName.h"
#include "PrivateTemporaryFolder.h"

#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QSaveFile>
#include <QThreadPool>

namespace velmora::platform {
namespace {

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString scriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString objectPath = QStringLiteral("/org/velmora/ActiveWindow");

// Written where only this user may read, KWin runs as the user.
std::optional<QString> writeScript(const QString& text)
{
    const auto folder = PrivateTemporaryFolder::ensure();
    if (!std::holds_alternative<QString>(folder))
        return std::nullopt;
    QSaveFile file(std::get<QString>(folder) + QStringLiteral("/kwin-active-window.js"));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return std::nullopt;
    return file.fileName();
}

} // namespace

QString KWinFrontmostApplication::script(const QString& service)
{
    // Plasma 6 names windows `window` (windowActivated, activeWindow), Plasma 5 `client`.
    // Every value goes as a string: KWin passes script numbers on as doubles.
    return QStringLiteral(R"(const velmora = ["%1", "%2", "org.velmora.ActiveWindow", "Activated"];
function report(window) {
    if (!window) {
        callDBus(velmora[0], velmora[1], velmora[2], velmora[3], "", "", "", "", "");
        return;
    }
    callDBus(velmora[0], velmora[1], velmora[2], velmora[3], String(window.resourceClass || ""),
             String(window.resourceName || ""), String(window.caption || ""), String(window.pid || 0),
             String(window.internalId));
}
(workspace.windowActivated || workspace.clientActivated).connect(report);
report(workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient);
)")
        .arg(service, objectPath);
}

KWinFrontmostApplication::KWinFrontmostApplication(std::unique_ptr<FrontmostApplicationSource> fallback, QDBusConnection bus)
    : m_fallback(std::move(fallback))
    , m_bus(std::move(bus))
{
    if (!m_bus.isConnected() || !m_bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        qCWarning(logging::session) << "cannot follow KWin's active window: no session bus";
        return;
    }
    connect(this, &KWinFrontmostApplication::failed, this, [](const QString& reason) {
        qCWarning(logging::session).noquote() << "cannot follow KWin's active window:" << reason;
    });
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &KWinFrontmostApplication::unload);
    QThreadPool::globalInstance()->start([self = QPointer(this), text = script(m_bus.baseService())] {
        const auto path = writeScript(text);
        postToMainThread([self, path] {
            if (!self)
                return;
            if (!path)
                return emit self->failed(QStringLiteral("the script could not be written"));
            self->load(*path);
        });
    });
}

KWinFrontmostApplication::~KWinFrontmostApplication()
{
    unload();
    m_bus.unregisterObject(objectPath);
}

std::optional<FrontmostApplication> KWinFrontmostApplication::current()
{
    if (m_following)
        return m_active;
    return m_fallback ? m_fallback->current() : std::nullopt;
}

void KWinFrontmostApplication::Activated(const QString& resourceClass, const QString& resourceName, const QString& caption,
                                         const QString& pid, const QString& id)
{
    // Only KWin itself may say which window is active.
    if (m_kwin.isEmpty() || message().service() != m_kwin)
        return;
    m_following = true;
    if (id.isEmpty()) {
        m_active.reset();
        return;
    }
    FrontmostApplication window;
    window.window = m_windows.value(id);
    if (window.window == 0) {
        window.window = std::uint32_t(m_windows.size() + 1);
        m_windows.insert(id, window.window);
    }
    if (const int process = pid.toInt(); process > 0)
        window.processId = process;
    // KWin's class is the X11 class or the Wayland app_id; its name the X11 instance. The caption is
    // the window's title and is not kept.
    Q_UNUSED(caption);
    if (!resourceClass.isEmpty()) {
        window.identifier = resourceClass;
        window.name = ApplicationName::of(resourceClass);
    }
    window.instance = resourceName.isEmpty() ? window.identifier : std::optional<QString>(resourceName);
    m_active = window;
}

void KWinFrontmostApplication::load(const QString& scriptPath)
{
    // A copy that did not quit cleanly may have left its script behind; KWin refuses a second of the same name.
    QDBusMessage unloadOld = QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"), scriptingInterface,
                                                            QStringLiteral("unloadScript"));
    unloadOld << QLatin1String(pluginName);
    auto* cleared = new QDBusPendingCallWatcher(m_bus.asyncCall(unloadOld, 2000), this);
    connect(cleared, &QDBusPendingCallWatcher::finished, this, [this, cleared, scriptPath] {
        cleared->deleteLater();
        if (cleared->isError())
            return emit failed(QStringLiteral("KWin's scripting is not there: ") + cleared->error().message());
        QDBusMessage loadScript = QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"),
                                                                 scriptingInterface, QStringLiteral("loadScript"));
        loadScript << scriptPath << QLatin1String(pluginName);
        auto* loaded = new QDBusPendingCallWatcher(m_bus.asyncCall(loadScript, 2000), this);
        connect(loaded, &QDBusPendingCallWatcher::finished, this, [this, loaded] {
            loaded->deleteLater();
            const QDBusMessage reply = loaded->reply();
            const int id = reply.arguments().value(0).toInt();
            if (loaded->isError() || reply.arguments().isEmpty() || id < 0)
                return emit failed(QStringLiteral("KWin did not load the script"));
            m_kwin = reply.service();
            run(id, false);
        });
    });
}

void KWinFrontmostApplication::run(int scriptId, bool plasma5Path)
{
    // Plasma 6 puts a loaded script at /Scripting/Script<id>, Plasma 5 at /<id>.
    const QString path = plasma5Path ? QStringLiteral("/%1").arg(scriptId) : QStringLiteral("/Scripting/Script%1").arg(scriptId);
    QDBusMessage start = QDBusMessage::createMethodCall(kwinService, path, QStringLiteral("org.kde.kwin.Script"),
                                                        QStringLiteral("run"));
    auto* started = new QDBusPendingCallWatcher(m_bus.asyncCall(start, 2000), this);
    connect(started, &QDBusPendingCallWatcher::finished, this, [this, started, scriptId, plasma5Path] {
        started->deleteLater();
        if (!started->isError()) {
            qCInfo(logging::session) << "following KWin's active window";
            return;
        }
        if (!plasma5Path)
            return run(scriptId, true);
        emit failed(QStringLiteral("KWin did not run the script: ") + started->error().message());
    });
}

void KWinFrontmostApplication::unload()
{
    if (m_kwin.isEmpty())
        return;
    QDBusMessage unloadScript = QDBusMessage::createMethodCall(m_kwin, QStringLiteral("/Scripting"), scriptingInterface,
                                                               QStringLiteral("unloadScript"));
    unloadScript << QLatin1String(pluginName);
    m_kwin.clear();
    m_following = false;
    // At quit: a moment's wait, so the message leaves before the connection closes.
    m_bus.call(unloadScript, QDBus::Block, 300);
}

} // namespace velmora::platform
