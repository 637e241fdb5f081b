#include "Platform/Linux/JsonFilePreferencesStore.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using velmora::platform::JsonFilePreferencesStore;
using velmora::platform::PreferencesError;
using velmora::test::readFile;
using velmora::test::writeFile;

namespace {

class JsonFilePreferencesStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path() + QStringLiteral("/Velmora"); }
    QString path() const { return folder() + QStringLiteral("/preferences.json"); }
    QStringList brokenCopies() const
    {
        return QDir(folder()).entryList({QStringLiteral("preferences.json.broken-*")}, QDir::Files);
    }
    QJsonObject onDisk() const { return QJsonDocument::fromJson(readFile(path())).object(); }
};

TEST_F(JsonFilePreferencesStoreTest, WritesReachTheDiskAtOnceAndKeepTheirTypes)
{
    JsonFilePreferencesStore store(path());
    EXPECT_FALSE(store.setBool(QStringLiteral("b"), true));
    EXPECT_FALSE(store.setInteger(QStringLiteral("i"), -7));
    EXPECT_FALSE(store.setFloat(QStringLiteral("f"), 0.25f));
    EXPECT_FALSE(store.setDouble(QStringLiteral("d"), 0.3));
    EXPECT_FALSE(store.setString(QStringLiteral("s"), QStringLiteral("auto")));
    EXPECT_FALSE(store.setData(QStringLiteral("x"), QByteArray("[1]")));

    const QJsonObject written = onDisk();
    EXPECT_TRUE(written.value(QStringLiteral("b")).isBool());
    EXPECT_EQ(written.value(QStringLiteral("i")).toInteger(), -7);
    EXPECT_EQ(written.value(QStringLiteral("f")).toDouble(), 0.25);
    EXPECT_EQ(written.value(QStringLiteral("s")).toString(), QStringLiteral("auto"));
    EXPECT_EQ(written.value(QStringLiteral("x")).toObject().value(QStringLiteral("$data")).toString(),
              QStringLiteral("WzFd"));

    // A second reader (another process in real life) sees every value with its type.
    JsonFilePreferencesStore other(path());
    EXPECT_EQ(other.boolValue(QStringLiteral("b")), true);
    EXPECT_EQ(other.integerValue(QStringLiteral("i")), -7);
    EXPECT_EQ(other.floatValue(QStringLiteral("f")), 0.25f);
    EXPECT_EQ(other.doubleValue(QStringLiteral("d")), 0.3);
    EXPECT_EQ(other.dataValue(QStringLiteral("x")), QByteArray("[1]"));

    struct stat info {};
    ASSERT_EQ(::stat(path().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(folder()).entryList({QStringLiteral("preferences.json.??????")}, QDir::Files).size(), 0)
        << "no temporary file is left behind";
}

TEST_F(JsonFilePreferencesStoreTest, AFileThatIsALinkIsWrittenThroughAndStaysALink)
{
    // Dotfile managers keep the real file elsewhere and link to it, by absolute or relative path,
    // sometimes through a second link.
    struct Case {
        const char* name;
        QStringList hops; // link targets from the preferences file onwards; the last is the real file
    };
    const Case cases[] = {
        {"absolute", {QStringLiteral("%1/dotfiles/preferences.json")}},
        {"relative", {QStringLiteral("../dotfiles/preferences.json")}},
        {"two links", {QStringLiteral("%1/dotfiles/link.json"), QStringLiteral("preferences.json")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder()).removeRecursively();
        QDir(dir.path() + QStringLiteral("/dotfiles")).removeRecursively();
        QDir().mkpath(folder());
        QDir().mkpath(dir.path() + QStringLiteral("/dotfiles"));
        const QString real = dir.path() + QStringLiteral("/dotfiles/preferences.json");
        writeFile(real, "{\"kept\": true}");
        QString from = path();
        for (const QString& hop : c.hops) {
            const QString target = hop.contains(QLatin1String("%1")) ? hop.arg(dir.path()) : hop;
            ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(from).constData()), 0);
            from = QDir::cleanPath(target.startsWith(QLatin1Char('/')) ? target
                                                                       : QFileInfo(from).absolutePath() + QLatin1Char('/') + target);
            if (from == real)
                break;
        }

        JsonFilePreferencesStore store(path());
        ASSERT_FALSE(store.setInteger(QStringLiteral("n"), 5));
        EXPECT_TRUE(QFileInfo(path()).isSymLink()) << "the link was replaced by a file";
        const QJsonObject written = QJsonDocument::fromJson(readFile(real)).object();
        EXPECT_EQ(written.value(QStringLiteral("n")).toInt(), 5);
        EXPECT_TRUE(written.value(QStringLiteral("kept")).toBool());
        EXPECT_EQ(QDir(dir.path() + QStringLiteral("/dotfiles")).entryList(QDir::Files | QDir::Hidden).size(),
                  c.hops.size()) << "no temporary file left beside the real one";
    }
}

TEST_F(JsonFilePreferencesStoreTest, AHandEditIsSeenByTheNextRead)
{
    JsonFilePreferencesStore store(path());
    store.setString(QStringLiteral("velmora.language"), QStringLiteral("en"));
    EXPECT_EQ(store.stringValue(QStringLiteral("velmora.language")), QStringLiteral("en"));
    writeFile(path(), R"({"velmora.language": "de", "extra": 1})");
    EXPECT_EQ(store.stringValue(QStringLiteral("velmora.language")), QStringLiteral("de"));
    store.setBool(QStringLiteral("flag"), true);
    EXPECT_EQ(onDisk().value(QStringLiteral("extra")).toInteger(), 1) << "a write keeps what another writer put there";
}

TEST_F(JsonFilePreferencesStoreTest, DamagedFilesReadAsEmptyAndAreMovedAsideNeverOverwritten)
{
    const QByteArray damaged[] = {
        "{\"velmora.language\": \"de\",",  // cut short
        "[1, 2, 3]",                       // not an object
        "",                                // empty
        "\xff\xfe garbage",                // not text
    };
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(bytes.toStdString());
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        writeFile(path(), bytes);

        JsonFilePreferencesStore store(path());
        EXPECT_FALSE(store.stringValue(QStringLiteral("velmora.language")));
        EXPECT_EQ(readFile(path()), bytes) << "reading never touches the file";

        EXPECT_FALSE(store.setBool(QStringLiteral("velmora.directInsert"), true));
        const QStringList aside = brokenCopies();
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(readFile(folder() + QLatin1Char('/') + aside.first()), bytes) << "the damaged file is kept as it was";
        EXPECT_EQ(onDisk().keys(), QStringList{QStringLiteral("velmora.directInsert")});

        store.setBool(QStringLiteral("velmora.autoCopyToClipboard"), false);
        EXPECT_EQ(brokenCopies().size(), 1) << "a sound file is not moved aside again";
    }
}

TEST_F(JsonFilePreferencesStoreTest, APathThatIsNotAFileIsNeverDestroyed)
{
    QDir().mkpath(path() + QStringLiteral("/inside"));
    JsonFilePreferencesStore store(path());
    EXPECT_FALSE(store.boolValue(QStringLiteral("flag")));
    EXPECT_EQ(store.setBool(QStringLiteral("flag"), true), PreferencesError::writeFailed);
    EXPECT_TRUE(QFileInfo(path() + QStringLiteral("/inside")).isDir());
    EXPECT_EQ(store.boolValue(QStringLiteral("flag")), true) << "the value still applies for this session";
}

TEST_F(JsonFilePreferencesStoreTest, AnUnwritableFolderReportsAndKeepsTheValueForTheSession)
{
    writeFile(dir.path() + QStringLiteral("/plain-file"), "x");
    JsonFilePreferencesStore store(dir.path() + QStringLiteral("/plain-file/Velmora/preferences.json"));
    EXPECT_EQ(store.setString(QStringLiteral("velmora.language"), QStringLiteral("fr")),
              PreferencesError::folderUnavailable);
    EXPECT_EQ(store.stringValue(QStringLiteral("velmora.language")), QStringLiteral("fr"));
    EXPECT_FALSE(velmora::platform::describe(PreferencesError::folderUnavailable).isEmpty());
}

TEST_F(JsonFilePreferencesStoreTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int perWriter = 150;
    for (const auto writes : {JsonFilePreferencesStore::Writes::immediate, JsonFilePreferencesStore::Writes::behind}) {
        QFile::remove(path());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            JsonFilePreferencesStore store(path(), writes);
            for (int i = 0; i < perWriter; ++i)
                store.setInteger(QStringLiteral("child.%1").arg(i), i);
            store.flush();
            ::_exit(0);
        }
        {
            JsonFilePreferencesStore store(path(), writes);
            for (int i = 0; i < perWriter; ++i)
                store.setInteger(QStringLiteral("parent.%1").arg(i), i);
        } // its last writes go before it does
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

        const QJsonObject written = onDisk();
        EXPECT_EQ(written.size(), 2 * perWriter) << int(writes);
        for (int i = 0; i < perWriter; ++i) {
            EXPECT_EQ(written.value(QStringLiteral("child.%1").arg(i)).toInteger(-1), i);
            EXPECT_EQ(written.value(QStringLiteral("parent.%1").arg(i)).toInteger(-1), i);
        }
    }
}

// The settings write on every change: the caller (the GUI thread) must not wait for
// another writer's lock or the disk, and must read what it just set.
TEST_F(JsonFilePreferencesStoreTest, WrittenBehindAChangeIsReadAtOnceAndReachesTheDiskInItsOrder)
{
    JsonFilePreferencesStore store(path(), JsonFilePreferencesStore::Writes::behind);
    ASSERT_FALSE(store.setString(QStringLiteral("velmora.language"), QStringLiteral("de")));
    store.flush();
    ASSERT_EQ(onDisk().value(QStringLiteral("velmora.language")).toString(), QStringLiteral("de"));

    // Another process holds the lock, as for one of its writes.
    const int held = ::open((path() + QStringLiteral(".lock")).toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_FALSE(store.setInteger(QStringLiteral("a"), 1));
    EXPECT_FALSE(store.setInteger(QStringLiteral("b"), 2));
    EXPECT_FALSE(store.setInteger(QStringLiteral("a"), 3));
    EXPECT_FALSE(store.remove(QStringLiteral("velmora.language")));
    EXPECT_EQ(store.integerValue(QStringLiteral("a")), 3) << "read at once";
    EXPECT_EQ(store.integerValue(QStringLiteral("b")), 2);
    EXPECT_FALSE(store.stringValue(QStringLiteral("velmora.language")).has_value());
    EXPECT_FALSE(onDisk().contains(QStringLiteral("a"))) << "nothing written under another's lock";
    ::flock(held, LOCK_UN);
    ::close(held);
    store.flush();
    const QJsonObject written = onDisk();
    EXPECT_EQ(written.value(QStringLiteral("a")).toInteger(), 3);
    EXPECT_EQ(written.value(QStringLiteral("b")).toInteger(), 2);
    EXPECT_FALSE(written.contains(QStringLiteral("velmora.language")));

    // A write that fails is logged; the value still holds for the session.
    writeFile(dir.path() + QStringLiteral("/plain-file"), "x");
    JsonFilePreferencesStore unwritable(dir.path() + QStringLiteral("/plain-file/Velmora/preferences.json"),
                                        JsonFilePreferencesStore::Writes::behind);
    EXPECT_FALSE(unwritable.setString(QStringLiteral("velmora.language"), QStringLiteral("fr")));
    unwritable.flush();
    EXPECT_EQ(unwritable.stringValue(QStringLiteral("velmora.language")), QStringLiteral("fr"));
}

TEST_F(JsonFilePreferencesStoreTest, StandardPathFollowsHomeAndXdgConfigHomeAtEachCall)
{
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/cfg")).toLocal8Bit());
    EXPECT_EQ(JsonFilePreferencesStore::standardPath(), dir.path() + QStringLiteral("/cfg/Velmora/preferences.json"));
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(JsonFilePreferencesStore::standardPath(), dir.path() + QStringLiteral("/.config/Velmora/preferences.json"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(JsonFilePreferencesStore::standardPath(), dir.path() + QStringLiteral("/.config/Velmora/preferences.json"));
    qputenv("HOME", savedHome);
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

} // namespace
