#pragma once

#include "DoubleTapModifier.h"

#include "Platform/ActivationInput.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

// Toggles dictation when one modifier is tapped twice: the second press must come
// within `threshold` seconds of the first release, and a release with another
// modifier held, or a press together with one, is no tap. Times are the key
// events' own, so a late delivery does not stretch the pause.
class DoubleTapModifierManager : public QObject {
    Q_OBJECT
public:
    explicit DoubleTapModifierManager(std::unique_ptr<platform::ModifierTapSource> source =
                                          platform::ActivationInput::modifierTaps(),
                                      QObject* parent = nullptr);
    ~DoubleTapModifierManager() override;

    void start();
    void stop();
    void handleFlagsChanged(double timestamp, std::uint64_t flags);

    bool isRunning() const { return m_running; }
    bool targetModifierIsDown() const { return m_targetModifierIsDown; }
    std::optional<double> lastTapReleaseTime() const { return m_lastTapReleaseTime; }

    double threshold = 0.4;
    DoubleTapModifier targetModifier = DoubleTapModifier::control;
    std::function<void()> onDoubleTap;

private:
    std::unique_ptr<platform::ModifierTapSource> m_source;
    bool m_running = false;
    bool m_targetModifierIsDown = false;
    bool m_pressIsClean = false; // no other modifier went down while the target was held
    std::optional<double> m_lastTapReleaseTime;
};

} // namespace velmora
