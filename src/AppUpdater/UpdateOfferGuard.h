#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace AppUpdater {

// What the user answered to an offered update.
enum class UserUpdateChoice { skip = 0, install = 1, dismiss = 2 };
using UpdateReply = std::function<void(UserUpdateChoice)>;

// Keeps an offer on screen from installing an older version after a newer one
// was published: Install first asks the feed again, and a superseded offer is
// dismissed and a new check arranged for when the session ends. Main thread only.
class UpdateOfferGuard : public QObject {
    Q_OBJECT
public:
    enum class Recheck { interactive, background };
    // Asks the feed for its newest applicable version and answers once, on the main thread.
    using NewestVersion = std::function<void(std::function<void(std::optional<QString>)> answer)>;

    explicit UpdateOfferGuard(NewestVersion newestVersion, QObject* parent = nullptr);

    // The reply the offer should use instead of `reply`.
    UpdateReply guardOffer(const QString& version, UpdateReply reply);
    // Looks at the feed again for the pending offer (hourly, and after the computer wakes).
    void refresh();
    // The update session is over: the new check it arranged, if any; the offer is forgotten.
    std::optional<Recheck> sessionEnded();

    bool hasPendingOffer() const { return m_offer != nullptr; }
    std::optional<QString> dismissedVersion() const { return m_dismissedVersion; }

private:
    struct Offer {
        QString version;
        bool isConfirmingInstall = false;
        UpdateReply reply; // cleared once used: an offer is answered at most once
    };
    static void answer(Offer& offer, UserUpdateChoice choice);
    void confirmInstall(const std::shared_ptr<Offer>& offer);
    void whenSuperseded(const std::shared_ptr<Offer>& offer, std::function<void(bool superseded)> then);
    void supersede(Offer& offer, Recheck recheck);

    NewestVersion m_newestVersion;
    std::shared_ptr<Offer> m_offer;
    std::optional<Recheck> m_recheck;
    std::optional<QString> m_dismissedVersion;
};

} // namespace AppUpdater
