#include "UpdateOfferGuard.h"

#include "VersionComparator.h"

#include <QPointer>
#include <QTimer>

namespace AppUpdater {

UpdateOfferGuard::UpdateOfferGuard(NewestVersion newestVersion, QObject* parent)
    : QObject(parent)
    , m_newestVersion(std::move(newestVersion))
{
}

void UpdateOfferGuard::answer(Offer& offer, UserUpdateChoice choice)
{
    if (UpdateReply reply = std::exchange(offer.reply, nullptr))
        reply(choice);
}

UpdateReply UpdateOfferGuard::guardOffer(const QString& version, UpdateReply reply)
{
    if (m_offer)
        m_offer->reply = nullptr; // it can no longer answer
    if (const auto dismissed = std::exchange(m_dismissedVersion, std::nullopt)) {
        // The same or an older version than the one just dismissed is not guarded again.
        if (!VersionComparator::isNewer(version, *dismissed)) {
            m_offer.reset();
            return reply;
        }
    }
    auto offer = std::make_shared<Offer>(Offer{version, false, std::move(reply)});
    m_offer = offer;
    QPointer<UpdateOfferGuard> self(this);
    std::weak_ptr<Offer> weak = offer;
    return [self, weak](UserUpdateChoice choice) {
        const auto offer = weak.lock();
        // An offer already answered (dismissed as superseded, say) has nothing left to confirm.
        if (!offer || !offer->reply)
            return;
        if (choice != UserUpdateChoice::install) {
            answer(*offer, choice);
            return;
        }
        offer->isConfirmingInstall = true;
        QTimer::singleShot(0, self, [self, offer] {
            if (self)
                self->confirmInstall(offer);
        });
    };
}

void UpdateOfferGuard::whenSuperseded(const std::shared_ptr<Offer>& offer, std::function<void(bool)> then)
{
    if (!m_newestVersion) {
        then(false);
        return;
    }
    QPointer<UpdateOfferGuard> self(this);
    m_newestVersion([self, offer, then = std::move(then)](std::optional<QString> newest) {
        if (!self)
            return;
        then(newest && VersionComparator::isNewer(*newest, offer->version));
    });
}

void UpdateOfferGuard::confirmInstall(const std::shared_ptr<Offer>& offer)
{
    whenSuperseded(offer, [this, offer](bool superseded) {
        if (superseded)
            supersede(*offer, Recheck::interactive);
        else
            answer(*offer, UserUpdateChoice::install); // no newer version known, the feed unreachable included
    });
}

void UpdateOfferGuard::supersede(Offer& offer, Recheck recheck)
{
    if (!offer.reply)
        return;
    m_dismissedVersion = offer.version;
    m_recheck = recheck;
    answer(offer, UserUpdateChoice::dismiss);
}

void UpdateOfferGuard::refresh()
{
    const std::shared_ptr<Offer> offer = m_offer;
    if (!offer || !offer->reply || offer->isConfirmingInstall)
        return;
    whenSuperseded(offer, [this, offer](bool superseded) {
        // The user, or another refresh, may have answered meanwhile.
        if (superseded && offer->reply && !offer->isConfirmingInstall)
            supersede(*offer, Recheck::background);
    });
}

std::optional<UpdateOfferGuard::Recheck> UpdateOfferGuard::sessionEnded()
{
    if (m_offer)
        m_offer->reply = nullptr;
    m_offer.reset();
    return std::exchange(m_recheck, std::nullopt);
}

} // namespace AppUpdater
