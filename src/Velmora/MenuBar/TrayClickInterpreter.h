#pragma once

#include <chrono>
#include <optional>

namespace velmora {

// Turns the tray's activation reports into single, double and right clicks.
// XEmbed trays report a double click as Trigger then DoubleClick; StatusNotifierItem
// trays never report DoubleClick, only two Triggers. Both must come out as one
// double click, and a single click waits out the double-click interval.
class TrayClickInterpreter {
public:
    using Clock = std::chrono::steady_clock;
    enum class Report { trigger, doubleClick, context, middleClick };
    enum class Action {
        none,
        scheduleSingleClick, // run `singleClickDue` after the interval unless cancelled
        doubleClick,         // cancels the scheduled single click
        rightClick,
    };

    explicit TrayClickInterpreter(std::chrono::milliseconds doubleClickInterval)
        : m_interval(doubleClickInterval)
    {
    }

    Action report(Report report, Clock::time_point at);
    // The scheduled single click came due; false if a double click took it meanwhile.
    bool singleClickDue();
    bool hasPendingSingleClick() const { return m_pendingTrigger.has_value(); }

private:
    std::chrono::milliseconds m_interval;
    std::optional<Clock::time_point> m_pendingTrigger;
    std::optional<Clock::time_point> m_lastDoubleClick;
};

} // namespace velmora
