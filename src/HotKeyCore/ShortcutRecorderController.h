#pragma once

#include "KeyEvent.h"
#include "KeyShortcut.h"

#include "Platform/ActivationInput.h"

#include <QObject>

#include <functional>
#include <memory>

namespace HotKeyCore {

// Captures the next key combination typed into Velmora's own windows. While it
// records it sees every key first (an application-wide event filter, ahead of
// focus handling, so Tab and Escape are its own), shows the held modifiers, and
// swallows the keys it handles.
class ShortcutRecorderController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(quint32 previewModifiers READ previewModifiers NOTIFY previewModifiersChanged)
public:
    static inline const QString invalidShortcutMessage = QStringLiteral("Please include at least one modifier key.");

    explicit ShortcutRecorderController(std::shared_ptr<const velmora::platform::KeyboardLayoutSource> layout =
                                            velmora::platform::ActivationInput::keyboardLayout(),
                                        QObject* parent = nullptr);
    ~ShortcutRecorderController() override;

    // Any key with a modifier is taken as it is: its key code and shortcut mask.
    void startRecording(std::function<void(std::uint32_t keyCode, std::uint32_t modifiers)> onShortcutCaptured,
                        std::function<void(const QString&)> onInvalidShortcut = {},
                        std::function<void()> onRecordingCancelled = {});
    // The key goes through the layout rules, which may refuse it.
    void startRecordingKeyShortcut(std::function<void(const KeyShortcut&)> onKeyShortcutCaptured,
                                   std::function<void(const QString&)> onInvalidShortcut = {},
                                   std::function<void()> onRecordingCancelled = {});
    void stopRecording();
    void cancelRecording();

    bool isRecording() const { return m_isRecording; }
    quint32 previewModifiers() const { return m_previewModifiers; }

    // The monitors' decisions, fed by the event filter; true when the event is swallowed.
    bool handleKeyDown(const KeyEvent& event);
    void handleFlagsChanged(std::uint64_t flags);

signals:
    void isRecordingChanged(bool isRecording);
    void previewModifiersChanged(quint32 previewModifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void begin(std::function<bool(const KeyEvent&)> onCaptured, std::function<void(const QString&)> onInvalid,
               std::function<void()> onCancelled);
    void setPreviewModifiers(quint32 modifiers);

    std::shared_ptr<const velmora::platform::KeyboardLayoutSource> m_layout;
    std::function<bool(const KeyEvent&)> m_onShortcutCaptured;
    std::function<void(const QString&)> m_onInvalidShortcut;
    std::function<void()> m_onRecordingCancelled;
    bool m_isRecording = false;
    bool m_filterInstalled = false;
    quint32 m_previewModifiers = 0;
    std::uint64_t m_session = 0;
};

} // namespace HotKeyCore
