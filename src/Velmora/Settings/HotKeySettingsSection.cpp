#include "HotKeySettingsSection.h"

#include "HotKeys/DoubleTapPermissionState.h"
#include "HotKeys/HotKeyModeStore.h"
#include "HotKeys/HotKeyNotifications.h"
#include "HotKeys/StandardHotKeySettingsStore.h"
#include "SettingsChip.h"
#include "SettingsStyle.h"
#include "Widgets/MessageBanner.h"
#include "Widgets/SymbolIcon.h"

#include "HotKeyCore/GlobalHotKeyManager.h"
#include "HotKeyCore/HotKeyDisplay.h"
#include "HotKeyCore/KeyShortcut.h"
#include "HotKeyCore/ShortcutRecorderController.h"
#include "Platform/DesktopSession.h"
#include "Platform/LogCategories.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace velmora {

namespace {

constexpr std::pair<DoubleTapModifier, const char*> modifierButtons[] = {
    {DoubleTapModifier::control, "Ctrl"},
    {DoubleTapModifier::option, "Alt"},
    {DoubleTapModifier::shift, "Shift"},
    {DoubleTapModifier::command, "Super"},
};

QString modifierLabel(DoubleTapModifier modifier)
{
    for (const auto& [value, label] : modifierButtons) {
        if (value == modifier)
            return QString::fromLatin1(label);
    }
    return {};
}

} // namespace

QString HotKeySettingsSection::shortcutFieldText(bool isRecording, std::uint32_t previewModifiers,
                                                 const HotKeyCore::HotKeySettings& settings)
{
    if (!isRecording)
        return HotKeyCore::hotKeySymbolDisplayString(settings);
    if (previewModifiers == 0)
        return QStringLiteral("Recording…");
    return HotKeyCore::hotKeyModifierSymbolString(previewModifiers) + QStringLiteral("…");
}

QString HotKeySettingsSection::thresholdText(double seconds)
{
    return QStringLiteral("%1 ms").arg(std::lround(seconds * 1000));
}

HotKeySettingsSection::HotKeySettingsSection(platform::PreferencesStore& defaults,
                                             HotKeyCore::ShortcutRecorderController& recorder,
                                             DoubleTapPermissionState& permission, std::function<void()> announce,
                                             QWidget* parent, std::optional<QString> sessionLimits,
                                             HotKeyCore::GlobalHotKeyManager* hotKey)
    : QWidget(parent)
    , m_defaults(defaults)
    , m_recorder(recorder)
    , m_permission(permission)
    , m_announce(announce ? std::move(announce) : [] { HotKeyNotifications::shared().postHotKeyChanged(); })
{
    setObjectName(QStringLiteral("hotKeySection"));
    m_settings = standardHotKeySettingsStore(m_defaults).load();
    const HotKeyModeStore modes = HotKeyModeStore::standard(m_defaults);
    m_mode = modes.mode();
    m_modifier = modes.doubleTapModifier();
    m_threshold = modes.doubleTapThreshold();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    m_enabled = SettingsStyle::toggle(QStringLiteral("Global Hotkey"), Symbol::keyboard,
                                      QStringLiteral("hotKeyEnabled"), this);
    column->addWidget(m_enabled);

    m_details = new QWidget(this);
    auto* details = new QVBoxLayout(m_details);
    details->setContentsMargins(0, 0, 0, 0);
    details->setSpacing(8);
    auto* modeRow = new QHBoxLayout;
    m_modes = new QButtonGroup(this);
    for (const auto& [mode, title] : {std::pair{HotKeyMode::combination, "Combo"}, std::pair{HotKeyMode::doubleTap, "Double-Tap"}}) {
        auto* button = new SettingsChip(QString::fromLatin1(title), std::nullopt, m_details);
        button->setAccessibleName(QStringLiteral("Trigger: %1").arg(QString::fromLatin1(title)));
        m_modes->addButton(button, int(mode));
        modeRow->addWidget(button);
    }
    details->addLayout(modeRow);

    auto* combination = new QWidget(m_details);
    m_combinationPage = combination;
    auto* combinationColumn = new QVBoxLayout(combination);
    combinationColumn->setContentsMargins(0, 0, 0, 0);
    auto* fieldRow = new QHBoxLayout;
    m_field = new QPushButton(combination);
    m_field->setObjectName(QStringLiteral("shortcutField"));
    m_field->setAccessibleName(QStringLiteral("Shortcut"));
    m_field->setToolTip(QStringLiteral("Click, then press the new shortcut"));
    fieldRow->addWidget(m_field, 1);
    auto* reset = new QToolButton(combination);
    reset->setObjectName(QStringLiteral("shortcutReset"));
    reset->setIcon(SymbolIcon::icon(Symbol::arrowCounterclockwiseCircleFill, SettingsStyle::secondary(palette())));
    reset->setAutoRaise(true);
    reset->setFocusPolicy(Qt::StrongFocus);
    reset->setToolTip(QStringLiteral("Reset to default (Control + Space)"));
    reset->setAccessibleName(QStringLiteral("Reset to default (Control + Space)"));
    fieldRow->addWidget(reset);
    combinationColumn->addLayout(fieldRow);
    m_hint = new QLabel(combination);
    m_hint->setObjectName(QStringLiteral("shortcutHint"));
    m_hint->setWordWrap(true);
    m_hint->setFont(SettingsStyle::font(font(), 11));
    combinationColumn->addWidget(m_hint);
    if (hotKey) {
        // While a new combination is recorded the current one is let go: grabbed, its
        // press would start a dictation, and it could never be recorded again.
        connect(&m_recorder, &HotKeyCore::ShortcutRecorderController::isRecordingChanged, hotKey,
                [hotKey](bool recording) { hotKey->setSuspended(recording); });
        connect(this, &QObject::destroyed, hotKey, [hotKey] { hotKey->setSuspended(false); });
        // A desktop service (the portal) binds the combination its own way and says how.
        auto* bound = new QLabel(combination);
        bound->setObjectName(QStringLiteral("shortcutBinding"));
        bound->setWordWrap(true);
        bound->setFont(SettingsStyle::font(font(), 11));
        combinationColumn->addWidget(bound);
        const auto follow = [bound, hotKey] {
            const QString description = hotKey->bindingDescription();
            bound->setVisible(!description.isEmpty());
            bound->setText(QStringLiteral("Bound by the desktop as %1").arg(description));
        };
        connect(hotKey, &HotKeyCore::GlobalHotKeyManager::registrationChanged, bound, follow);
        follow();
    }
    const QString limits = sessionLimits ? *sessionLimits : platform::DesktopSession::backends().globalShortcut.limits;
    if (!limits.isEmpty()) {
        auto* banner = new MessageBanner(MessageBanner::Style::warning, combination);
        banner->setObjectName(QStringLiteral("hotKeySessionBanner"));
        banner->setMessage(limits);
        combinationColumn->addWidget(banner);
    }
    details->addWidget(combination);

    auto* doubleTap = new QWidget(m_details);
    m_doubleTapPage = doubleTap;
    auto* doubleTapColumn = new QVBoxLayout(doubleTap);
    doubleTapColumn->setContentsMargins(0, 0, 0, 0);
    m_doubleTapLine = new QLabel(doubleTap);
    m_doubleTapLine->setObjectName(QStringLiteral("doubleTapLine"));
    m_doubleTapLine->setFont(SettingsStyle::font(font(), 11));
    doubleTapColumn->addWidget(m_doubleTapLine);
    auto* modifierRow = new QHBoxLayout;
    m_modifiers = new QButtonGroup(this);
    for (const auto& [modifier, label] : modifierButtons) {
        auto* button = new SettingsChip(QString::fromLatin1(label), std::nullopt, doubleTap);
        button->setAccessibleName(QStringLiteral("Double-tap %1").arg(QString::fromLatin1(label)));
        m_modifiers->addButton(button, int(modifier));
        modifierRow->addWidget(button);
    }
    doubleTapColumn->addLayout(modifierRow);
    auto* speedRow = new QHBoxLayout;
    auto* speedTitle = new QLabel(QStringLiteral("Speed"), doubleTap);
    speedRow->addWidget(speedTitle);
    auto* fast = new QLabel(QStringLiteral("Fast"), doubleTap);
    fast->setFont(SettingsStyle::font(font(), 9));
    fast->setForegroundRole(QPalette::PlaceholderText);
    speedRow->addWidget(fast);
    m_speed = new QSlider(Qt::Horizontal, doubleTap);
    m_speed->setObjectName(QStringLiteral("doubleTapSpeed"));
    m_speed->setAccessibleName(QStringLiteral("Double-tap speed"));
    m_speed->setRange(1, 6); // 50 to 300 ms in steps of 50
    m_speed->setPageStep(1);
    speedRow->addWidget(m_speed, 1);
    auto* slow = new QLabel(QStringLiteral("Slow"), doubleTap);
    slow->setFont(SettingsStyle::font(font(), 9));
    slow->setForegroundRole(QPalette::PlaceholderText);
    speedRow->addWidget(slow);
    m_speedValue = new QLabel(doubleTap);
    m_speedValue->setObjectName(QStringLiteral("doubleTapSpeedValue"));
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(10);
    m_speedValue->setFont(mono);
    m_speedValue->setMinimumWidth(44);
    m_speedValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    speedRow->addWidget(m_speedValue);
    doubleTapColumn->addLayout(speedRow);
    details->addWidget(doubleTap);
    column->addWidget(m_details);

    connect(m_enabled, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.isEnabled = on;
        persistHotKeySettings();
    });
    connect(m_modes, &QButtonGroup::idClicked, this, [this](int id) {
        m_mode = HotKeyMode(id);
        persistHotKeySettings();
    });
    connect(m_field, &QPushButton::clicked, this, &HotKeySettingsSection::beginShortcutRecording);
    connect(reset, &QToolButton::clicked, this, &HotKeySettingsSection::resetHotKeyToDefault);
    connect(m_modifiers, &QButtonGroup::idClicked, this, [this](int id) {
        m_modifier = DoubleTapModifier(id);
        persistHotKeySettings();
    });
    connect(m_speed, &QSlider::valueChanged, this, [this](int step) {
        const double threshold = step * 0.05;
        if (std::abs(threshold - m_threshold) < 1e-9)
            return;
        m_threshold = threshold;
        persistHotKeySettings();
    });
    connect(&m_recorder, &HotKeyCore::ShortcutRecorderController::isRecordingChanged, this,
            &HotKeySettingsSection::refresh);
    connect(&m_recorder, &HotKeyCore::ShortcutRecorderController::previewModifiersChanged, this,
            &HotKeySettingsSection::refresh);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && isVisible())
            m_permission.refresh();
    });
    refresh();
}

void HotKeySettingsSection::refresh()
{
    const QSignalBlocker enabledBlock(m_enabled);
    const QSignalBlocker speedBlock(m_speed);
    m_enabled->setChecked(m_settings.isEnabled);
    m_details->setVisible(m_settings.isEnabled);
    m_modes->button(int(m_mode))->setChecked(true);
    m_combinationPage->setVisible(m_mode == HotKeyMode::combination);
    m_doubleTapPage->setVisible(m_mode == HotKeyMode::doubleTap);
    const bool recording = m_recorder.isRecording();
    m_field->setText(shortcutFieldText(recording, m_recorder.previewModifiers(), m_settings));
    QFont fieldFont = SettingsStyle::font(font(), 12, recording ? QFont::DemiBold : QFont::Normal);
    m_field->setFont(fieldFont);
    if (m_recordingError) {
        m_hint->setText(*m_recordingError);
        m_hint->setStyleSheet(QStringLiteral("color: rgba(255,59,48,204);"));
    } else {
        m_hint->setText(recording ? QStringLiteral("Press modifier + key. Escape to cancel.") : QString());
        m_hint->setStyleSheet(QString());
    }
    m_hint->setVisible(!m_hint->text().isEmpty());
    m_doubleTapLine->setText(QStringLiteral("Double-tap %1 to toggle recording").arg(modifierLabel(m_modifier)));
    m_modifiers->button(int(m_modifier))->setChecked(true);
    for (QAbstractButton* button : m_modifiers->buttons())
        button->setFont(SettingsStyle::font(font(), 11, button->isChecked() ? QFont::DemiBold : QFont::Medium));
    m_speed->setValue(int(std::lround(m_threshold / 0.05)));
    m_speedValue->setText(thresholdText(m_threshold));
}

void HotKeySettingsSection::beginShortcutRecording()
{
    m_recordingError.reset();
    m_recorder.startRecordingKeyShortcut(
        [this](const HotKeyCore::KeyShortcut& shortcut) {
            m_settings = HotKeyCore::HotKeySettings(m_settings.isEnabled, shortcut);
            m_recordingError.reset();
            persistHotKeySettings();
        },
        [this](const QString& message) {
            m_recordingError = message;
            refresh();
        });
    refresh();
}

void HotKeySettingsSection::resetHotKeyToDefault()
{
    m_settings = HotKeyCore::HotKeySettings::defaultSettings();
    m_recordingError.reset();
    persistHotKeySettings();
}

void HotKeySettingsSection::persistHotKeySettings()
{
    // Settings first, then the mode with its clamped threshold, then the notice, then the permission.
    // A failed write is logged; the section goes on with the values it shows.
    for (const auto& error : {standardHotKeySettingsStore(m_defaults).save(m_settings),
                              HotKeyModeStore::standard(m_defaults).save(m_mode, m_modifier, m_threshold)}) {
        if (error)
            qCWarning(logging::preferences).noquote() << "a hot-key setting was not saved:" << platform::describe(*error);
    }
    m_threshold = HotKeyModeStore::standard(m_defaults).doubleTapThreshold();
    // No desktop here offers a prompt that grants watching other clients' keys.
    m_announce();
    m_permission.refresh();
    refresh();
}

void HotKeySettingsSection::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_permission.refresh();
}

} // namespace velmora
