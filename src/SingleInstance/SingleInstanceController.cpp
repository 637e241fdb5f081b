#include "SingleInstanceController.h"

#include "DuplicateLaunchRequestStore.h"

#include "Platform/LogCategories.h"

namespace SingleInstance {

SingleInstanceController::SingleInstanceController(SingleInstanceConfiguration configuration,
                                                   std::unique_ptr<InstanceLock> lock)
    : m_configuration(std::move(configuration))
    , m_lock(std::move(lock))
{
}

SingleInstanceController::~SingleInstanceController()
{
    // First: the observer thread must be done with `this` before anything goes.
    if (m_observation)
        m_observation->cancel();
}

SingleInstanceStartupResult SingleInstanceController::start(const SingleInstanceConfiguration& configuration,
                                                            const DuplicateLaunchRequest& duplicateLaunchRequest)
{
    if (configuration.policy().allowsMultipleInstances()) {
        return {SingleInstanceStartupResult::Kind::run,
                std::unique_ptr<SingleInstanceController>(new SingleInstanceController(configuration, nullptr)),
                std::nullopt};
    }

    auto acquired = InstanceLock::acquire(configuration.lockPath());
    if (auto* lock = std::get_if<std::unique_ptr<InstanceLock>>(&acquired)) {
        std::unique_ptr<SingleInstanceController> controller(
            new SingleInstanceController(configuration, std::move(*lock)));
        controller->startObserving();
        return {SingleInstanceStartupResult::Kind::run, std::move(controller), std::nullopt};
    }

    const InstanceLockError error = std::get<InstanceLockError>(acquired);
    // Wake the running copy in either case; a record that cannot be written costs only the record.
    if (const auto postError = DuplicateLaunchRequestStore::post(duplicateLaunchRequest, configuration))
        qCWarning(velmora::logging::singleInstance).noquote() << describe(*postError);
    if (error.kind() == InstanceLockError::Kind::alreadyRunning)
        return {SingleInstanceStartupResult::Kind::alreadyRunning, nullptr, std::nullopt};
    return {SingleInstanceStartupResult::Kind::failed, nullptr, error};
}

void SingleInstanceController::startObserving()
{
    // The listener thread only posts to the main thread; the destructor stops
    // it before `this` goes away, so the raw pointer cannot dangle.
    m_observation = DuplicateLaunchSignal::observe(m_configuration.activationSignalName(), [this] {
        QMetaObject::invokeMethod(this, &SingleInstanceController::signalArrived, Qt::QueuedConnection);
    });
    if (!m_observation)
        qCWarning(velmora::logging::singleInstance) << "duplicate launches will not reach this copy";
}

void SingleInstanceController::signalArrived()
{
    if (!m_handler) {
        m_pendingActivation = true;
        return;
    }
    deliver();
}

void SingleInstanceController::deliver()
{
    const QList<DuplicateLaunchRequest> requests = DuplicateLaunchRequestStore::consumePending(m_configuration);
    m_handler(requests);
}

void SingleInstanceController::setActivationHandler(std::function<void()> handler)
{
    setDuplicateLaunchHandler([handler = std::move(handler)](const QList<DuplicateLaunchRequest>&) { handler(); });
}

void SingleInstanceController::setDuplicateLaunchHandler(DuplicateLaunchHandler handler)
{
    m_handler = std::move(handler);
    if (m_pendingActivation && m_handler) {
        m_pendingActivation = false;
        deliver();
    }
}

} // namespace SingleInstance
