#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace velmora {

class BrowserBridgeCoordinator;

// "Browser integration": the bridge's switch and its status line, straight
// from the coordinator, which stores, applies and reports each change.
class BrowserBridgeSettingsSection : public QWidget {
    Q_OBJECT
public:
    explicit BrowserBridgeSettingsSection(BrowserBridgeCoordinator& bridge, QWidget* parent = nullptr);

private:
    void refresh();

    BrowserBridgeCoordinator& m_bridge;
    QCheckBox* m_toggle;
    QLabel* m_status;
};

} // namespace velmora
