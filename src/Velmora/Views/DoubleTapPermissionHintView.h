#pragma once

#include <QWidget>

namespace velmora {

class DoubleTapPermissionState;
class MessageBanner;

// The warning that double tap cannot work in this session, shown only while
// the permission state says so. The desktop has no settings page that grants
// it, so the banner offers no button.
class DoubleTapPermissionHintView : public QWidget {
    Q_OBJECT
public:
    explicit DoubleTapPermissionHintView(DoubleTapPermissionState& state, QWidget* parent = nullptr);

private:
    DoubleTapPermissionState& m_state;
    MessageBanner* m_banner;
};

} // namespace velmora
