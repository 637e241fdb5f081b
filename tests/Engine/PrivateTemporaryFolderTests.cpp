#include "Platform/Linux/PrivateTemporaryFolder.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora::platform;
namespace test = velmora::test;

namespace {

class PrivateTemporaryFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", base.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("TMPDIR", saved); }
    QString expected() const { return base.path() + QStringLiteral("/velmora-%1").arg(::getuid()); }
    static mode_t modeOf(const QString& path)
    {
        struct stat info {};
        ::lstat(path.toLocal8Bit().constData(), &info);
        return info.st_mode & 0777;
    }

    QTemporaryDir base;
    QByteArray saved;
};

TEST_F(PrivateTemporaryFolderTest, IsCreatedPrivateAndRepairedWhenTooOpen)
{
    ASSERT_EQ(std::get<QString>(PrivateTemporaryFolder::ensure()), expected());
    EXPECT_EQ(modeOf(expected()), 0700u);
    ::chmod(expected().toLocal8Bit().constData(), 0755);
    ASSERT_EQ(std::get<QString>(PrivateTemporaryFolder::ensure()), expected());
    EXPECT_EQ(modeOf(expected()), 0700u);
}

// Someone else got to the usual name first (after a reboot, any local user can): that folder is
// never used, and nothing of ours lands in it.
TEST_F(PrivateTemporaryFolderTest, ASquattedNameIsNeverUsed)
{
    enum class Squat { link, strangersFolder };
    enum class Runtime { privateFolder, openFolder, none };
    struct Case {
        const char* name;
        Squat squat;
        Runtime runtime;
        bool inRuntime; // else a fresh folder beside the usual name
    };
    const Case cases[] = {
        {"a link to elsewhere, a runtime folder", Squat::link, Runtime::privateFolder, true},
        {"another user's open folder, a runtime folder", Squat::strangersFolder, Runtime::privateFolder, true},
        {"another user's folder, no runtime folder", Squat::strangersFolder, Runtime::none, false},
        {"a link, a runtime folder others may enter", Squat::link, Runtime::openFolder, false},
    };
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir runtime;
        QDir().mkpath(base.path() + QStringLiteral("/elsewhere"));
        if (c.squat == Squat::link) {
            ASSERT_TRUE(QFile::link(base.path() + QStringLiteral("/elsewhere"), expected()));
        } else {
            if (::getuid() != 0)
                GTEST_SKIP() << "giving the folder to another user needs root";
            ASSERT_TRUE(QDir().mkdir(expected()));
            ASSERT_EQ(::chown(expected().toLocal8Bit().constData(), 4242, 4242), 0);
            ASSERT_EQ(::chmod(expected().toLocal8Bit().constData(), 0777), 0);
        }
        ::chmod(runtime.path().toLocal8Bit().constData(), c.runtime == Runtime::openFolder ? 0755 : 0700);
        qputenv("XDG_RUNTIME_DIR", c.runtime == Runtime::none ? QByteArray() : runtime.path().toLocal8Bit());

        const auto chosen = PrivateTemporaryFolder::ensure();
        ASSERT_TRUE(std::holds_alternative<QString>(chosen));
        const QString folder = std::get<QString>(chosen);
        if (c.inRuntime)
            EXPECT_EQ(folder, runtime.path() + QStringLiteral("/velmora"));
        else
            EXPECT_TRUE(folder.startsWith(expected() + QStringLiteral("-"))) << folder.toStdString();
        EXPECT_EQ(modeOf(folder), 0700u);
        EXPECT_EQ(std::get<QString>(PrivateTemporaryFolder::ensure()), folder) << "the same folder the next time";
        EXPECT_TRUE(QDir(base.path() + QStringLiteral("/elsewhere")).isEmpty());
        if (c.squat == Squat::strangersFolder)
            EXPECT_EQ(modeOf(expected()), 0777u) << "the stranger's folder is left as it was";
        QFile::remove(expected());
        QDir(expected()).removeRecursively();
        QDir(folder).removeRecursively();
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

// With no folder to be had at all, there is an error and no path.
TEST_F(PrivateTemporaryFolderTest, NoPrivateFolderAnywhereIsAnError)
{
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    test::writeFile(base.path() + QStringLiteral("/file"), "not a folder");
    qputenv("TMPDIR", (base.path() + QStringLiteral("/file")).toLocal8Bit());
    EXPECT_TRUE(std::holds_alternative<SystemError>(PrivateTemporaryFolder::ensure()));
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

TEST_F(PrivateTemporaryFolderTest, FollowsTmpdirAndFallsBackToTmp)
{
    EXPECT_EQ(PrivateTemporaryFolder::path(), expected());
    qputenv("TMPDIR", "");
    EXPECT_EQ(PrivateTemporaryFolder::path(), QStringLiteral("/tmp/velmora-%1").arg(::getuid()));
}

} // namespace
