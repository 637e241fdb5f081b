#pragma once

#include <QWidget>

class QLabel;

namespace velmora {

// A full-width strip with a warning triangle and a message: the error banner
// (red) and the permission hint (orange).
class MessageBanner : public QWidget {
    Q_OBJECT
public:
    enum class Style { error, warning };
    explicit MessageBanner(Style style, QWidget* parent = nullptr);

    void setMessage(const QString& message);
    QString message() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style m_style;
    QLabel* m_text;
};

} // namespace velmora
