// The window in front on KDE Plasma: Velmora's script runs inside a KWin
// stand-in (real JavaScript against Plasma 5's and Plasma 6's workspace) and
// calls back over the rig's session bus.
#include "Platform/Linux/KWinFrontmostApplication.h"

#include "KWinStandIn.h"
#include "TestSupport.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QSignalSpy>

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::platform;
using namespace std::chrono_literals;

namespace {

// What answers before KWin has spoken: the X11 view of a Wayland session.
struct FixedFrontmost : FrontmostApplicationSource {
    std::optional<FrontmostApplication> current() override
    {
        return FrontmostApplication{FrontmostApplication::unseenWaylandWindow};
    }
};

const QVariantMap konsole{{"resourceClass", "org.kde.konsole"}, {"resourceName", "konsole"},
                          {"caption", "~ : bash"}, {"pid", 4242}, {"internalId", "{6f1c}"}};
const QVariantMap kate{{"resourceClass", "org.kde.kate"}, {"resourceName", "kate"},
                       {"caption", "notes.txt"}, {"pid", 4343}, {"internalId", "{7a2d}"}};

std::unique_ptr<KWinFrontmostApplication> follow()
{
    return std::make_unique<KWinFrontmostApplication>(std::make_unique<FixedFrontmost>());
}

TEST(KWinFrontmostApplication, FollowsTheActiveWindowOnPlasma5And6)
{
    // The application's name comes from its desktop entry; the caption (a window title) is never kept.
    QTemporaryDir data;
    QDir().mkpath(data.path() + "/applications");
    test::writeFile(data.path() + "/applications/org.kde.konsole.desktop",
                    "[Desktop Entry]\nType=Application\nName=Konsole\nName[de]=Konsole (de)\n");
    qputenv("XDG_DATA_DIRS", data.path().toLocal8Bit());
    for (const auto plasma : {test::KWinStandIn::Plasma::six, test::KWinStandIn::Plasma::five}) {
        SCOPED_TRACE(plasma == test::KWinStandIn::Plasma::six ? "Plasma 6" : "Plasma 5");
        test::KWinStandIn kwin(plasma);
        ASSERT_TRUE(kwin.isServing());
        kwin.activate(konsole);
        auto source = follow();
        EXPECT_EQ(source->current()->window, FrontmostApplication::unseenWaylandWindow) << "before KWin speaks";
        ASSERT_TRUE(test::waitUntil([&] { return source->isFollowing(); }, 5s)) << kwin.calls.join(' ').toStdString();
        EXPECT_TRUE(kwin.scriptErrors.isEmpty()) << kwin.scriptErrors.join('\n').toStdString();

        // The window active when the script starts is told at once.
        const auto first = source->current();
        ASSERT_TRUE(first.has_value());
        EXPECT_EQ(first->identifier, "org.kde.konsole");
        EXPECT_EQ(first->instance, "konsole");
        EXPECT_EQ(first->name, "Konsole");
        EXPECT_EQ(first->processId, 4242);

        kwin.activate(kate);
        ASSERT_TRUE(test::waitUntil([&] { return source->current() && source->current()->processId == 4343; }, 5s));
        EXPECT_NE(source->current()->window, first->window);
        kwin.activate(konsole);
        ASSERT_TRUE(test::waitUntil([&] { return source->current() && source->current()->processId == 4242; }, 5s));
        EXPECT_EQ(source->current()->window, first->window) << "a window keeps its number";
        kwin.activate({});
        EXPECT_TRUE(test::waitUntil([&] { return !source->current().has_value(); }, 5s)) << "no window is active";
        EXPECT_TRUE(kwin.scriptErrors.isEmpty()) << kwin.scriptErrors.join('\n').toStdString();

        source.reset();
        EXPECT_TRUE(test::waitUntil([&] { return kwin.loaded.isEmpty(); }, 5s)) << "the script is unloaded when Velmora goes";
    }
}

// Only KWin may say which window is active; a script an earlier copy left
// behind is replaced; where KWin refuses the script, the fallback answers.
TEST(KWinFrontmostApplication, TrustsOnlyKWinReplacesALeftoverAndFallsBack)
{
    test::KWinStandIn kwin;
    ASSERT_TRUE(kwin.isServing());
    kwin.loaded.insert(KWinFrontmostApplication::pluginName, "/tmp/left-behind.js");
    kwin.activate(konsole);
    auto source = follow();
    ASSERT_TRUE(test::waitUntil([&] { return source->isFollowing(); }, 5s)) << kwin.calls.join(' ').toStdString();
    EXPECT_EQ(kwin.calls.mid(0, 3), (QStringList{"unloadScript", "loadScript", "run"}));
    EXPECT_NE(kwin.loaded.value(KWinFrontmostApplication::pluginName), "/tmp/left-behind.js");

    auto impostor = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "impostor");
    QDBusMessage lie = QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(), "/org/velmora/ActiveWindow",
                                                      "org.velmora.ActiveWindow", "Activated");
    lie << "evil" << "evil" << "evil" << "1" << "{evil}";
    QDBusPendingCall answered = impostor.asyncCall(lie);
    ASSERT_TRUE(test::waitUntil([&] { return answered.isFinished(); }, 5s));
    EXPECT_FALSE(answered.isError()) << answered.error().message().toStdString();
    ASSERT_TRUE(source->current().has_value());
    EXPECT_EQ(source->current()->identifier, "org.kde.konsole") << "the lie changed nothing";
    QDBusConnection::disconnectFromBus("impostor");
    source.reset();

    kwin.refuseScripts = true;
    source = follow();
    QSignalSpy failed(source.get(), &KWinFrontmostApplication::failed);
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_EQ(failed.first().first().toString(), "KWin did not load the script");
    EXPECT_FALSE(source->isFollowing());
    EXPECT_EQ(source->current()->window, FrontmostApplication::unseenWaylandWindow);
}

// Without KWin on the bus nothing is followed and nothing hangs.
TEST(KWinFrontmostApplication, WithoutKWinTheFallbackAnswers)
{
    auto source = follow();
    QSignalSpy failed(source.get(), &KWinFrontmostApplication::failed);
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(failed.first().first().toString().startsWith("KWin's scripting is not there")) << failed.first().first().toString().toStdString();
    EXPECT_EQ(source->current()->window, FrontmostApplication::unseenWaylandWindow);
}

} // namespace
