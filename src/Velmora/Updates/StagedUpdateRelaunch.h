#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace velmora {

// A checked, unpacked update waits here until no dictation holds it back, then goes
// to its finishing step and Velmora quits. The user was told Velmora stays open
// until then: `retry` runs whenever a dictation ends or the transcript changes.
class StagedUpdateRelaunch : public QObject {
    Q_OBJECT
public:
    struct Steps {
        std::function<std::optional<QString>()> blockReason;
        std::function<void(const QString& reason)> showWaiting; // one alert, brought to the front
        std::function<void()> hideWaiting;
        std::function<bool(const QString& staged)> startFinishing;
        std::function<void(const QString& staged)> discard;
        std::function<void(const QString& message)> tell;
        std::function<void()> quit;
    };

    explicit StagedUpdateRelaunch(Steps steps, QObject* parent = nullptr);

    void relaunch(const QString& staged);
    void retry();
    bool isWaiting() const { return m_staged.has_value(); }

    static const QString notStartedMessage;

private:
    Steps m_steps;
    std::optional<QString> m_staged;
};

} // namespace velmora
