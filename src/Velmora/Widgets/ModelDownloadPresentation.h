#pragma once

#include "Model/PinnedWhisperModel.h"
#include "Model/WhisperModelState.h"

#include <QString>

#include <optional>

namespace velmora {

// What the model card shows for a state of the model manager.
struct ModelDownloadPresentation {
    enum class Progress { none, determinate, indeterminate };
    enum class Action { none, cancel, retry, download };

    bool isWarning = false; // the orange warning symbol instead of the download arrow
    QString title;
    Progress progress = Progress::none;
    double fraction = 0; // with determinate, 0 to 1
    QString detail;
    Action action = Action::none;

    static ModelDownloadPresentation of(const WhisperModelState& state, const PinnedWhisperModel& model);
    // "large-v3-turbo-q5_0": the file name without "ggml-" and ".bin"; "Unknown" when empty.
    static QString modelName(const QString& fileName);
    static QString fileSize(qint64 bytes);
    static QString actionTitle(Action action);
};

} // namespace velmora
