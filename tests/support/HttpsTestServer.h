#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>
#include <QUrl>

#include <optional>

class QSslServer;
class QSslSocket;

namespace velmora::test {

// An HTTPS server on loopback with a certificate made here (OpenSSL), for the
// update engine's tests. `caFile()` is the certificate as PEM, to be trusted
// through SSL_CERT_FILE, never by switching verification off.
class HttpsTestServer : public QObject {
    Q_OBJECT
public:
    struct Route {
        int status = 200;
        QByteArray body;
        std::optional<qint64> announcedLength; // a Content-Length that differs from the body
        bool silent = false;                   // accepts, then never answers
        std::optional<qint64> stallAfter;      // sends this much of the body, then a byte a second
    };

    HttpsTestServer();
    ~HttpsTestServer() override;

    void route(const QString& path, Route route) { m_routes.insert(path, std::move(route)); }
    QUrl url(const QString& path) const;
    QString caFile() const { return m_caFile; }
    int requests(const QString& path) const { return m_counts.value(path); }

private:
    void answer(QSslSocket* socket);

    QTemporaryDir m_dir;
    QString m_caFile;
    QSslServer* m_server;
    QHash<QString, Route> m_routes;
    QHash<QString, int> m_counts;
};

} // namespace velmora::test
