#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <vector>

namespace velmora::test {

// A session bus of our own: nothing on it but what a test puts there, and only
// the services whose files the test writes can be started.
class PrivateBus {
public:
    explicit PrivateBus(const QString& activatableExec = {});
    ~PrivateBus();
    QDBusConnection connect(const QString& name) const { return QDBusConnection::connectToBus(address, name); }

    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

// A notification server that writes down every call.
class RecordingServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesId;
        QString summary;
        QString body;
        QVariantMap hints;
    };
    std::vector<Call> calls;
    std::vector<uint> answered;
    uint nextId = 41;
    bool fail = false;

    // Owns org.freedesktop.Notifications on the bus; false when it cannot.
    bool serveOn(QDBusConnection bus);

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
};

} // namespace velmora::test
