#pragma once

#include <QWidget>

class QLabel;
class QMenu;
class QToolButton;

namespace velmora {

class AudioDeviceManager;

// Which microphone records, and a menu to choose another. The dot on the
// microphone is green while the choice is usable, orange while the chosen
// device is away.
class MicrophonePickerView : public QWidget {
    Q_OBJECT
public:
    explicit MicrophonePickerView(AudioDeviceManager& devices, QWidget* parent = nullptr);

    QString deviceText() const;
    bool dotIsGreen() const;
    QMenu* menu() const { return m_menu; }

private:
    void refresh();
    void rebuildMenu();

    AudioDeviceManager& m_devices;
    QLabel* m_name;
    QToolButton* m_button;
    QMenu* m_menu;
};

} // namespace velmora
