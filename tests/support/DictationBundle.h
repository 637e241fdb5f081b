#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <utility>

namespace velmora::test {

// A bundle like the build tree's whose whisper-cli answers `heard`, after
// checking that it was given a real recording; and `said` spoken into a WAV
// file by espeak-ng, to feed the rig's microphone.
struct DictationBundle {
    QTemporaryDir dir;
    QString root, executable, model, spoken;

    DictationBundle(const QString& said, const QString& heard);
};

// The activation log of the running Velmora: (action, source) of every record so far.
QString activationLogPath();
QList<std::pair<QString, QString>> activations();
int countActivations(const QString& action, const QString& source = {});

} // namespace velmora::test
