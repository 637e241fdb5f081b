#pragma once

#include "ContentViewText.h"

#include <QAbstractButton>

namespace velmora {

// Two concentric circles in the state's colour with a white glyph: a
// microphone, a stop square while recording, a cross while transcribing.
class RecordButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit RecordButton(QWidget* parent = nullptr);

    void setState(ContentViewText::RecordButtonState state);
    ContentViewText::RecordButtonState state() const { return m_state; }
    QSize sizeHint() const override { return {76, 76}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    ContentViewText::RecordButtonState m_state = ContentViewText::RecordButtonState::idle;
};

} // namespace velmora
