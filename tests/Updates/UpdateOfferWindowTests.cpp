// The offer window and "Check for Updates…" as real widgets on the rig's X
// server: what the window says, that each answer reaches the engine once, and
// that the command follows what the updater can do.
#include "AppUpdater/AppUpdater.h"
#include "Updates/AppUpdateCommands.h"
#include "Updates/UpdateOfferWindow.h"

#include "HttpsTestServer.h"
#include "ReleaseKey.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;
using AppUpdater::UserUpdateChoice;

namespace {

AppUpdater::UpdateOffer offerOf(std::optional<QString> note = std::nullopt)
{
    AppUpdater::FeedItem item;
    item.version = "20991231000000";
    item.displayVersion = "2.0";
    item.releaseNotes = "<b>Faster</b> dictation & fewer clicks.";
    return {item, note};
}

QPushButton* button(QWidget& window, const QString& text)
{
    for (auto* candidate : window.findChildren<QPushButton*>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

TEST(UpdateOfferWindow, SaysWhatIsOfferedAndEachAnswerReachesTheEngineOnce)
{
    struct Case {
        const char* name;
        std::function<void(UpdateOfferWindow&)> answer;
        UserUpdateChoice choice;
    };
    const Case cases[] = {
        {"Install", [](UpdateOfferWindow& w) { QTest::mouseClick(button(w, "Install"), Qt::LeftButton); },
         UserUpdateChoice::install},
        {"Return presses Install", [](UpdateOfferWindow& w) { QTest::keyClick(&w, Qt::Key_Return); },
         UserUpdateChoice::install},
        {"Skip This Version",
         [](UpdateOfferWindow& w) { QTest::mouseClick(button(w, "Skip This Version"), Qt::LeftButton); },
         UserUpdateChoice::skip},
        {"Remind Me Later",
         [](UpdateOfferWindow& w) { QTest::mouseClick(button(w, "Remind Me Later"), Qt::LeftButton); },
         UserUpdateChoice::dismiss},
        {"closing the window", [](UpdateOfferWindow& w) { w.close(); }, UserUpdateChoice::dismiss},
        {"Escape", [](UpdateOfferWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); }, UserUpdateChoice::dismiss},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<UserUpdateChoice> given;
        QPointer<UpdateOfferWindow> window =
            new UpdateOfferWindow(offerOf(), "1.0", [&](UserUpdateChoice choice) { given.append(choice); });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_EQ(window->windowTitle(), "Software Update");
        const QString versions = window->findChild<QLabel*>("updateVersions")->text();
        EXPECT_TRUE(versions.startsWith("Velmora 2.0 (2099-12-31")) << versions.toStdString();
        EXPECT_TRUE(versions.endsWith("is available; you have 1.0.")) << versions.toStdString();
        EXPECT_EQ(window->findChild<QPlainTextEdit*>("updateNotes")->toPlainText(),
                  "<b>Faster</b> dictation & fewer clicks.") << "the notes are plain text, not markup";
        EXPECT_TRUE(button(*window, "Install")->isEnabled());
        c.answer(*window);
        EXPECT_EQ(given, QList<UserUpdateChoice>{c.choice});
        EXPECT_TRUE(test::waitUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return window.isNull();
        }, 2s)) << "the window goes once answered";
        EXPECT_EQ(given.size(), 1) << "closing after an answer answers nothing more";
    }

    // A copy that cannot replace itself says how to update it, and cannot install.
    QList<UserUpdateChoice> given;
    QPointer<UpdateOfferWindow> window = new UpdateOfferWindow(
        offerOf("Velmora in /opt/Velmora belongs to the system: install the update with your package manager."), "1.0",
        [&](UserUpdateChoice choice) { given.append(choice); });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(window->findChild<QLabel*>("updateNote")->text().contains("package manager"));
    EXPECT_FALSE(button(*window, "Install")->isEnabled());
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_FALSE(given.contains(UserUpdateChoice::install)) << "Return does not install what cannot be installed";
    if (window)
        window->close();
}

TEST(AppUpdateCommands, CheckForUpdatesFollowsTheUpdater)
{
    test::HttpsTestServer server;
    test::ReleaseKey key;
    qputenv("SSL_CERT_FILE", server.caFile().toLocal8Bit());
    auto silent = test::HttpsTestServer::Route{};
    silent.silent = true;
    server.route("/feed.xml", silent);

    AppUpdater::AppUpdater::Environment environment;
    environment.info = QJsonObject{{"CFBundleVersion", "20200101000000"}};
    AppUpdater::AppUpdater unconfigured(environment);
    AppUpdateCommands plain(unconfigured);
    EXPECT_EQ(plain.checkForUpdates()->text(), "Check for Updates…");
    EXPECT_FALSE(plain.checkForUpdates()->isEnabled()) << "a build without a feed cannot check";

    environment.info["SUFeedURL"] = server.url("/feed.xml").toString();
    environment.info["SUPublicEDKey"] = key.publicKey();
    AppUpdater::AppUpdater updater(environment);
    AppUpdateCommands commands(updater);
    EXPECT_TRUE(commands.checkForUpdates()->isEnabled());
    commands.checkForUpdates()->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return server.requests("/feed.xml") == 1; }, 5s)) << "it asks the feed";
    EXPECT_FALSE(commands.checkForUpdates()->isEnabled()) << "not twice at once";
    commands.checkForUpdates()->trigger();
    QTest::qWait(200);
    EXPECT_EQ(server.requests("/feed.xml"), 1);
    EXPECT_TRUE(test::waitUntil([&] { return commands.checkForUpdates()->isEnabled(); }, 15s))
        << "enabled again once the check has given up";
    qunsetenv("SSL_CERT_FILE");
}

} // namespace
