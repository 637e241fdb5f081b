#include "MenuBarController.h"

#include "TrayIconArt.h"

#include "Dictation/DictationController.h"
#include "Views/ContentView.h"

#include "HotKeyCore/QtKeyEvents.h"
#include "MenuBarPopover/MenuBarPopoverCloseMonitor.h"
#include "MenuBarPopover/MenuBarPopoverController.h"
#include "MenuBarPopover/MenuBarStatusItemPlacement.h"
#include "MenuBarPopover/Popover.h"
#include "Platform/LogCategories.h"

#include <QApplication>
#include <QStyleHints>

namespace velmora {

using MenuBarPopover::Popover;
using MenuBarPopover::PopoverEdge;

namespace {

// A tray that gives no item rectangle reports the click on our item only
// after its press has closed the popover; such a click must not reopen it.
constexpr auto pressThenReportWindow = std::chrono::milliseconds(600);

} // namespace

MenuBarController::MenuBarController(DictationController& dictationController,
                                     std::function<ContentView*()> makeContent, QObject* parent)
    : QObject(parent)
    , m_dictationController(dictationController)
    , m_makeContent(std::move(makeContent))
    , m_popover(std::make_unique<Popover>())
    , m_clicks(std::chrono::milliseconds(QGuiApplication::styleHints()->mouseDoubleClickInterval()))
{
    m_popover->setWindowTitle(QStringLiteral("Velmora"));
    m_popover->setWindowIcon(TrayIconArt::applicationIcon());
    m_popover->setContentSize(ContentView::preferredSize);
    connect(m_popover.get(), &Popover::didClose, this, &MenuBarController::popoverDidClose);
    m_spinner.setInterval(80);
    connect(&m_spinner, &QTimer::timeout, this, &MenuBarController::advanceSpinner);
    m_singleClick.setSingleShot(true);
    m_singleClick.setInterval(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    connect(&m_singleClick, &QTimer::timeout, this, &MenuBarController::singleClickDue);
}

MenuBarController::~MenuBarController()
{
    qApp->removeEventFilter(this);
    MenuBarPopover::MenuBarStatusItemPlacement::shared().cancel(m_popover.get());
    // The close monitor ends its session when the popover goes.
    m_popover.reset();
}

ContentView* MenuBarController::contentView() const
{
    return qobject_cast<ContentView*>(m_popover->content());
}

void MenuBarController::install()
{
    if (m_tray)
        return;
    m_idleIcon = TrayIconArt::idleIcon();
    m_hoveredIcon = TrayIconArt::hoveredIcon();
    m_recordingIcon = TrayIconArt::recordingIcon();
    m_tray = std::make_unique<QSystemTrayIcon>(m_idleIcon);
    m_tray->setToolTip(QStringLiteral("Velmora"));
    connect(m_tray.get(), &QSystemTrayIcon::activated, this, &MenuBarController::handleActivation);
    // The icon follows the dictation whether a tray shows it now or one starts later.
    connect(&m_dictationController, &DictationController::isRecordingChanged, this, &MenuBarController::refreshIcon);
    connect(&m_dictationController, &DictationController::isTranscribingChanged, this,
            &MenuBarController::refreshIcon);
    configureButton();
}

void MenuBarController::configureButton()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (++m_statusItemInstallAttempts <= maxStatusItemInstallAttempts) {
            QTimer::singleShot(installRetryInterval, this, &MenuBarController::configureButton);
            return;
        }
        useWindowInstead();
        return;
    }
    m_statusItemInstallAttempts = 0;
    m_tray->show();
    qCInfo(logging::shell) << "tray icon installed";
    refreshIcon();
    // An XEmbed tray shows our own widget: it tells when it is drawn and hovered.
    QTimer::singleShot(0, this, &MenuBarController::watchTrayWidget);
}

void MenuBarController::useWindowInstead()
{
    m_hasTray = false;
    qCWarning(logging::shell) << "no system tray found: Velmora shows its window instead";
    m_popover->setWindowed(true);
    // Still offered to a tray that starts later: its icon then appears as well, as a
    // widget of ours that the tray embeds. Watched for until then, and no longer.
    qApp->installEventFilter(this);
    m_tray->show();
    showPopover();
}

void MenuBarController::moveToTray()
{
    if (m_hasTray)
        return;
    qApp->removeEventFilter(this);
    m_hasTray = true;
    qCInfo(logging::shell) << "a system tray appeared: Velmora moves to its icon";
    m_popover->hide();
    m_popover->setWindowed(false);
    watchTrayWidget();
    refreshIcon();
    emit movedToTray();
}

QWidget* MenuBarController::trayWidget() const
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QSystemTrayIconSys"))
            return widget;
    }
    return nullptr;
}

void MenuBarController::watchTrayWidget()
{
    QWidget* widget = trayWidget();
    if (!widget || widget == m_watchedTrayWidget) {
        if (!widget && !m_announcedVisible) {
            // A StatusNotifierItem tray draws the icon itself.
            m_announcedVisible = true;
            qCInfo(logging::shell) << "tray icon registered with the desktop's item host";
            emit trayIconVisible();
        }
        return;
    }
    m_watchedTrayWidget = widget;
    widget->installEventFilter(this);
    if (widget->isVisible() && !m_announcedVisible) {
        m_announcedVisible = true;
        qCInfo(logging::shell) << "tray icon visible";
        emit trayIconVisible();
    }
}

bool MenuBarController::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_hasTray && event->type() == QEvent::Show && watched->inherits("QSystemTrayIconSys")) {
        QTimer::singleShot(0, this, &MenuBarController::moveToTray);
        return false;
    }
    if (watched != m_watchedTrayWidget)
        return false;
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::Leave: {
        const bool hovering = event->type() == QEvent::Enter;
        QTimer::singleShot(0, this, [this, hovering] {
            m_isHovering = hovering;
            refreshIcon();
        });
        break;
    }
    case QEvent::Paint:
        if (!m_announcedVisible) {
            m_announcedVisible = true;
            qCInfo(logging::shell) << "tray icon visible";
            emit trayIconVisible();
        }
        break;
    default:
        break;
    }
    return false;
}

void MenuBarController::refreshIcon()
{
    if (!m_tray)
        return;
    IconState state;
    if (m_dictationController.isTranscribing())
        state = IconState::transcribing;
    else if (m_dictationController.isRecording())
        state = IconState::recording;
    else
        state = m_isHovering ? IconState::hovered : IconState::idle;
    if (state == m_iconState && (state != IconState::transcribing || m_spinner.isActive()))
        return;
    m_iconState = state;
    switch (state) {
    case IconState::transcribing:
        // The spinner runs only while there is something to wait for.
        m_spinnerFrame = 0;
        m_tray->setIcon(TrayIconArt::spinnerIcon(0));
        m_spinner.start();
        m_tray->setToolTip(QStringLiteral("Velmora — transcribing"));
        break;
    case IconState::recording:
        m_spinner.stop();
        m_tray->setIcon(m_recordingIcon);
        m_tray->setToolTip(QStringLiteral("Velmora — recording"));
        break;
    case IconState::hovered:
    case IconState::idle:
        m_spinner.stop();
        m_tray->setIcon(state == IconState::hovered ? m_hoveredIcon : m_idleIcon);
        m_tray->setToolTip(QStringLiteral("Velmora"));
        break;
    }
    emit iconChanged();
}

void MenuBarController::advanceSpinner()
{
    m_spinnerFrame = (m_spinnerFrame + 1) % TrayIconArt::spinnerFrames;
    m_tray->setIcon(TrayIconArt::spinnerIcon(m_spinnerFrame));
}

void MenuBarController::handleActivation(QSystemTrayIcon::ActivationReason reason)
{
    using Report = TrayClickInterpreter::Report;
    Report report;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        report = Report::trigger;
        break;
    case QSystemTrayIcon::DoubleClick:
        report = Report::doubleClick;
        break;
    case QSystemTrayIcon::Context:
        report = Report::context;
        break;
    case QSystemTrayIcon::MiddleClick:
        report = Report::middleClick;
        break;
    default:
        return;
    }
    const auto now = TrayClickInterpreter::Clock::now();
    switch (m_clicks.report(report, now)) {
    case TrayClickInterpreter::Action::scheduleSingleClick:
        m_lastTrigger = now;
        m_singleClickWaitedOnce = false;
        m_singleClick.start();
        break;
    case TrayClickInterpreter::Action::doubleClick:
        m_singleClick.stop();
        toggleRecordingFromMenuBar(2, HotKeyCore::modifierFlags(QGuiApplication::queryKeyboardModifiers()));
        break;
    case TrayClickInterpreter::Action::rightClick:
        if (m_dictationController.isTranscribing())
            m_dictationController.cancelTranscription(DictationActivationSource::menuBarRightClick());
        togglePopover();
        break;
    case TrayClickInterpreter::Action::none:
        break;
    }
}

void MenuBarController::singleClickDue()
{
    // A loop that stalled (a busy machine) may still hold the second click of a
    // double click, read or about to be: it goes first and may take this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    const auto late = TrayClickInterpreter::Clock::now() - m_lastTrigger - m_singleClick.intervalAsDuration();
    if (late > std::chrono::milliseconds(100) && m_clicks.hasPendingSingleClick() && !m_singleClickWaitedOnce) {
        m_singleClickWaitedOnce = true;
        QTimer::singleShot(150, this, &MenuBarController::singleClickDue);
        return;
    }
    m_singleClickWaitedOnce = false;
    if (!m_clicks.singleClickDue())
        return;
    if (!m_popover->isShown() && !reportsGeometry()) {
        const auto closed = MenuBarPopover::MenuBarPopoverCloseMonitor::shared().mouseClose(m_popover.get());
        if (closed && m_lastTrigger - *closed < pressThenReportWindow && m_lastTrigger >= *closed)
            return;
    }
    togglePopover();
}

void MenuBarController::toggleRecordingFromMenuBar(int clickCount, std::uint64_t modifierFlags)
{
    if (m_dictationController.isTranscribing())
        return;
    const auto source =
        DictationActivationSource::menuBarLeftClick(clickCount, DictationActivationSource::modifierDescription(modifierFlags));
    if (m_dictationController.isRecording())
        m_dictationController.stopRecording(source);
    else
        m_dictationController.startRecording(source);
}

void MenuBarController::preparePopover()
{
    if (!m_popover->content() && m_makeContent)
        m_popover->setContent(m_makeContent());
    if (ContentView* view = contentView())
        view->setShowsSetup(false);
}

void MenuBarController::togglePopover()
{
    if (m_popover->isWindowed() && m_popover->isShown() && !m_popover->isActiveWindow()) {
        // A window behind others comes forward; a second click hides it.
        showPopover();
        return;
    }
    const bool showing = MenuBarPopover::MenuBarPopoverController::toggle(*m_popover, *this, PopoverEdge::below, true,
                                                                         [this] { preparePopover(); });
    if (showing)
        m_dictationController.refreshVocabularyFromSync();
}

void MenuBarController::showPopover()
{
    if (m_popover->isShown()) {
        MenuBarPopover::MenuBarPopoverController::present(*m_popover, *this, PopoverEdge::below, true);
        return;
    }
    preparePopover();
    MenuBarPopover::MenuBarPopoverController::present(*m_popover, *this, PopoverEdge::below, true);
    m_dictationController.refreshVocabularyFromSync();
}

void MenuBarController::popoverDidClose()
{
    m_dictationController.startAutoClearCountdown();
}

std::optional<QRect> MenuBarController::buttonScreenRect() const
{
    if (!m_tray || !m_tray->isVisible())
        return std::nullopt;
    const QRect rect = m_tray->geometry();
    if (rect.isEmpty())
        return std::nullopt;
    return rect;
}

bool MenuBarController::reportsGeometry() const
{
    // Only the XEmbed tray, whose icon is a widget of ours, knows where it is.
    return m_hasTray && trayWidget() != nullptr;
}

} // namespace velmora
