// Installing as a user does, in the rig's temporary HOME: scripts/install with
// the build tree's bundle, a login that starts the autostart entry the way a
// desktop session does, a reinstall over the running copy, scripts/uninstall.
#include "LaunchAtLogin/DesktopEntryExec.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QString script(const char* name)
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/scripts/") + QString::fromLatin1(name);
}

test::ProcessResult run(const QString& program, const QStringList& arguments)
{
    return test::runProcess(program, arguments, QProcessEnvironment::systemEnvironment(), std::chrono::minutes(2));
}

TEST(Install, InstallLogInReinstallAndUninstallAsAUserDoes)
{
    const QString home = env("HOME");
    const QString installed = home + "/Applications/Velmora/bin/velmora";
    const QString entry = env("XDG_DATA_HOME") + "/applications/velmora.desktop";
    const QString icons = env("XDG_DATA_HOME") + "/icons/hicolor";
    const QString autostart = env("XDG_CONFIG_HOME") + "/autostart/velmora.desktop";

    const auto install = run(script("install"), {"--bundle", test::bundleDir()});
    ASSERT_EQ(install.exitCode, 0) << install.standardError.toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return test::processesRunning(installed).size() == 1; }, 15s)) << "started from ~/Applications";

    // The menu entry: a desktop's own parser loads it and reads our program from it.
    const QString text = QString::fromUtf8(test::readFile(entry));
    ASSERT_TRUE(text.contains("Exec=")) << text.toStdString();
    const QString exec = text.section("Exec=", 1, 1).section('\n', 0, 0);
    EXPECT_EQ(LaunchAtLogin::DesktopEntryExec::split(exec), QStringList{installed});
    const auto validate = run("desktop-file-validate", {entry});
    EXPECT_EQ(validate.exitCode, 0) << validate.standardOutput.toStdString() << validate.standardError.toStdString();
    const auto opened = run("gio", {"launch", entry}); // a second launch: handed to the running copy
    EXPECT_EQ(opened.exitCode, 0) << opened.standardError.toStdString();
    for (const char* icon : {"scalable/apps/velmora.svg", "48x48/apps/velmora.png", "256x256/apps/velmora.png"})
        EXPECT_TRUE(QFile::exists(icons + "/" + icon)) << icon;
    QIcon::setThemeName("hicolor");
    EXPECT_TRUE(QIcon::hasThemeIcon("velmora")) << "the theme lookup finds the icon";

    // The installed copy asked to start at login; a login starts it from there.
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(autostart); }, 10s));
    const auto quit = run(installed, {"--quit"});
    EXPECT_EQ(quit.exitCode, 0);
    ASSERT_TRUE(test::waitUntil([&] { return test::processesRunning(installed).isEmpty(); }, 10s));
    const auto login = run("gio", {"launch", autostart});
    EXPECT_EQ(login.exitCode, 0) << login.standardError.toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return test::processesRunning(installed).size() == 1; }, 15s)) << "started at login";

    // The user's own data, which outlives the installation.
    const QString model = env("XDG_DATA_HOME") + "/Velmora/models/ggml-mine.bin";
    QDir().mkpath(QFileInfo(model).absolutePath());
    test::writeFile(model, "model");
    const QString preferences = env("XDG_CONFIG_HOME") + "/Velmora/preferences.json";
    if (!QFile::exists(preferences))
        test::writeFile(preferences, R"({"velmora.language": "de"})");

    // Reinstalling over the running copy quits it and starts the new one.
    const qint64 before = test::processesRunning(installed).value(0);
    const auto again = run(script("install"), {"--bundle", test::bundleDir()});
    ASSERT_EQ(again.exitCode, 0) << again.standardError.toStdString();
    ASSERT_TRUE(test::waitUntil([&] {
        const auto now = test::processesRunning(installed);
        return now.size() == 1 && now.first() != before;
    }, 15s));

    const auto uninstall = run(script("uninstall"), {});
    ASSERT_EQ(uninstall.exitCode, 0) << uninstall.standardError.toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return test::processesRunning(installed).isEmpty(); }, 10s));
    EXPECT_FALSE(QFileInfo::exists(home + "/Applications/Velmora"));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(QFile::exists(autostart));
    EXPECT_TRUE(QDir(icons).entryList({"*"}, QDir::Files).isEmpty());
    for (const char* icon : {"scalable/apps/velmora.svg", "48x48/apps/velmora.png"})
        EXPECT_FALSE(QFile::exists(icons + "/" + icon)) << icon;
    EXPECT_TRUE(QFile::exists(model)) << "the user's models stay";
    EXPECT_TRUE(QFile::exists(preferences)) << "and the settings";
}

} // namespace
