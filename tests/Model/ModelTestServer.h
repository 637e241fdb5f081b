#pragma once

#include "Model/PinnedWhisperModel.h"

#include <QByteArray>
#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The loopback model server of model_server.py, serving a made-up model.
class ModelTestServer {
public:
    static constexpr qsizetype modelSize = 8 * 1024 * 1024 + 123;

    ModelTestServer();
    ~ModelTestServer();

    QString url(const QString& path) const;
    // The served model as a pinned model named test-model.bin, fetched from `path`.
    velmora::PinnedWhisperModel pinned(const QString& path) const;
    // Every request so far: {"path": ..., "range": ... or null}.
    QJsonArray requests() const;

    const QByteArray& body() const { return m_body; }
    const QString& sha256() const { return m_sha256; }
    QString modelFile() const { return m_dir.filePath(QStringLiteral("served.bin")); }

private:
    QTemporaryDir m_dir;
    QByteArray m_body;
    QString m_sha256;
    QProcess m_process;
    int m_port = 0;
};
