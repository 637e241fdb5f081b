#include "SingleInstanceStartup.h"

namespace SingleInstance::SingleInstanceStartup {

std::unique_ptr<SingleInstanceController> start(const SingleInstanceConfiguration& configuration,
                                                const DuplicateLaunchRequest& duplicateLaunchRequest,
                                                const std::function<void(const InstanceLockError&)>& onFailure)
{
    SingleInstanceStartupResult result = SingleInstanceController::start(configuration, duplicateLaunchRequest);
    switch (result.kind) {
    case SingleInstanceStartupResult::Kind::run:
        return std::move(result.controller);
    case SingleInstanceStartupResult::Kind::failed:
        if (onFailure)
            onFailure(*result.error);
        return nullptr;
    case SingleInstanceStartupResult::Kind::alreadyRunning:
        return nullptr;
    }
    return nullptr;
}

} // namespace SingleInstance::SingleInstanceStartup
