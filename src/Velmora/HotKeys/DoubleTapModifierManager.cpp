#include "DoubleTapModifierManager.h"

#include "HotKeyCore/ModifierFlags.h"

#include "Platform/LogCategories.h"

namespace velmora {
namespace {

constexpr std::uint64_t watchedFlags =
    HotKeyCore::controlFlag | HotKeyCore::optionFlag | HotKeyCore::shiftFlag | HotKeyCore::commandFlag;

} // namespace

DoubleTapModifierManager::DoubleTapModifierManager(std::unique_ptr<platform::ModifierTapSource> source, QObject* parent)
    : QObject(parent)
    , m_source(std::move(source))
{
    connect(m_source.get(), &platform::ModifierTapSource::modifierFlagsChanged, this,
            &DoubleTapModifierManager::handleFlagsChanged);
}

DoubleTapModifierManager::~DoubleTapModifierManager()
{
    stop();
}

void DoubleTapModifierManager::start()
{
    stop();
    m_running = m_source->start();
    if (!m_running)
        qCWarning(logging::doubleTap) << "modifier keys cannot be watched in this session; double tap stays off";
}

void DoubleTapModifierManager::stop()
{
    if (m_running)
        m_source->stop();
    m_running = false;
    m_targetModifierIsDown = false;
    m_pressIsClean = false;
    m_lastTapReleaseTime.reset();
}

void DoubleTapModifierManager::handleFlagsChanged(double timestamp, std::uint64_t flags)
{
    const std::uint64_t target = eventFlag(targetModifier);
    const bool targetDown = flags & target;
    const bool othersDown = flags & (watchedFlags & ~target);
    if (!targetDown) {
        if (!m_targetModifierIsDown)
            return;
        m_targetModifierIsDown = false;
        // A press that shared its time with another modifier was part of a
        // combination (Ctrl+Shift, released in any order), never a tap.
        const bool tap = !othersDown && m_pressIsClean;
        m_lastTapReleaseTime = tap ? std::optional<double>(timestamp) : std::nullopt;
        return;
    }
    if (othersDown) {
        m_targetModifierIsDown = true;
        m_pressIsClean = false;
        m_lastTapReleaseTime.reset();
        return;
    }
    if (m_targetModifierIsDown)
        return;
    m_targetModifierIsDown = true;
    m_pressIsClean = true;
    // Server times are whole milliseconds: a pause of exactly the threshold must not
    // lose to the rounding of their difference.
    if (m_lastTapReleaseTime && timestamp - *m_lastTapReleaseTime <= threshold + 1e-9) {
        m_lastTapReleaseTime.reset();
        if (onDoubleTap)
            onDoubleTap();
    }
}

} // namespace velmora
