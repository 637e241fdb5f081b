#include "ShortcutRecorderController.h"

#include "KeyShortcutRules.h"
#include "ModifierFlags.h"
#include "QtKeyEvents.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace HotKeyCore {
namespace {

constexpr std::uint32_t escapeKeyCode = 53;

} // namespace

ShortcutRecorderController::ShortcutRecorderController(
    std::shared_ptr<const velmora::platform::KeyboardLayoutSource> layout, QObject* parent)
    : QObject(parent)
    , m_layout(std::move(layout))
{
}

ShortcutRecorderController::~ShortcutRecorderController()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void ShortcutRecorderController::startRecording(
    std::function<void(std::uint32_t, std::uint32_t)> onShortcutCaptured,
    std::function<void(const QString&)> onInvalidShortcut, std::function<void()> onRecordingCancelled)
{
    begin(
        [captured = std::move(onShortcutCaptured)](const KeyEvent& event) {
            if (captured)
                captured(event.keyCode, carbonModifiers(event.modifierFlags));
            return true;
        },
        std::move(onInvalidShortcut), std::move(onRecordingCancelled));
}

void ShortcutRecorderController::startRecordingKeyShortcut(std::function<void(const KeyShortcut&)> onKeyShortcutCaptured,
                                                           std::function<void(const QString&)> onInvalidShortcut,
                                                           std::function<void()> onRecordingCancelled)
{
    begin(
        [this, captured = std::move(onKeyShortcutCaptured)](const KeyEvent& event) {
            const auto shortcut = keyShortcut(event, m_layout.get());
            if (!shortcut) {
                if (m_onInvalidShortcut)
                    m_onInvalidShortcut(invalidShortcutMessage);
                return false;
            }
            if (captured)
                captured(*shortcut);
            return true;
        },
        std::move(onInvalidShortcut), std::move(onRecordingCancelled));
}

void ShortcutRecorderController::begin(std::function<bool(const KeyEvent&)> onCaptured,
                                       std::function<void(const QString&)> onInvalid, std::function<void()> onCancelled)
{
    // A restart keeps recording: no stop is announced, and the first's cancel is not called.
    ++m_session;
    m_onShortcutCaptured = std::move(onCaptured);
    m_onInvalidShortcut = std::move(onInvalid);
    m_onRecordingCancelled = std::move(onCancelled);
    // Installed again at each start: the filter installed last sees keys first, and
    // while recording nothing else (Escape closing a popover, Ctrl+Q) may take them.
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
        m_filterInstalled = true;
    }
    if (!m_isRecording) {
        m_isRecording = true;
        emit isRecordingChanged(true);
    }
    setPreviewModifiers(0);
}

void ShortcutRecorderController::stopRecording()
{
    ++m_session;
    if (m_filterInstalled && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeEventFilter(this);
        m_filterInstalled = false;
    }
    m_onShortcutCaptured = {};
    m_onInvalidShortcut = {};
    m_onRecordingCancelled = {};
    const bool was = m_isRecording;
    m_isRecording = false;
    if (was)
        emit isRecordingChanged(false);
    setPreviewModifiers(0);
}

void ShortcutRecorderController::cancelRecording()
{
    const auto cancelled = std::move(m_onRecordingCancelled);
    stopRecording();
    if (cancelled)
        cancelled();
}

void ShortcutRecorderController::setPreviewModifiers(quint32 modifiers)
{
    if (modifiers == m_previewModifiers)
        return;
    m_previewModifiers = modifiers;
    emit previewModifiersChanged(modifiers);
}

void ShortcutRecorderController::handleFlagsChanged(std::uint64_t flags)
{
    if (m_isRecording)
        setPreviewModifiers(carbonModifiers(flags));
}

bool ShortcutRecorderController::handleKeyDown(const KeyEvent& event)
{
    if (!m_isRecording)
        return false;
    if (event.keyCode == escapeKeyCode) {
        cancelRecording();
        return true;
    }
    if (modifierOnlyKeyCodes().contains(event.keyCode))
        return true;
    if (carbonModifiers(event.modifierFlags) == 0) {
        if (m_onInvalidShortcut)
            m_onInvalidShortcut(invalidShortcutMessage);
        return true;
    }
    // The closure may start another recording; only this one's success stops it.
    const auto session = m_session;
    auto captured = m_onShortcutCaptured;
    if (captured && captured(event) && session == m_session)
        stopRecording();
    return true;
}

bool ShortcutRecorderController::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_isRecording)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claimed, so no application shortcut (Ctrl+Q) fires and the press comes to us.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (isModifierKey(key)) {
            handleFlagsChanged(modifierFlagsAfter(key));
            return event->type() == QEvent::KeyPress; // a modifier alone is never a shortcut
        }
        if (event->type() == QEvent::KeyPress)
            return handleKeyDown(keyEvent(key, m_layout.get()));
        return false;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace HotKeyCore
