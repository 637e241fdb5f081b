#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;

namespace AppCommands {

// A tray application has no menu bar to hold its Quit command: Ctrl+Q works in
// every one of its windows, and `quitAction` is the item a window shows for it.
// Both run the one quit request given here.
class AccessoryAppCommandMenu final : public QObject {
    Q_OBJECT
public:
    // Toolkit text fields bring their own editing shortcuts, so no editing
    // commands are added whatever `includeEditingCommands` says.
    static std::unique_ptr<AccessoryAppCommandMenu> installQuitMenu(const QString& appName, bool includeEditingCommands,
                                                                    std::function<void()> quit);
    ~AccessoryAppCommandMenu() override;

    QString quitTitle() const { return m_quitTitle; }
    QAction* quitAction() const { return m_quitAction; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AccessoryAppCommandMenu(const QString& appName, std::function<void()> quit);

    QString m_quitTitle;
    std::function<void()> m_quit;
    QAction* m_quitAction = nullptr;
};

} // namespace AppCommands
