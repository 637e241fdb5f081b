#include "OfferGuardingUserDriver.h"

namespace AppUpdater {

OfferGuardingUserDriver::OfferGuardingUserDriver(ShowUpdateFound standard)
    : m_standard(std::move(standard))
{
}

void OfferGuardingUserDriver::showUpdateFound(const UpdateOffer& offer, UpdateReply reply)
{
    if (guardOffer)
        reply = guardOffer(offer.item, std::move(reply));
    if (m_standard)
        m_standard(offer, std::move(reply));
    if (didShowUpdateFound)
        didShowUpdateFound();
}

} // namespace AppUpdater
