#pragma once

#include "AppUpdater/AppUpdater.h"

#include <QDialog>

namespace velmora {

// The offer of a new version: what it is, its notes as plain text, and the
// three answers. Closing the window is "Remind Me Later".
class UpdateOfferWindow : public QDialog {
    Q_OBJECT
public:
    UpdateOfferWindow(const AppUpdater::AppUpdater::Offer& offer, const QString& currentVersion,
                      AppUpdater::UpdateReply reply, QWidget* parent = nullptr);

public slots:
    // Escape: hides a dialog without closing it, so it answers here too.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void answer(AppUpdater::UserUpdateChoice choice);

    AppUpdater::UpdateReply m_reply;
};

} // namespace velmora
