#pragma once

#include "PopoverEdge.h"

#include <QPointer>
#include <QWidget>

#include <optional>

namespace MenuBarPopover {

// The window a tray item opens: frameless, above other windows and without a
// taskbar entry. Where the desktop has no tray it becomes a small ordinary
// window instead (`setWindowed`), so the application always has a face.
class Popover : public QWidget {
    Q_OBJECT
public:
    explicit Popover(QWidget* parent = nullptr);
    ~Popover() override;

    void setContent(QWidget* content); // takes ownership; replaces the old content
    QWidget* content() const { return m_content; }
    void setContentSize(const QSize& size);

    bool isShown() const { return isVisible(); }
    bool isWindowed() const { return m_windowed; }
    void setWindowed(bool windowed);

    // Shows the popover next to `anchor` (screen coordinates) on its screen.
    void showRelativeTo(const QRect& anchor, PopoverEdge preferredEdge);
    // Shows the ordinary window where the window manager puts it.
    void showWindowed();
    void performClose();
    // Raises it and gives it the keyboard focus, once the window is on screen.
    void activate();

signals:
    void didClose();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyWindowFlags();
    void activateNow();

    QPointer<QWidget> m_content;
    bool m_windowed = false;
    bool m_activateWhenExposed = false;
    bool m_awaitingExpose = false;
    std::optional<QPoint> m_placement; // where it was put, until the window manager has said where it is
};

} // namespace MenuBarPopover
