#pragma once

#include "SingleInstanceController.h"

#include <functional>

namespace SingleInstance {

namespace SingleInstanceStartup {

// The controller when this copy is to run; on a lock failure calls onFailure
// and returns null; when another copy runs, returns null quietly.
std::unique_ptr<SingleInstanceController> start(const SingleInstanceConfiguration& configuration,
                                                const DuplicateLaunchRequest& duplicateLaunchRequest,
                                                const std::function<void(const InstanceLockError&)>& onFailure);

} // namespace SingleInstanceStartup

} // namespace SingleInstance
