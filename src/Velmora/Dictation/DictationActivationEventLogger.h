#pragma once

#include "ActivationEvent.h"
#include "DictationActivationSource.h"
#include "DictationMode.h"

#include "Platform/FrontmostApplicationSource.h"

#include <QDateTime>

#include <functional>
#include <optional>

namespace velmora {

// Every dictation command and step, one JSON line each in activation.log (0600,
// one older generation in activation.log.1), and a summary on Velmora.Activation.
// Writing never fails to the caller: an event that cannot be written is lost and
// said so in the system log.
class DictationActivationEventLogger {
public:
    using FrontmostLookup = std::function<std::optional<platform::FrontmostApplication>()>;
    using Clock = std::function<QDateTime()>;

    static constexpr qint64 standardMaximumLogBytes = 1'000'000;

    DictationActivationEventLogger(QString filePath, qint64 maximumLogBytes, FrontmostLookup frontmost = {},
                                   Clock now = {});

    // $XDG_STATE_HOME/Velmora
    static QString logDirectory();
    // The application's logger: logDirectory()/activation.log, 1,000,000 bytes.
    static DictationActivationEventLogger standard();
    // Deletes activation-events.log of earlier versions from the folder.
    static void removeLegacyLog(const QString& folder);

    void record(const QString& action, const std::optional<DictationActivationSource>& source, DictationMode mode,
                bool isRecording, bool isTranscribing, double elapsedSeconds,
                const std::optional<QString>& message = std::nullopt) const;
    void append(const ActivationEvent& event) const;

    const QString& filePath() const { return m_filePath; }

private:
    QString m_filePath;
    qint64 m_maximumLogBytes;
    FrontmostLookup m_frontmost;
    Clock m_now;
};

} // namespace velmora
