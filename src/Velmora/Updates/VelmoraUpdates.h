#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

namespace velmora {

class DictationController;

// The application's side of updating: whether a dictation stands in the way
// of installing one, and why, in the order the user has to act on it.
class VelmoraUpdates : public QObject {
    Q_OBJECT
public:
    explicit VelmoraUpdates(QObject* parent = nullptr);

    void setDictationController(DictationController* controller);
    std::optional<QString> installationBlockReason() const;

    static std::optional<QString> blockReason(bool isRecording, bool isTranscribing, const QString& transcript);

private:
    QPointer<DictationController> m_controller;
};

} // namespace velmora
