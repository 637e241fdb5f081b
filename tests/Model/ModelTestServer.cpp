#include "ModelTestServer.h"

#include "TestSupport.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>

ModelTestServer::ModelTestServer()
{
    m_body.resize(modelSize);
    QRandomGenerator random(1234);
    random.fillRange(reinterpret_cast<quint32*>(m_body.data()), modelSize / 4);
    velmora::test::writeFile(modelFile(), m_body);
    // The expected checksum comes from another implementation than the one under test.
    const auto sum = velmora::test::runProcess(QStringLiteral("sha256sum"), {modelFile()});
    m_sha256 = QString::fromLatin1(sum.standardOutput.left(64));
    m_process.start(QStringLiteral("python3"), {QStringLiteral(VELMORA_MODEL_SERVER), modelFile()});
    m_process.waitForReadyRead(10000);
    m_port = m_process.readLine().trimmed().toInt();
    if (m_port == 0)
        qFatal("the model server did not start: %s", m_process.readAllStandardError().constData());
}

ModelTestServer::~ModelTestServer()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString ModelTestServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

velmora::PinnedWhisperModel ModelTestServer::pinned(const QString& path) const
{
    return {QStringLiteral("test-model.bin"), QUrl(url(path)), m_sha256, modelSize};
}

QJsonArray ModelTestServer::requests() const
{
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url(QStringLiteral("/_requests")))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonArray result = QJsonDocument::fromJson(reply->readAll()).array();
    delete reply;
    return result;
}
