#include "NotificationBus.h"

#include "TestSupport.h"

#include <QDBusError>
#include <QDir>

namespace velmora::test {

PrivateBus::PrivateBus(const QString& activatableExec)
{
    QString serviceDir;
    if (!activatableExec.isEmpty()) {
        QDir().mkpath(m_dir.path() + "/services");
        test::writeFile(m_dir.path() + "/services/notify.service",
                        "[D-BUS Service]\nName=org.freedesktop.Notifications\nExec=" + activatableExec.toUtf8() + "\n");
        serviceDir = "<servicedir>" + m_dir.path() + "/services</servicedir>";
    }
    test::writeFile(m_dir.path() + "/bus.conf",
                    ("<busconfig><type>session</type><listen>unix:dir=" + m_dir.path() + "</listen>" + serviceDir
                     + "<policy context=\"default\"><allow send_destination=\"*\"/><allow own=\"*\"/>"
                       "<allow receive_sender=\"*\"/></policy></busconfig>")
                        .toUtf8());
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + m_dir.path() + "/bus.conf", QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (m_daemon.waitForReadyRead(5000))
        address = QString::fromUtf8(m_daemon.readLine().trimmed());
}
PrivateBus::~PrivateBus()
{
    m_daemon.kill();
    m_daemon.waitForFinished();
}

bool RecordingServer::serveOn(QDBusConnection bus)
{
    return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots)
        && bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

uint RecordingServer::Notify(const QString& appName, uint replacesId, const QString&, const QString& summary,
                             const QString& body, const QStringList&, const QVariantMap& hints, int)
{
    calls.push_back({appName, replacesId, summary, body, hints});
    if (fail) {
        sendErrorReply(QDBusError::Failed, QStringLiteral("refused"));
        return 0;
    }
    answered.push_back(replacesId != 0 ? replacesId : ++nextId);
    return answered.back();
}

} // namespace velmora::test
