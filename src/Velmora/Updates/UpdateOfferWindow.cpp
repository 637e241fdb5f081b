#include "UpdateOfferWindow.h"

#include "AppUpdater/BuildVersionDisplay.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

UpdateOfferWindow::UpdateOfferWindow(const AppUpdater::AppUpdater::Offer& offer, const QString& currentVersion,
                                     AppUpdater::UpdateReply reply, QWidget* parent)
    : QDialog(parent)
    , m_reply(std::move(reply))
{
    setObjectName(QStringLiteral("updateOfferWindow"));
    setWindowTitle(QStringLiteral("Software Update"));
    setAttribute(Qt::WA_DeleteOnClose);
    const AppUpdater::FeedItem& item = offer.item;
    const AppUpdater::BuildVersionDisplay display;
    auto* column = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("A new version of Velmora is available"), this);
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::DemiBold);
    titleFont.setPixelSize(15);
    title->setFont(titleFont);
    column->addWidget(title);
    auto* versions = new QLabel(QStringLiteral("Velmora %1 is available; you have %2.")
                                    .arg(display.displayVersion(item.displayVersion.value_or(*item.version), *item.version),
                                         currentVersion),
                                this);
    versions->setObjectName(QStringLiteral("updateVersions"));
    versions->setWordWrap(true);
    column->addWidget(versions);
    auto* notes = new QPlainTextEdit(item.releaseNotes.value_or(QString()), this);
    notes->setObjectName(QStringLiteral("updateNotes"));
    notes->setReadOnly(true);
    notes->setAccessibleName(QStringLiteral("Release notes"));
    column->addWidget(notes, 1);
    if (offer.note) {
        auto* note = new QLabel(*offer.note, this);
        note->setObjectName(QStringLiteral("updateNote"));
        note->setWordWrap(true);
        column->addWidget(note);
    }
    auto* buttons = new QHBoxLayout;
    auto* skip = new QPushButton(QStringLiteral("Skip This Version"), this);
    auto* later = new QPushButton(QStringLiteral("Remind Me Later"), this);
    auto* install = new QPushButton(QStringLiteral("Install"), this);
    install->setDefault(true);
    install->setEnabled(!offer.note); // a copy it cannot replace is told how instead
    buttons->addWidget(skip);
    buttons->addStretch(1);
    buttons->addWidget(later);
    buttons->addWidget(install);
    column->addLayout(buttons);
    connect(skip, &QPushButton::clicked, this, [this] { answer(AppUpdater::UserUpdateChoice::skip); });
    connect(later, &QPushButton::clicked, this, [this] { answer(AppUpdater::UserUpdateChoice::dismiss); });
    connect(install, &QPushButton::clicked, this, [this] { answer(AppUpdater::UserUpdateChoice::install); });
    resize(440, 320);
}

void UpdateOfferWindow::answer(AppUpdater::UserUpdateChoice choice)
{
    if (auto reply = std::exchange(m_reply, nullptr))
        reply(choice);
    close();
}

void UpdateOfferWindow::reject()
{
    if (auto reply = std::exchange(m_reply, nullptr))
        reply(AppUpdater::UserUpdateChoice::dismiss);
    QDialog::reject();
}

void UpdateOfferWindow::closeEvent(QCloseEvent* event)
{
    if (auto reply = std::exchange(m_reply, nullptr))
        reply(AppUpdater::UserUpdateChoice::dismiss);
    QDialog::closeEvent(event);
}

} // namespace velmora
