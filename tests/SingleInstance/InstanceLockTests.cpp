#include "SingleInstance/InstanceLock.h"
#include "SingleInstance/SingleInstanceConfiguration.h"

#include "Platform/MemoryPreferencesStore.h"

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace SingleInstance;
using velmora::test::readFile;
using velmora::test::writeFile;

namespace {

SingleInstanceConfiguration configurationIn(const QString& base, const QString& identifier = QStringLiteral("com.orvane.velmora"))
{
    return {identifier, SingleInstancePolicy::alwaysSingle(), SingleInstanceLockLocation::directory(base)};
}

TEST(SingleInstanceConfiguration, DerivesNamesAndPathsFromTheIdentifier)
{
    const auto configuration = configurationIn(QStringLiteral("/base"));
    EXPECT_EQ(configuration.lockFileName(), QStringLiteral("com.orvane.velmora.lock"));
    EXPECT_EQ(configuration.activationSignalName(), QStringLiteral("com.orvane.velmora.single-instance.activate"));
    EXPECT_EQ(configuration.lockPath(), QStringLiteral("/base/com.orvane.velmora/com.orvane.velmora.lock"));
    EXPECT_EQ(configuration.duplicateLaunchRequestsPath(),
              QStringLiteral("/base/com.orvane.velmora/DuplicateLaunchRequests"));

    const SingleInstanceConfiguration custom(QStringLiteral("id"), SingleInstancePolicy::alwaysSingle(),
                                             SingleInstanceLockLocation::directory(QStringLiteral("/b")),
                                             QStringLiteral("x.lock"), QStringLiteral("wake"));
    EXPECT_EQ(custom.lockPath(), QStringLiteral("/b/id/x.lock"));
    EXPECT_EQ(custom.activationSignalName(), QStringLiteral("wake"));
}

TEST(SingleInstanceConfiguration, AnEmptyIdentifierFallsBackToTheProcessName)
{
    const auto configuration = configurationIn(QStringLiteral("/b"), QString());
    const QString processName = QString::fromLocal8Bit(program_invocation_short_name);
    EXPECT_EQ(configuration.bundleIdentifier(), processName);
    EXPECT_EQ(configuration.lockFileName(), processName + QStringLiteral(".lock"));
    EXPECT_EQ(configuration.activationSignalName(), processName + QStringLiteral(".single-instance.activate"));
    EXPECT_EQ(SingleInstanceConfiguration::defaultBundleIdentifier(QStringLiteral("a.b")), QStringLiteral("a.b"));
}

TEST(SingleInstanceConfiguration, ApplicationSupportIsTheXdgDataFolder)
{
    const SingleInstanceConfiguration configuration(QStringLiteral("com.orvane.velmora"),
                                                    SingleInstancePolicy::alwaysSingle(),
                                                    SingleInstanceLockLocation::applicationSupport());
    EXPECT_EQ(configuration.lockPath(), QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"))
                                            + QStringLiteral("/com.orvane.velmora/com.orvane.velmora.lock"));
}

TEST(SingleInstancePolicy, OnlyAStoredTrueAllowsMultipleInstances)
{
    auto store = std::make_shared<velmora::platform::MemoryPreferencesStore>();
    const auto policy = SingleInstancePolicy::userDefaults(store, QStringLiteral("allowMultipleInstances"));
    EXPECT_FALSE(policy.allowsMultipleInstances());
    store->setString(QStringLiteral("allowMultipleInstances"), QStringLiteral("true"));
    EXPECT_FALSE(policy.allowsMultipleInstances());
    store->setBool(QStringLiteral("allowMultipleInstances"), true);
    EXPECT_TRUE(policy.allowsMultipleInstances());
    EXPECT_FALSE(SingleInstancePolicy::alwaysSingle().allowsMultipleInstances());
}

class InstanceLockTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString lockPath() const { return configurationIn(dir.path()).lockPath(); }

    // Tries the lock from a real second process; returns what it got.
    static std::optional<InstanceLockError> acquireInChild(const QString& path)
    {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return std::nullopt;
        const pid_t child = ::fork();
        if (child == 0) {
            auto result = InstanceLock::acquire(path);
            int code = -1;
            if (const auto* error = std::get_if<InstanceLockError>(&result))
                code = int(error->kind()) * 1000 + error->errorNumber();
            [[maybe_unused]] auto n = ::write(pipeFds[1], &code, sizeof code);
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        int code = -2;
        [[maybe_unused]] auto n = ::read(pipeFds[0], &code, sizeof code);
        ::close(pipeFds[0]);
        ::waitpid(child, nullptr, 0);
        if (code == int(InstanceLockError::Kind::alreadyRunning) * 1000)
            return InstanceLockError::alreadyRunning();
        if (code < 0)
            return std::nullopt;
        return InstanceLockError::lockFailed(code % 1000);
    }
};

TEST_F(InstanceLockTest, FirstLaunchCreatesThePrivateLockFileWithThePid)
{
    auto result = InstanceLock::acquire(lockPath());
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<InstanceLock>>(result));
    EXPECT_TRUE(QFileInfo(dir.path() + QStringLiteral("/com.orvane.velmora")).isDir());
    EXPECT_EQ(readFile(lockPath()), QByteArray::number(::getpid()) + '\n');
    struct stat info {};
    ASSERT_EQ(::stat(lockPath().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(InstanceLockTest, ASecondProcessIsToldAnotherCopyRunsAndLeavesTheFileAlone)
{
    auto held = InstanceLock::acquire(lockPath());
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<InstanceLock>>(held));
    const QByteArray before = readFile(lockPath());
    EXPECT_EQ(acquireInChild(lockPath()), InstanceLockError::alreadyRunning());
    EXPECT_EQ(readFile(lockPath()), before);

    held = InstanceLockError::alreadyRunning(); // releases the lock
    EXPECT_EQ(acquireInChild(lockPath()), std::nullopt) << "released: the next process gets it";
}

TEST_F(InstanceLockTest, ANewHolderOverwritesALongerStalePid)
{
    QDir().mkpath(QFileInfo(lockPath()).absolutePath());
    writeFile(lockPath(), "123456789012345\n", 0600);
    auto result = InstanceLock::acquire(lockPath());
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<InstanceLock>>(result));
    EXPECT_EQ(readFile(lockPath()), QByteArray::number(::getpid()) + '\n');
}

TEST_F(InstanceLockTest, FailuresCarryTheirErrorNumbers)
{
    writeFile(dir.path() + QStringLiteral("/file"), "x");
    struct Case {
        const char* name;
        QString path;
        InstanceLockError expected;
    };
    QDir().mkpath(dir.path() + QStringLiteral("/id/a-folder.lock"));
    const Case cases[] = {
        {"folder below a file", dir.path() + QStringLiteral("/file/id/x.lock"), InstanceLockError::createFolderFailed(ENOTDIR)},
        {"lock path is a folder", dir.path() + QStringLiteral("/id/a-folder.lock"), InstanceLockError::openFailed(EISDIR)},
    };
    for (const auto& c : cases) {
        auto result = InstanceLock::acquire(c.path);
        ASSERT_TRUE(std::holds_alternative<InstanceLockError>(result)) << c.name;
        EXPECT_EQ(std::get<InstanceLockError>(result), c.expected) << c.name;
    }
    EXPECT_EQ(InstanceLockError::openFailed(13).description(), QStringLiteral("openFailed(errno: 13)"));
    EXPECT_EQ(InstanceLockError::lockFailed(5).description(), QStringLiteral("lockFailed(errno: 5)"));
    EXPECT_EQ(InstanceLockError::createFolderFailed(20).description(), QStringLiteral("createFolderFailed(errno: 20)"));
}

} // namespace
