#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <utility>

namespace velmora::test {

// A bundle like the build tree's whose whisper-cli answers `heard`, after
// checking that it was given a real recording, and notes its arguments; and
// `said` spoken into a WAV file by espeak-ng, to feed the rig's microphone.
struct DictationBundle {
    QTemporaryDir dir;
    QString root, executable, model, spoken;
    QString arguments; // every run's arguments, one a line, each run ending with "--"

    DictationBundle(const QString& said, const QString& heard);
    // From the next run on, whisper-cli answers this instead.
    void hear(const QString& heard);
    // The arguments of each run so far.
    QList<QStringList> runs() const;
};

// The activation log of the running Velmora: (action, source) of every record so far.
QString activationLogPath();
QList<std::pair<QString, QString>> activations();
int countActivations(const QString& action, const QString& source = {});

} // namespace velmora::test
