#pragma once

#include "Platform/FrontmostApplicationSource.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QHash>
#include <QObject>

#include <memory>

namespace velmora::platform {

// The active window as KWin (KDE Plasma 5 and 6) tells it: Velmora loads a
// small script into KWin that calls back over the session bus at each
// activation, with the window's class, title, process and id. Everything is
// asynchronous; until the script has spoken, and where KWin will not run it,
// `fallback` answers.
class KWinFrontmostApplication final : public QObject, public FrontmostApplicationSource, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.velmora.ActiveWindow")
public:
    static constexpr const char* pluginName = "velmora-active-window";

    KWinFrontmostApplication(std::unique_ptr<FrontmostApplicationSource> fallback,
                             QDBusConnection bus = QDBusConnection::sessionBus());
    ~KWinFrontmostApplication() override;

    std::optional<FrontmostApplication> current() override;
    // The script runs in KWin and has told at least once.
    bool isFollowing() const { return m_following; }

    // The script, with the bus name and object it calls back.
    static QString script(const QString& service);

public Q_SLOTS:
    // Called by the script; an empty id means no window is active.
    Q_SCRIPTABLE void Activated(const QString& resourceClass, const QString& resourceName, const QString& caption,
                                const QString& pid, const QString& id);

Q_SIGNALS:
    void failed(const QString& reason);

private:
    void load(const QString& scriptPath);
    void run(int scriptId, bool plasma5Path);
    void unload();

    std::unique_ptr<FrontmostApplicationSource> m_fallback;
    QDBusConnection m_bus;
    QString m_kwin; // KWin's unique bus name, from its answer to loadScript
    bool m_following = false;
    std::optional<FrontmostApplication> m_active;
    QHash<QString, std::uint32_t> m_windows; // KWin's window ids, numbered as they appear
};

} // namespace velmora::platform
