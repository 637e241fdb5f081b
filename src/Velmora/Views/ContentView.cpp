#include "ContentView.h"

#include "ContentViewText.h"
#include "CopiedToast.h"
#include "DoubleTapPermissionHintView.h"
#include "Widgets/MessageBanner.h"
#include "MicrophonePickerView.h"
#include "Widgets/ModelDownloadView.h"
#include "RecordButton.h"
#include "Widgets/SymbolIcon.h"
#include "TranscriptEditor.h"

#include "Dictation/DictationController.h"
#include "HotKeys/DoubleTapPermissionState.h"

#include "Settings/SettingsView.h"

#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/HotKeyDisplay.h"
#include "HotKeyCore/ShortcutRecorderController.h"
#include "Platform/ActivationInput.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QLabel* titleLabel(const QString& text, QWidget* parent)
{
    auto* title = new QLabel(text, parent);
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::DemiBold);
    titleFont.setPixelSize(15);
    title->setFont(titleFont);
    return title;
}

QToolButton* toolButton(const QString& objectName, const QString& themeIcon, const QString& fallbackText,
                        const QString& accessibleName, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    const QIcon icon = themeIcon.isEmpty() ? QIcon() : QIcon::fromTheme(themeIcon);
    if (!icon.isNull())
        button->setIcon(icon);
    else if (!fallbackText.isEmpty())
        button->setText(fallbackText);
    button->setToolTip(accessibleName);
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

} // namespace

ContentView::ContentView(Parts parts, QWidget* parent)
    : QWidget(parent)
    , m_parts(std::move(parts))
{
    setObjectName(QStringLiteral("contentView"));
    setFixedSize(preferredSize);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(this);
    outer->addWidget(m_pages);

    auto* main = new QWidget(m_pages);
    auto* column = new QVBoxLayout(main);
    column->setContentsMargins(14, 12, 14, 10);
    column->setSpacing(10);
    column->addWidget(makeHeader());
    column->addWidget(divider(main));
    m_gate = new ModelDownloadGate(m_parts.models, m_parts.model, makeRecordSection(), main);
    m_gate->setMinimumHeight(96);
    column->addWidget(m_gate);
    column->addWidget(divider(main));

    auto* transcriptFrame = new QFrame(main);
    transcriptFrame->setObjectName(QStringLiteral("transcriptFrame"));
    transcriptFrame->setStyleSheet(QStringLiteral(
        "#transcriptFrame { border: 1px solid palette(mid); border-radius: 8px; background: palette(base); }"));
    auto* frameLayout = new QVBoxLayout(transcriptFrame);
    frameLayout->setContentsMargins(2, 2, 2, 2);
    m_editor = new TranscriptEditor(transcriptFrame);
    m_editor->setPlaceholderText(QStringLiteral("Your dictation appears here."));
    m_editor->setStyleSheet(QStringLiteral("background: transparent;"));
    frameLayout->addWidget(m_editor);
    column->addWidget(transcriptFrame, 1);

    column->addWidget(new DoubleTapPermissionHintView(m_parts.doubleTapPermission, main));
    m_hotKeyHint = new MessageBanner(MessageBanner::Style::warning, main);
    m_hotKeyHint->setObjectName(QStringLiteral("hotKeyHint"));
    column->addWidget(m_hotKeyHint);
    m_error = new MessageBanner(MessageBanner::Style::error, main);
    m_error->setObjectName(QStringLiteral("errorBanner"));
    column->addWidget(m_error);
    column->addWidget(makeFooter());
    m_pages->addWidget(main);

    m_toast = new CopiedToast(this);

    // Space works the record button from anywhere in the popover, except where
    // it types: a text field claims printable keys before shortcuts see them.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), main, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    // One press is one action: a held Space would start, stop and cancel at the key-repeat rate.
    space->setAutoRepeat(false);
    connect(space, &QShortcut::activated, this, &ContentView::recordPressed);
    connect(m_record, &RecordButton::clicked, this, &ContentView::recordPressed);

    DictationController& controller = m_parts.controller;
    connect(m_editor, &TranscriptEditor::edited, this, [this](const QString& text) {
        m_parts.controller.setTranscript(text);
        // A transcript being edited is never cleared under the user.
        m_parts.controller.cancelAutoClear();
    });
    connect(&controller, &DictationController::transcriptChanged, this, &ContentView::refreshTranscript);
    connect(&controller, &DictationController::isRecordingChanged, this, &ContentView::refreshState);
    connect(&controller, &DictationController::isTranscribingChanged, this, &ContentView::refreshState);
    connect(&controller, &DictationController::elapsedSecondsChanged, this, &ContentView::refreshState);
    connect(&controller, &DictationController::statusMessageChanged, this, &ContentView::refreshState);
    connect(&controller, &DictationController::errorMessageChanged, this, &ContentView::refreshState);
    connect(&controller, &DictationController::autoClearRemainingChanged, this, &ContentView::refreshFooter);
    connect(&controller, &DictationController::modelPathChanged, this,
            [this] { m_gate->setUsesDownloadedModel(m_parts.controller.usesDownloadedModel()); });
    connect(&controller, &DictationController::showCopiedIndicatorChanged, this, [this] {
        m_toast->place();
        m_toast->setVisible(m_parts.controller.showCopiedIndicator());
    });
    if (m_parts.hotKey)
        connect(m_parts.hotKey, &HotKeyCore::GlobalHotKeyManager::registrationChanged, this,
                &ContentView::refreshHotKeyHint);
    m_gate->setUsesDownloadedModel(controller.usesDownloadedModel());
    refreshHotKeyHint();
    refreshTranscript();
    refreshState();
}

QWidget* ContentView::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    QLabel* title = titleLabel(QStringLiteral("Velmora"), header);
    titles->addWidget(title);
    m_status = new QLabel(header);
    m_status->setObjectName(QStringLiteral("statusMessage"));
    m_status->setForegroundRole(QPalette::PlaceholderText);
    titles->addWidget(m_status);
    row->addLayout(titles);
    row->addStretch(1);
    m_microphone = new MicrophonePickerView(m_parts.devices, header);
    row->addWidget(m_microphone);
    QToolButton* settings = toolButton(QStringLiteral("settingsButton"), QString(), QString(),
                                       QStringLiteral("Settings"), header);
    QColor tint = palette().color(QPalette::WindowText);
    tint.setAlphaF(0.7f);
    settings->setIcon(SymbolIcon::icon(Symbol::gearshape, tint));
    connect(settings, &QToolButton::clicked, this, [this] { setShowsSetup(true); });
    row->addWidget(settings);
    return header;
}

QWidget* ContentView::makeRecordSection()
{
    auto* section = new QWidget(this);
    auto* row = new QHBoxLayout(section);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(12);
    m_record = new RecordButton(section);
    row->addWidget(m_record, 0, Qt::AlignVCenter);
    m_timer = new QLabel(section);
    m_timer->setObjectName(QStringLiteral("recordingTimer"));
    QFont timerFont = QFont(QStringLiteral("monospace"));
    timerFont.setStyleHint(QFont::Monospace);
    timerFont.setPixelSize(20);
    timerFont.setWeight(QFont::Medium);
    m_timer->setFont(timerFont);
    row->addWidget(m_timer, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_copy = toolButton(QStringLiteral("copyButton"), QStringLiteral("edit-copy"), QStringLiteral("Copy"),
                        QStringLiteral("Copy transcript"), section);
    m_clear = toolButton(QStringLiteral("clearButton"), QStringLiteral("edit-delete"), QStringLiteral("Clear"),
                         QStringLiteral("Clear transcript"), section);
    m_copy->setStyleSheet(QStringLiteral("QToolButton:hover { background: rgba(10,132,255,38); color: #0a84ff;"
                                         " border-radius: 6px; }"));
    m_clear->setStyleSheet(QStringLiteral("QToolButton:hover { background: rgba(255,59,48,38); color: #ff3b30;"
                                          " border-radius: 6px; }"));
    connect(m_copy, &QToolButton::clicked, this, [this] { m_parts.controller.copyTranscript(); });
    connect(m_clear, &QToolButton::clicked, this, [this] { m_parts.controller.clearTranscript(); });
    row->addWidget(m_copy, 0, Qt::AlignVCenter);
    row->addWidget(m_clear, 0, Qt::AlignVCenter);
    return section;
}

QWidget* ContentView::makeFooter()
{
    // Two rows, so every item keeps its whole text at the popover's width: what is
    // said about the transcript and the build, then the two commands.
    auto* footer = new QWidget(this);
    auto* rows = new QVBoxLayout(footer);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    auto* facts = new QHBoxLayout;
    facts->setSpacing(10);
    auto* version = new QLabel(m_parts.versionLabel, footer);
    version->setObjectName(QStringLiteral("versionLabel"));
    QFont small(QStringLiteral("monospace"));
    small.setStyleHint(QFont::Monospace);
    small.setPixelSize(10);
    small.setWeight(QFont::Medium);
    version->setFont(small);
    version->setForegroundRole(QPalette::PlaceholderText);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    facts->addWidget(version);
    facts->addStretch(1);
    m_count = new QLabel(footer);
    m_count->setObjectName(QStringLiteral("characterCount"));
    m_count->setFont(small);
    m_count->setToolTip(QStringLiteral("Characters"));
    facts->addWidget(m_count);
    m_countdown = new QLabel(footer);
    m_countdown->setObjectName(QStringLiteral("autoClearCountdown"));
    m_countdown->setFont(small);
    m_countdown->setStyleSheet(QStringLiteral("color: rgba(255,149,0,153);"));
    m_countdown->setToolTip(QStringLiteral("The transcript clears itself"));
    facts->addWidget(m_countdown);
    rows->addLayout(facts);

    auto* commands = new QHBoxLayout;
    commands->setSpacing(10);
    if (m_parts.checkForUpdatesAction) {
        auto* updates = new QToolButton(footer);
        updates->setObjectName(QStringLiteral("checkForUpdatesButton"));
        updates->setDefaultAction(m_parts.checkForUpdatesAction);
        updates->setAutoRaise(true);
        commands->addWidget(updates);
    }
    commands->addStretch(1);
    if (m_parts.quitAction) {
        auto* quit = new QToolButton(footer);
        quit->setObjectName(QStringLiteral("quitButton"));
        quit->setDefaultAction(m_parts.quitAction);
        quit->setAutoRaise(true);
        quit->setToolTip(QStringLiteral("Quit Velmora (Ctrl+Q)"));
        commands->addWidget(quit);
    }
    if (m_parts.checkForUpdatesAction || m_parts.quitAction)
        rows->addLayout(commands);
    else
        delete commands;
    return footer;
}

void ContentView::setShowsSetup(bool shows)
{
    if (shows == m_showsSetup)
        return;
    m_showsSetup = shows;
    if (shows) {
        m_settings = new SettingsView(SettingsView::Parts{m_parts.controller, m_parts.models, m_parts.model,
                                                          m_parts.defaults, m_parts.doubleTapPermission,
                                                          m_parts.vocabularySync, m_parts.bridge,
                                                          m_parts.canPostKeys, &DiscoveredModel::discover, {},
                                                          m_parts.setLaunchAtLogin, m_parts.updater, m_parts.hotKey},
                                      m_pages);
        connect(m_settings, &SettingsView::closeRequested, this, [this] { setShowsSetup(false); });
        m_pages->addWidget(m_settings);
        m_pages->setCurrentWidget(m_settings);
        if (isActiveWindow())
            m_settings->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_pages->setCurrentIndex(0);
    // Its state goes with it, a shortcut being recorded first; it may be
    // closing from its own button, so it goes once that click is done.
    if (m_settings->shortcutRecorder().isRecording())
        m_settings->shortcutRecorder().cancelRecording();
    m_pages->removeWidget(m_settings);
    m_settings->hide();
    m_settings->deleteLater();
    m_settings = nullptr;
    m_parts.doubleTapPermission.refresh();
}

void ContentView::recordPressed()
{
    DictationController& controller = m_parts.controller;
    if (controller.isTranscribing())
        controller.cancelTranscription(DictationActivationSource::popoverCancelButton());
    else if (controller.isRecording())
        controller.stopRecording(DictationActivationSource::popoverRecordButton());
    else
        controller.startRecording(DictationActivationSource::popoverRecordButton());
}

void ContentView::refreshState()
{
    const DictationController& controller = m_parts.controller;
    const auto state = ContentViewText::recordButtonState(controller.isRecording(), controller.isTranscribing());
    m_record->setState(state);
    m_timer->setVisible(controller.isRecording());
    m_timer->setText(ContentViewText::elapsedText(controller.elapsedSeconds()));
    m_clear->setEnabled(!controller.isRecording() && !controller.isTranscribing());
    m_status->setText(controller.statusMessage());
    m_error->setMessage(controller.errorMessage());
    m_error->setVisible(!controller.errorMessage().isEmpty());
}

void ContentView::refreshTranscript()
{
    const QString transcript = m_parts.controller.transcript();
    m_editor->setModelText(transcript);
    m_copy->setEnabled(!ContentViewText::isBlank(transcript));
    refreshFooter();
}

void ContentView::refreshFooter()
{
    const auto count = ContentViewText::characterCount(m_parts.controller.transcript());
    m_count->setVisible(count.has_value());
    m_count->setText(count.value_or(QString()));
    const auto countdown = ContentViewText::autoClearText(m_parts.controller.autoClearRemaining());
    m_countdown->setVisible(countdown.has_value());
    m_countdown->setText(countdown ? QStringLiteral("⟲ ") + *countdown : QString());
}

void ContentView::refreshHotKeyHint()
{
    const auto* hotKey = m_parts.hotKey;
    const auto error = hotKey ? hotKey->registrationError() : std::nullopt;
    m_hotKeyHint->setVisible(error.has_value());
    if (!error)
        return;
    const QString shortcut = hotKey->registeredSettings() ? HotKeyCore::hotKeyDisplayString(*hotKey->registeredSettings())
                                                          : QStringLiteral("The hot key");
    m_hotKeyHint->setMessage(QStringLiteral("%1: %2 Choose another shortcut, or bind \"velmora --toggle\" to a key "
                                            "in your desktop's keyboard settings.")
                                 .arg(shortcut, platform::describe(*error)));
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_toast->place();
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_showsSetup)
        m_parts.doubleTapPermission.refresh();
}

} // namespace velmora
