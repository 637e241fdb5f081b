#include "DictationBundle.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmora::test {

DictationBundle::DictationBundle(const QString& said, const QString& heard)
{
    root = dir.path() + "/Velmora";
    const QString built = bundleDir();
    QDir().mkpath(root + "/bin");
    QDir().mkpath(root + "/Resources/WhisperRuntime/bin");
    executable = root + "/bin/velmora";
    QFile::copy(velmoraExecutable(), executable);
    QFile::setPermissions(executable, QFileDevice::ExeOwner | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile::link(built + "/Resources/sounds", root + "/Resources/sounds");
    QFile::copy(built + "/Resources/Info.json", root + "/Resources/Info.json");
    QFile::link(built + "/Resources/WhisperRuntime/models", root + "/Resources/WhisperRuntime/models");
    for (const char* file : {"whisper-stream", "libSDL2-2.0.so.0"})
        QFile::link(built + "/Resources/WhisperRuntime/bin/" + file, root + "/Resources/WhisperRuntime/bin/" + file);
    arguments = dir.path() + "/cli-arguments.txt";
    hear(heard);
    model = dir.path() + "/ggml-mine.bin";
    writeFile(model, "model");
    spoken = dir.path() + "/spoken.wav";
    runProcess("espeak-ng", {"-w", spoken, said});
}

void DictationBundle::hear(const QString& heard)
{
    const auto quoted = [](const QString& text) { return "'" + QString(text).replace('\'', "'\\''").toUtf8() + "'"; };
    writeScript(root + "/Resources/WhisperRuntime/bin/whisper-cli",
                "printf '%s\\n' \"$@\" -- >> " + quoted(arguments) + "\n"
                "while [ $# -gt 0 ]; do case \"$1\" in -f) in=$2;; -of) out=$2;; esac; shift; done\n"
                "[ -n \"$out\" ] || exit 0\n"
                "[ $(wc -c < \"$in\") -gt 32000 ] || exit 3\n"
                "printf '%s' " + quoted(heard) + " > \"$out.txt\"\n");
}

QList<QStringList> DictationBundle::runs() const
{
    QList<QStringList> all{{}};
    for (const QString& line : QString::fromUtf8(readFile(arguments)).split('\n', Qt::SkipEmptyParts)) {
        if (line == "--")
            all.append(QStringList());
        else
            all.last().append(line);
    }
    all.removeLast();
    return all;
}

QString activationLogPath()
{
    return qEnvironmentVariable("XDG_STATE_HOME") + "/Velmora/activation.log";
}

QList<std::pair<QString, QString>> activations()
{
    QList<std::pair<QString, QString>> records;
    for (const QByteArray& line : readFile(activationLogPath()).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        records.append({record.value("action").toString(), record.value("source").toString()});
    }
    return records;
}

int countActivations(const QString& action, const QString& source)
{
    int n = 0;
    for (const auto& [a, s] : activations())
        n += a == action && (source.isEmpty() || s == source);
    return n;
}

} // namespace velmora::test
