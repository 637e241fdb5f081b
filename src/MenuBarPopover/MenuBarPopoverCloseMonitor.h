#pragma once

#include "MenuBarStatusItem.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>

namespace velmora::platform {
class PointerPressSource;
}

namespace MenuBarPopover {

class Popover;

// Closes a shown popover when the user is done with it: a click outside it and
// its item (in Velmora or in any other client), or Escape. Clicks in the
// popover's own menus and dialogs never count as outside.
class MenuBarPopoverCloseMonitor : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    // One session per shown popover; it ends when the popover closes.
    class Session : public QObject {
    public:
        Session(Popover* popover, const MenuBarStatusItem* item, bool closesOnButtonClick,
                MenuBarPopoverCloseMonitor& monitor);
        ~Session() override;
        bool shouldCloseForMouseEvent(const QPoint& pointer) const;
        void closeForMouseEvent(const QPoint& pointer);

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override;

    private:
        QPointer<Popover> m_popover;
        const MenuBarStatusItem* m_item;
        bool m_closesOnButtonClick;
        MenuBarPopoverCloseMonitor& m_monitor;
    };

    // The session's platform source of presses in other clients; none: only
    // clicks in Velmora's own windows are seen.
    explicit MenuBarPopoverCloseMonitor(std::unique_ptr<velmora::platform::PointerPressSource> presses);
    ~MenuBarPopoverCloseMonitor() override;
    static MenuBarPopoverCloseMonitor& shared();

    // The item must outlive the session.
    void install(Popover* popover, const MenuBarStatusItem* item, bool closesOnButtonClick);
    bool hasSession(const Popover* popover) const { return m_sessions.contains(popover); }
    // When a click on the item closed the popover (closesOnButtonClick sessions).
    std::optional<Clock::time_point> itemClickClose(const Popover* popover) const;
    // When any click closed it: a tray that gives no item rectangle reports the
    // click on its item only after the press has closed the popover.
    std::optional<Clock::time_point> mouseClose(const Popover* popover) const;

private:
    void invalidate(const Popover* popover);
    void globalPress();
    void updateWatching();

    std::unique_ptr<velmora::platform::PointerPressSource> m_presses;
    QHash<const Popover*, Session*> m_sessions;
    QHash<const Popover*, Clock::time_point> m_itemClickCloses;
    QHash<const Popover*, Clock::time_point> m_mouseCloses;
};

} // namespace MenuBarPopover
