#include "UpdateTransport.h"

#include "Platform/LogCategories.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QThread>

#include <memory>

namespace AppUpdater {

QString describe(UpdateDownloadError error)
{
    switch (error) {
    case UpdateDownloadError::notHttps:
        return QStringLiteral("The update is not offered over a secure connection; it was not downloaded.");
    case UpdateDownloadError::failed:
        return QStringLiteral("The update could not be downloaded. Check the connection and try again.");
    case UpdateDownloadError::wrongLength:
        return QStringLiteral("The downloaded update does not have the size the feed announced; it was not installed.");
    case UpdateDownloadError::notWritable:
        return QStringLiteral("The update could not be saved on this computer.");
    }
    return {};
}

namespace {

constexpr int quietLimitMs = 5000;
constexpr qint64 feedLimit = 4 * 1024 * 1024;

QNetworkRequest requestFor(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(quietLimitMs);
    request.setSslConfiguration(UpdateTransport::sslConfiguration());
    return request;
}

// On the download's own thread, with a network and an event loop of its own.
std::optional<UpdateDownloadError> fetchArchive(const QUrl& url, qint64 length, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return UpdateDownloadError::notWritable;
    QNetworkAccessManager network;
    network.setCache(nullptr);
    std::unique_ptr<QNetworkReply> reply(network.get(requestFor(url)));
    std::optional<UpdateDownloadError> error;
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        const QByteArray chunk = reply->readAll();
        if (file.size() + chunk.size() > length) {
            error = UpdateDownloadError::wrongLength; // more than announced: stop here
            reply->abort();
            return;
        }
        if (file.write(chunk) != chunk.size()) {
            error = UpdateDownloadError::notWritable;
            reply->abort();
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished()) {
        // The transport is going: what came so far stays, to be cleared at the next start.
        reply->abort();
        return UpdateDownloadError::failed;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool flushed = file.flush();
    file.close();
    if (!error && (reply->error() != QNetworkReply::NoError || status != 200)) {
        // The user's text says only that it failed; the log keeps why.
        qCWarning(velmora::logging::updates, "The archive %s was not downloaded: %s (status %d)",
                  qPrintable(url.toDisplayString()), qPrintable(reply->errorString()), status);
        error = UpdateDownloadError::failed;
    }
    if (!error && !flushed)
        error = UpdateDownloadError::notWritable;
    if (!error && file.size() != length)
        error = UpdateDownloadError::wrongLength;
    if (error)
        file.remove();
    return error;
}

} // namespace

UpdateTransport::UpdateTransport(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setCache(nullptr);
}

QSslConfiguration UpdateTransport::sslConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QByteArray extra = qgetenv("SSL_CERT_FILE");
    if (!extra.isEmpty()) {
        QList<QSslCertificate> authorities = QSslConfiguration::systemCaCertificates();
        authorities += QSslCertificate::fromPath(QString::fromLocal8Bit(extra));
        configuration.setCaCertificates(authorities);
    }
    return configuration;
}

void UpdateTransport::fetchFeed(const QUrl& url, std::function<void(std::optional<QByteArray>)> done)
{
    if (url.scheme() != QLatin1String("https")) {
        done(std::nullopt);
        return;
    }
    QNetworkRequest request = requestFor(url);
    request.setRawHeader("Accept", "application/rss+xml");
    QNetworkReply* reply = m_network->get(request);
    // A feed is a few kilobytes; a server that sends without end is cut off, not buffered.
    auto tooLarge = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::downloadProgress, this, [reply, tooLarge](qint64 received, qint64 total) {
        if (!*tooLarge && (received > feedLimit || total > feedLimit)) {
            *tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, tooLarge, done = std::move(done)] {
        reply->deleteLater();
        if (*tooLarge) {
            qCWarning(velmora::logging::updates, "The feed %s is larger than %lld bytes; it was not read",
                      qPrintable(reply->url().toDisplayString()), feedLimit);
            done(std::nullopt);
            return;
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status != 200) {
            qCWarning(velmora::logging::updates, "The feed %s was not read: %s (status %d)",
                      qPrintable(reply->url().toDisplayString()), qPrintable(reply->errorString()), status);
            done(std::nullopt);
            return;
        }
        done(reply->readAll());
    });
}

void UpdateTransport::download(const QUrl& url, qint64 length, const QString& path,
                               std::function<void(std::optional<UpdateDownloadError>)> done)
{
    if (url.scheme() != QLatin1String("https")) {
        done(UpdateDownloadError::notHttps);
        return;
    }
    auto holder = std::make_shared<QThread*>(nullptr);
    QThread* thread = QThread::create([this, url, length, path, holder, done = std::move(done)] {
        const auto error = fetchArchive(url, length, path);
        // Runs unless the transport is going: its destructor waits for this thread first.
        QMetaObject::invokeMethod(this, [this, thread = *holder, error, done] {
            m_downloads.removeOne(thread);
            thread->wait();
            delete thread;
            done(error);
        }, Qt::QueuedConnection);
    });
    *holder = thread;
    m_downloads.append(thread);
    thread->start();
}

UpdateTransport::~UpdateTransport()
{
    // Ends each download's event loop, even one not yet started; what came so far stays.
    for (QThread* thread : std::as_const(m_downloads))
        thread->quit();
    for (QThread* thread : std::as_const(m_downloads)) {
        thread->wait();
        delete thread;
    }
}

} // namespace AppUpdater
