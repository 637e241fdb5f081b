#pragma once

#include "UTF8StreamDecoder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
class QTimer;

#include "Platform/Linux/ChildProcess.h"
#include "Platform/Linux/FileDescriptor.h"

namespace velmora {

// Runs whisper-stream for live dictation and keeps one growing text,
// liveText, from what it prints. Main thread only; the child's pipes and its
// exit are watched by the event loop, so nothing here ever blocks.
class WhisperStreamTranscriber final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString liveText READ liveText NOTIFY liveTextChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)

public:
    struct Timing {
        std::chrono::milliseconds watchdogInterval{10000};
        std::chrono::milliseconds silenceLimit{30000};
        std::chrono::milliseconds drainLimit{2000};
    };

    explicit WhisperStreamTranscriber(QObject* parent = nullptr);
    WhisperStreamTranscriber(Timing timing, QObject* parent = nullptr);
    ~WhisperStreamTranscriber() override;

    // Returns at once; problems are reported through errorMessage.
    void start(const QString& executablePath, const QString& modelPath, const QString& language,
               std::optional<int> captureDeviceID);
    // Asks the tool to stop, lets its last output drain (at most drainLimit),
    // then kills it if it is still there. `done` runs on the main thread after.
    void stop(std::function<void()> done = {});
    // Kills the tool now and forgets its output; no waiter of `stop` runs.
    void abort();
    // The trimmed live text; resets it to empty.
    QString harvestTranscript();

    QString liveText() const { return m_liveText; }
    bool isRunning() const { return m_isRunning; }
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }

    static QStringList arguments(const QString& modelPath, const QString& language, std::optional<int> captureDeviceID);
    // The tool's shared libraries sit beside it.
    static QStringList environment(const QString& executablePath, const QStringList& inherited);
    static QString extractLatestSegment(const QString& text);
    static QString mergeOverlapping(const QString& existing, const QString& incoming);
    static const QSet<QString>& hallucinations();

signals:
    void liveTextChanged();
    void isRunningChanged();
    void errorMessageChanged();

private:
    void consumeStdout(const QByteArray& chunk);
    void processOutput(const QString& text);
    void readStdout();
    void drainStderr();
    void processEnded();
    void judgeExit(const platform::ChildProcess::ExitStatus& exit);
    void startWatchdog();
    void stopWatchdog();
    void removeReaders();
    void finishStop();
    void resumeCloseWaiters();
    void setLiveText(const QString& text);
    void setRunning(bool running);
    void setErrorMessage(const std::optional<QString>& message);

    Timing m_timing;
    QString m_liveText;
    bool m_isRunning = false;
    std::optional<QString> m_errorMessage;

    std::unique_ptr<platform::ChildProcess> m_process;
    QSocketNotifier* m_stdoutNotifier = nullptr;
    QSocketNotifier* m_stderrNotifier = nullptr;
    QSocketNotifier* m_exitNotifier = nullptr;
    platform::FileDescriptor m_stdoutFd;
    platform::FileDescriptor m_stderrFd;
    QTimer* m_watchdog = nullptr;
    QElapsedTimer m_lastOutput;
    UTF8StreamDecoder m_decoder;
    QString m_segmentTail;
    bool m_stdoutClosed = true;
    std::vector<std::function<void()>> m_closeWaiters;
    // Counts runs, so a timer of an earlier run can tell it is stale.
    quint64 m_session = 0;
};

} // namespace velmora
