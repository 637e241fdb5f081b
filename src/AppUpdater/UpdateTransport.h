#pragma once

#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QThread;

namespace AppUpdater {

// Why a download was not kept, in the user's words.
enum class UpdateDownloadError { notHttps, failed, wrongLength, notWritable };
QString describe(UpdateDownloadError error);

// The update engine's network: the feed and the archive over HTTPS only,
// nothing cached, 5 s without progress ends a request. Called on the main
// thread, answers arrive there; the archive is fetched and written on a thread
// of its own, so a slow disk never stalls the main thread. Certificates are
// checked against the system's authorities and those of SSL_CERT_FILE, the
// process's own setting; never switched off.
class UpdateTransport : public QObject {
    Q_OBJECT
public:
    explicit UpdateTransport(QObject* parent = nullptr);
    // Ends a download in progress (its partial file stays, as after a kill) without answering it.
    ~UpdateTransport() override;

    // The feed's bytes; none after a transport error, an answer other than 200, 5 s of silence, or
    // more than 4 MiB.
    void fetchFeed(const QUrl& url, std::function<void(std::optional<QByteArray>)> done);
    // The archive into `file`, which must come to exactly `length` bytes.
    void download(const QUrl& url, qint64 length, const QString& file,
                  std::function<void(std::optional<UpdateDownloadError>)> done);

    static QSslConfiguration sslConfiguration();

private:
    QNetworkAccessManager* m_network;
    QList<QThread*> m_downloads; // the archives on their way
};

} // namespace AppUpdater
