#include "Platform/Linux/PrivateTemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora::platform;

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

TEST_F(PrivateTemporaryFolderTest, APlantedLinkOrAStrangersFolderIsRefused)
{
    QDir().mkpath(base.path() + QStringLiteral("/elsewhere"));
    ASSERT_TRUE(QFile::link(base.path() + QStringLiteral("/elsewhere"), expected()));
    EXPECT_EQ(std::get<SystemError>(PrivateTemporaryFolder::ensure()), SystemError(ENOTDIR));
    QFile::remove(expected());

    ASSERT_TRUE(QDir().mkdir(expected()));
    if (::getuid() != 0)
        GTEST_SKIP() << "giving the folder to another user needs root";
    ASSERT_EQ(::chown(expected().toLocal8Bit().constData(), 4242, 4242), 0);
    EXPECT_EQ(std::get<SystemError>(PrivateTemporaryFolder::ensure()), SystemError(EPERM));
}

TEST_F(PrivateTemporaryFolderTest, FollowsTmpdirAndFallsBackToTmp)
{
    EXPECT_EQ(PrivateTemporaryFolder::path(), expected());
    qputenv("TMPDIR", "");
    EXPECT_EQ(PrivateTemporaryFolder::path(), QStringLiteral("/tmp/velmora-%1").arg(::getuid()));
}

} // namespace
