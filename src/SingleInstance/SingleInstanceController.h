#pragma once

#include "DuplicateLaunchRequest.h"
#include "DuplicateLaunchSignal.h"
#include "InstanceLock.h"
#include "SingleInstanceConfiguration.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

namespace SingleInstance {

class SingleInstanceController;

struct SingleInstanceStartupResult {
    enum class Kind { run, failed, alreadyRunning };

    Kind kind;
    std::unique_ptr<SingleInstanceController> controller; // with run
    std::optional<InstanceLockError> error;               // with failed
};

// Decides at start whether this copy runs, and in the copy that runs, turns
// duplicate-launch signals into handler calls on the main thread.
class SingleInstanceController final : public QObject {
    Q_OBJECT

public:
    using DuplicateLaunchHandler = std::function<void(const QList<DuplicateLaunchRequest>&)>;

    // Once, on the main thread, before the event loop runs.
    static SingleInstanceStartupResult start(const SingleInstanceConfiguration& configuration,
                                             const DuplicateLaunchRequest& duplicateLaunchRequest);

    ~SingleInstanceController() override;

    const SingleInstanceConfiguration& configuration() const { return m_configuration; }
    bool isEnforcingSingleInstance() const { return m_lock != nullptr; }
    bool isObserving() const { return m_observation != nullptr; }
    // A signal came while no handler was installed.
    bool hasPendingActivation() const { return m_pendingActivation; }

    // The requests are collected (and so removed) but not passed on.
    void setActivationHandler(std::function<void()> handler);
    // A signal that came before any handler is delivered now, once.
    void setDuplicateLaunchHandler(DuplicateLaunchHandler handler);

private:
    SingleInstanceController(SingleInstanceConfiguration configuration, std::unique_ptr<InstanceLock> lock);
    void startObserving();
    void signalArrived();
    void deliver();

    SingleInstanceConfiguration m_configuration;
    std::unique_ptr<InstanceLock> m_lock;
    std::unique_ptr<DuplicateLaunchSignalObservation> m_observation;
    DuplicateLaunchHandler m_handler;
    bool m_pendingActivation = false;
};

} // namespace SingleInstance
