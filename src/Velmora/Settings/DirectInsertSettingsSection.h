#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;

namespace velmora {

class DictationController;
class MessageBanner;

// "Insert into active app": the switch for pasting into the window in front, the
// space between dictations pasted one after the other, and the banner that says
// the text is only copied while keys cannot be sent.
class DirectInsertSettingsSection : public QWidget {
    Q_OBJECT
public:
    // `canPostKeys`: whether this session lets Velmora send the paste keys; `sessionLimits`:
    // which windows they cannot reach (Wayland ones, without a virtual keyboard), by default
    // the session's own word.
    DirectInsertSettingsSection(DictationController& controller, std::function<bool()> canPostKeys,
                                std::optional<QString> sessionLimits = std::nullopt, QWidget* parent = nullptr);

    bool hasPermission() const { return m_hasPermission.value_or(false); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refreshPermission();
    void refresh();

    DictationController& m_controller;
    std::function<bool()> m_canPostKeys;
    std::optional<bool> m_hasPermission;
    QString m_sessionLimits;
    QCheckBox* m_toggle;
    QCheckBox* m_spaceToggle;
    MessageBanner* m_banner;
};

} // namespace velmora
