#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QJSEngine>
#include <QMap>
#include <QStringList>
#include <QVariantMap>

namespace velmora::test {

// KWin's scripting service as Plasma offers it on the session bus
// (org.kde.kwin.Scripting at /Scripting: loadScript, unloadScript; a loaded
// script's run at /Scripting/Script<id> on Plasma 6, /<id> on Plasma 5), from a
// connection of its own. A script it runs is real JavaScript, run by Qt's
// engine against a workspace shaped like the Plasma version's, and its callDBus
// goes out on the bus; activate() is KWin's activation of a window.
class KWinStandIn : public QDBusVirtualObject {
    Q_OBJECT
public:
    enum class Plasma { five, six };

    explicit KWinStandIn(Plasma plasma = Plasma::six);
    ~KWinStandIn() override;

    bool isServing() const { return m_serving; }
    QString uniqueName() const { return m_bus.baseService(); }
    QStringList calls;                 // method names, in order
    QMap<QString, QString> loaded;     // plugin name → script path, while loaded
    QStringList scriptErrors;          // uncaught exceptions of the scripts
    bool refuseScripts = false;        // loadScript answers -1

    // `window` (resourceClass, resourceName, caption, pid, internalId) becomes the active one; empty for none.
    void activate(const QVariantMap& window);

    // What the scripts' callDBus reaches.
    Q_INVOKABLE void callDBus(const QString& service, const QString& path, const QString& interface,
                              const QString& method, const QVariantList& arguments);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void check(const QJSValue& result);

    Plasma m_plasma;
    QDBusConnection m_bus;
    QJSEngine m_engine;
    QMap<int, QString> m_scripts; // id → path
    int m_lastId = 0;
    bool m_serving = false;
};

} // namespace velmora::test
