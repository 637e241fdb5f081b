#pragma once

#include "UpdateOffer.h"
#include "UpdateOfferGuard.h"

#include <functional>

namespace AppUpdater {

// Every offer of a found update passes here on its way to the window: the
// guard may hand the window a reply of its own, and the engine hears once the
// offer is on screen.
class OfferGuardingUserDriver {
public:
    using ShowUpdateFound = std::function<void(const UpdateOffer& offer, UpdateReply reply)>;

    // `standard` shows the offer (the window); without it nothing is shown.
    explicit OfferGuardingUserDriver(ShowUpdateFound standard);

    std::function<UpdateReply(const FeedItem& item, UpdateReply reply)> guardOffer;
    std::function<void()> didShowUpdateFound;

    void showUpdateFound(const UpdateOffer& offer, UpdateReply reply);

private:
    ShowUpdateFound m_standard;
};

} // namespace AppUpdater
