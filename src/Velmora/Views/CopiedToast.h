#pragma once

#include <QLabel>

namespace velmora {

// "Copied to clipboard" in a green capsule, floating over the bottom of its parent.
class CopiedToast : public QLabel {
    Q_OBJECT
public:
    explicit CopiedToast(QWidget* parent);
    void place();

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace velmora
