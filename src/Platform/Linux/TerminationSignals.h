#pragma once

#include <QObject>

class QSocketNotifier;

namespace velmora::platform {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so
// the application shuts down through its normal quit path.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace velmora::platform
