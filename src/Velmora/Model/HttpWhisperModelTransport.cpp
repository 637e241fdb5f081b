#include "HttpWhisperModelTransport.h"

#include "ModelDownloadReceiver.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace velmora {

std::optional<WhisperModelDownloadError> HttpWhisperModelTransport::fetch(const QUrl& url, qint64 offset, qint64 limit,
                                                                          const QString& destination,
                                                                          const Progress& progress,
                                                                          DownloadCancellation& cancellation)
{
    if (cancellation.isCancelled())
        return WhisperModelDownloadError::cancelled();

    // Everything here belongs to the calling worker thread and its own event loop.
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_idleTimeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (offset > 0)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + '-');

    QNetworkReply* reply = manager.get(request);
    // Bounded buffering: the body goes to disk, never piles up in memory.
    reply->setReadBufferSize(4 * 1024 * 1024);
    ModelDownloadReceiver receiver(destination, offset, limit, progress);
    bool headChecked = false;
    const auto checkHead = [&] {
        if (headChecked)
            return receiver.failure() == std::nullopt;
        headChecked = true;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        return receiver.openDestination(status, reply->rawHeader("Content-Range"));
    };

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (!checkHead() || !receiver.receive(reply->readAll()))
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    cancellation.setHook([reply] { QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection); });
    if (!reply->isFinished())
        loop.exec();
    cancellation.setHook({});

    if (!headChecked && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        checkHead();
    // What arrived before the end stays ours, even when the end was an error.
    if (headChecked && !receiver.failure() && reply->bytesAvailable() > 0)
        receiver.receive(reply->readAll());
    const auto failure = receiver.finish();
    const auto error = reply->error();
    const QString errorText = reply->errorString();
    delete reply;

    if (failure)
        return failure;
    if (cancellation.isCancelled())
        return WhisperModelDownloadError::cancelled();
    // A server that closes the connection inside the body is an early end,
    // however Qt happened to see it (an error, or a finished reply): the
    // installer then reports what arrived against what was expected.
    const bool endedInsideTheBody = headChecked && error == QNetworkReply::RemoteHostClosedError;
    if (error != QNetworkReply::NoError && !endedInsideTheBody)
        return WhisperModelDownloadError::network(errorText);
    receiver.reportWritten();
    return std::nullopt;
}

} // namespace velmora
