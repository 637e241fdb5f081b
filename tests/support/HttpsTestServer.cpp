#include "HttpsTestServer.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <gtest/gtest.h>

#include <memory>

namespace velmora::test {

namespace {

QByteArray pem(const std::function<int(BIO*)>& write)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    EXPECT_EQ(write(bio.get()), 1);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(size));
}

// A self-signed certificate for localhost and 127.0.0.1, valid for a day.
std::pair<QByteArray, QByteArray> makeCertificate()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    EXPECT_NE(key, nullptr);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> ownedKey(key, &EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), &X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), long(QDateTime::currentSecsSinceEpoch()));
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
    for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1"},
                                     std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        EXPECT_NE(extension, nullptr);
        X509_add_ext(cert.get(), extension, -1);
        X509_EXTENSION_free(extension);
    }
    EXPECT_GT(X509_sign(cert.get(), key, EVP_sha256()), 0);
    const QByteArray certificate = pem([&](BIO* bio) { return PEM_write_bio_X509(bio, cert.get()); });
    const QByteArray privateKey = pem([&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    });
    return {certificate, privateKey};
}

} // namespace

HttpsTestServer::HttpsTestServer()
    : m_server(new QSslServer(this))
{
    const auto [certificate, privateKey] = makeCertificate();
    m_caFile = m_dir.path() + "/ca.pem";
    QFile file(m_caFile);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(certificate);
    file.close();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(certificate));
    configuration.setPrivateKey(QSslKey(privateKey, QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // the server asks no client certificate
    m_server->setSslConfiguration(configuration);
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket* next = m_server->nextPendingConnection()) {
            auto* socket = qobject_cast<QSslSocket*>(next);
            connect(socket, &QSslSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    EXPECT_TRUE(m_server->listen(QHostAddress::LocalHost, 0));
}

HttpsTestServer::~HttpsTestServer() = default;

QUrl HttpsTestServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("https://localhost:%1%2").arg(m_server->serverPort()).arg(path));
}

void HttpsTestServer::answer(QSslSocket* socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    const QString path = QString::fromLatin1(request.split(' ').value(1));
    ++m_counts[path];
    const auto found = m_routes.constFind(path);
    const Route route = found == m_routes.cend() ? Route{404, "not here"} : *found;
    if (route.silent)
        return;
    const qint64 length = route.announcedLength.value_or(route.body.size());
    // Sent piece by piece as the socket drains, as a real server streams a file: written at once,
    // the whole archive is encrypted before its first byte leaves, which on a loaded machine is
    // longer than the client waits for progress.
    struct Outgoing {
        QByteArray data;
        qint64 sent = 0;
        qint64 end = 0; // where the steady part stops; a trickle follows up to data's end
    };
    auto outgoing = std::make_shared<Outgoing>();
    outgoing->data = "HTTP/1.1 " + QByteArray::number(route.status) + " Answer\r\nContent-Length: "
                     + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n" + route.body;
    outgoing->end = outgoing->data.size() - route.body.size() + route.stallAfter.value_or(route.body.size());
    const bool trickles = route.stallAfter.has_value();
    auto pump = [socket, outgoing, trickles] {
        constexpr qint64 piece = 256 * 1024;
        while (outgoing->sent < outgoing->end && socket->bytesToWrite() + socket->encryptedBytesToWrite() < 2 * piece) {
            const qint64 size = std::min(piece, outgoing->end - outgoing->sent);
            socket->write(outgoing->data.constData() + outgoing->sent, size);
            outgoing->sent += size;
        }
        if (outgoing->sent == outgoing->end && !trickles && socket->state() == QAbstractSocket::ConnectedState)
            socket->disconnectFromHost();
    };
    connect(socket, &QSslSocket::encryptedBytesWritten, socket, pump);
    pump();
    if (!trickles)
        return;
    // A byte a second after that: slow enough to be caught mid-way, alive enough for any time-out.
    auto* trickle = new QTimer(socket);
    connect(trickle, &QTimer::timeout, socket, [socket, outgoing] {
        if (outgoing->sent == outgoing->end && outgoing->sent < outgoing->data.size()) {
            socket->write(outgoing->data.mid(outgoing->sent++, 1));
            ++outgoing->end;
        }
    });
    trickle->start(1000);
}

} // namespace velmora::test
