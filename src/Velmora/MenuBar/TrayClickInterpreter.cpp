#include "TrayClickInterpreter.h"

namespace velmora {

TrayClickInterpreter::Action TrayClickInterpreter::report(Report report, Clock::time_point at)
{
    const auto within = [&](const std::optional<Clock::time_point>& earlier) {
        return earlier && at - *earlier <= m_interval;
    };
    switch (report) {
    case Report::trigger:
        if (within(m_pendingTrigger)) {
            m_pendingTrigger.reset();
            m_lastDoubleClick = at;
            return Action::doubleClick;
        }
        m_pendingTrigger = at;
        return Action::scheduleSingleClick;
    case Report::doubleClick:
        // The DoubleClick an XEmbed tray sends after the second press's own report.
        if (within(m_lastDoubleClick)) {
            m_lastDoubleClick.reset();
            return Action::none;
        }
        m_pendingTrigger.reset();
        m_lastDoubleClick = at;
        return Action::doubleClick;
    case Report::context:
        return Action::rightClick;
    case Report::middleClick:
        return Action::none;
    }
    return Action::none;
}

bool TrayClickInterpreter::singleClickDue()
{
    if (!m_pendingTrigger)
        return false;
    m_pendingTrigger.reset();
    return true;
}

} // namespace velmora
