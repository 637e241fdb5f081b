#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace AppUpdater {
class AppUpdater;
}

namespace velmora {

// "Updates" in the settings: automatic checks, what they do, and Check for Updates….
class UpdateSettingsSection : public QWidget {
    Q_OBJECT
public:
    explicit UpdateSettingsSection(AppUpdater::AppUpdater& updater, QWidget* parent = nullptr);

private:
    void refresh();

    AppUpdater::AppUpdater& m_updater;
    QCheckBox* m_automatic;
    QLabel* m_error;
    QPushButton* m_check;
};

} // namespace velmora
