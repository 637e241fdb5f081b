#pragma once

#include "TrayClickInterpreter.h"

#include "MenuBarPopover/MenuBarStatusItem.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>

namespace MenuBarPopover {
class Popover;
}

namespace velmora {

class ContentView;
class DictationController;

// Velmora's tray item: its icon follows the dictation (idle, hovered,
// recording, a spinner while transcribing); a click opens or closes the
// popover once the double-click interval has passed, a double click toggles
// recording, a right click cancels a transcription and opens or closes the
// popover. Where the desktop has no tray, the popover becomes a window.
class MenuBarController : public QObject, public MenuBarPopover::MenuBarStatusItem {
    Q_OBJECT
public:
    static constexpr int maxStatusItemInstallAttempts = 8;
    static constexpr std::chrono::milliseconds installRetryInterval{100};

    // `makeContent` builds the popover's content on its first showing.
    MenuBarController(DictationController& dictationController, std::function<ContentView*()> makeContent,
                      QObject* parent = nullptr);
    ~MenuBarController() override;

    void install();
    bool isInstalled() const { return m_tray != nullptr; }
    // False while there is no tray: the popover is an ordinary window. A tray that
    // starts later (a panel that lost the race at login) takes over again.
    bool hasTray() const { return m_hasTray; }
    MenuBarPopover::Popover& popover() const { return *m_popover; }
    ContentView* contentView() const;

    void togglePopover();
    // Shows the popover (a second launch, `velmora --show`) and raises it.
    void showPopover();

    // The tray's report of a click, as QSystemTrayIcon::activated gives it.
    void handleActivation(QSystemTrayIcon::ActivationReason reason);

    // MenuBarStatusItem
    std::optional<QRect> buttonScreenRect() const override;
    bool reportsGeometry() const override;

    enum class IconState { idle, hovered, recording, transcribing };
    IconState iconState() const { return m_iconState; }
    bool isHovering() const { return m_isHovering; }

signals:
    void iconChanged();
    // The icon was drawn in the tray for the first time.
    void trayIconVisible();
    // A tray appeared after Velmora had fallen back to its window.
    void movedToTray();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void configureButton();
    void useWindowInstead();
    void moveToTray();
    void watchTrayWidget();
    QWidget* trayWidget() const;
    void refreshIcon();
    void advanceSpinner();
    void toggleRecordingFromMenuBar(int clickCount, std::uint64_t modifierFlags);
    void singleClickDue();
    void preparePopover();
    void popoverDidClose();

    DictationController& m_dictationController;
    std::function<ContentView*()> m_makeContent;
    std::unique_ptr<MenuBarPopover::Popover> m_popover;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    bool m_hasTray = true;
    int m_statusItemInstallAttempts = 0;
    QPointer<QWidget> m_watchedTrayWidget;
    bool m_announcedVisible = false;
    bool m_isHovering = false;
    IconState m_iconState = IconState::idle;
    QIcon m_idleIcon, m_hoveredIcon, m_recordingIcon;
    QTimer m_spinner;
    int m_spinnerFrame = 0;
    TrayClickInterpreter m_clicks;
    QTimer m_singleClick;
    TrayClickInterpreter::Clock::time_point m_lastTrigger{};
    bool m_singleClickWaitedOnce = false;
};

} // namespace velmora
