#include "Vocabulary/VocabularyFileStore.h"
#include "Vocabulary/VocabularyStore.h"
#include "Vocabulary/VocabularySync.h"

#include "Platform/MemoryPreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

using namespace velmora;
using test::readFile;
using test::writeFile;
using Status = VocabularyFileStore::Status;

namespace {

VocabularyEntry entry(const QString& spelling, const QStringList& variants = {})
{
    return {QUuid::createUuid(), spelling, variants};
}

class VocabularyFileStoreTest : public ::testing::Test {
protected:
    QString cloud() const { return dir.path() + QStringLiteral("/Nextcloud"); }
    QString file() const { return cloud() + QStringLiteral("/Velmora/vocabulary.json"); }
    void SetUp() override { QDir().mkpath(cloud()); }
    VocabularyFileStore store() { return VocabularyFileStore(cloud(), defaults); }
    void putFile(const QByteArray& bytes)
    {
        QDir().mkpath(cloud() + QStringLiteral("/Velmora"));
        writeFile(file(), bytes);
    }
    static QByteArray identity(const QString& path)
    {
        struct stat info {};
        ::stat(path.toLocal8Bit().constData(), &info);
        return QByteArray::number(qulonglong(info.st_ino)) + ':' + QByteArray::number(qlonglong(info.st_mtim.tv_nsec));
    }

    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
};

TEST_F(VocabularyFileStoreTest, FirstLaunchSeedsTheCloudFileFromTheLocalCopyOnly)
{
    auto empty = store();
    EXPECT_TRUE(empty.load().isEmpty());
    EXPECT_EQ(empty.status(), Status::synced);
    EXPECT_FALSE(QFile::exists(file())) << "an empty local copy creates no file";

    const QList<VocabularyEntry> local{entry("Maya", {"Maja"})};
    VocabularyStore::save(local, defaults);
    auto seeded = store();
    EXPECT_EQ(seeded.load(), local);
    EXPECT_EQ(VocabularyStore::decode(readFile(file())), local);
    EXPECT_EQ(seeded.lastDelivered(), local);
}

TEST_F(VocabularyFileStoreTest, TheCloudFileWinsOnLoad)
{
    VocabularyStore::save({entry("Local")}, defaults);
    const QList<VocabularyEntry> cloudList{entry("Cloud", {"clowd"})};
    putFile(VocabularyStore::encode(cloudList));
    auto s = store();
    EXPECT_EQ(s.load(), cloudList);
    EXPECT_EQ(VocabularyStore::load(defaults), cloudList) << "the local copy follows the file";
}

TEST_F(VocabularyFileStoreTest, TheWrittenFileIsIndentedWithSortedKeysAndAFinalLineFeed)
{
    auto s = store();
    s.save({entry("a/b", {"x"})});
    const QByteArray written = readFile(file());
    EXPECT_TRUE(written.endsWith("]\n") && !written.endsWith("\n\n"));
    const qsizetype id = written.indexOf("\"id\""), spelling = written.indexOf("\"spelling\""),
                    variants = written.indexOf("\"variants\"");
    EXPECT_TRUE(id < spelling && spelling < variants);
    EXPECT_TRUE(written.contains("\"a/b\"")) << "slashes are not escaped";
    EXPECT_GT(written.count('\n'), 4) << "one key per line";
}

TEST_F(VocabularyFileStoreTest, AnUnreadableFileIsNeverWrittenTo)
{
    const QByteArray bad[] = {
        "not json",
        R"([{"id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "spelling": "x"}])",
        "[\"\xff\xfe\"]",
        QByteArray(20000, '[') + QByteArray(20000, ']'),
        "",
    };
    for (const QByteArray& bytes : bad) {
        putFile(bytes);
        VocabularyStore::save({entry("Local")}, defaults);
        auto s = store();
        EXPECT_EQ(s.load(), QList<VocabularyEntry>{VocabularyStore::load(defaults)});
        EXPECT_EQ(s.status(), Status::fileUnreadable);
        s.save({entry("Edited")});
        EXPECT_EQ(s.status(), Status::fileUnreadable);
        EXPECT_EQ(readFile(file()), bytes) << "left byte for byte";
        EXPECT_EQ(VocabularyStore::load(defaults).first().spelling, "Edited") << "the local copy keeps the edit";
    }
}

TEST_F(VocabularyFileStoreTest, AHugeFileIsUnreadableAtOnce)
{
    // A sparse terabyte: reading it would not end within the test's time, judging its size is instant.
    putFile("[");
    ASSERT_TRUE(QFile::resize(file(), qint64(1) << 40));
    auto s = store();
    s.load();
    EXPECT_EQ(s.status(), Status::fileUnreadable);
}

TEST(VocabularyLimits, WhatLiesPastTheLimitsIsNotUsedButKeptAsWritten)
{
    const QString longWord(101, QLatin1Char('w'));
    const QString word(100, QLatin1Char('w'));
    const QStringList tooManyVariants(21, QStringLiteral("v"));
    const QStringList enoughVariants(20, QStringLiteral("v"));
    struct Case {
        const char* name;
        QList<VocabularyEntry> file;
        int used;
    };
    QList<VocabularyEntry> many;
    for (int i = 0; i < 1003; ++i)
        many << entry(QStringLiteral("term %1").arg(i));
    const Case cases[] = {
        {"1003 entries: the first 1000", many, 1000},
        {"a spelling of 101 characters", {entry("a"), entry(longWord), entry("b")}, 2},
        {"a spelling of 100 characters", {entry(word)}, 1},
        {"a misspelling of 101 characters", {entry("a", {"b", longWord})}, 0},
        {"21 misspellings", {entry("a", tooManyVariants)}, 0},
        {"20 misspellings", {entry("a", enoughVariants)}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = VocabularyStore::decodeWithinLimits(VocabularyStore::encode(c.file));
        ASSERT_TRUE(decoded);
        QList<VocabularyEntry> expectedUsed;
        QList<VocabularyEntry> expectedUnused;
        for (const VocabularyEntry& e : c.file) {
            const bool fits = e.spelling.size() <= 100 && e.variants.size() <= 20
                && std::ranges::all_of(e.variants, [](const QString& v) { return v.size() <= 100; });
            (fits && expectedUsed.size() < 1000 ? expectedUsed : expectedUnused) << e;
        }
        ASSERT_EQ(expectedUsed.size(), c.used);
        EXPECT_EQ(decoded->used, expectedUsed);
        EXPECT_EQ(VocabularyStore::decode(VocabularyStore::encode(c.file)), expectedUsed);
        QJsonArray unused;
        for (const VocabularyEntry& e : expectedUnused)
            unused.append(e.toJson());
        EXPECT_EQ(decoded->unused, unused);
    }
}

TEST_F(VocabularyFileStoreTest, EntriesPastTheLimitsStayInTheFileThroughEditsAndAreHinted)
{
    QList<VocabularyEntry> another;
    for (int i = 0; i < 1002; ++i)
        another << entry(QStringLiteral("term %1").arg(i));
    another.insert(1, entry(QString(500, QLatin1Char('x'))));
    putFile(VocabularyStore::encode(another, true));
    auto s = store();
    const QList<VocabularyEntry> loaded = s.load();
    ASSERT_EQ(loaded.size(), 1000);
    EXPECT_EQ(loaded.first().spelling, "term 0");
    EXPECT_EQ(loaded.at(1).spelling, "term 1") << "the long word is skipped, not the rest after it";
    EXPECT_EQ(s.unusedEntries(), 3);
    EXPECT_EQ(VocabularyStore::load(defaults).size(), 1000) << "the local copy holds what is used";
    const auto hint = VocabularySync::hintFor(s.status(), s.unusedEntries());
    ASSERT_TRUE(hint);
    EXPECT_TRUE(hint->startsWith("3 of Velmora/vocabulary.json's entries are not used")) << hint->toStdString();

    QList<VocabularyEntry> edited = loaded;
    edited.removeFirst();
    edited.first().spelling = QStringLiteral("edited");
    s.save(edited);
    const QByteArray written = readFile(file());
    const auto reread = VocabularyStore::decodeWithinLimits(written, {100000, 1000, 1000});
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->used.size(), 1002) << "the edit and the three unused entries, nothing lost";
    EXPECT_EQ(reread->used.mid(0, 999), edited);
    EXPECT_EQ(reread->used.at(999).spelling.size(), 500);
    EXPECT_EQ(reread->used.at(1000).spelling, "term 1000");
    EXPECT_EQ(reread->used.at(1001).spelling, "term 1001");
}

TEST_F(VocabularyFileStoreTest, AnIdenticalListIsNotWrittenAgain)
{
    const QList<VocabularyEntry> list{entry("Maya", {"Maja"})};
    auto s = store();
    s.save(list);
    const QByteArray before = identity(file());
    s.save(list);
    EXPECT_EQ(identity(file()), before);
    s.save({entry("Other")});
    EXPECT_NE(identity(file()), before);
}

TEST_F(VocabularyFileStoreTest, AFailedWriteIsReportedAndTheEditReachesTheFileLater)
{
    putFile(VocabularyStore::encode({entry("Old")}));
    auto vocabulary = store();
    vocabulary.load();
    // The folder turns into a file: nothing can be written below it.
    QDir(cloud() + QStringLiteral("/Velmora")).removeRecursively();
    writeFile(cloud() + QStringLiteral("/Velmora"), "not a folder");

    const QList<VocabularyEntry> edited{entry("New")};
    vocabulary.save(edited);
    EXPECT_EQ(vocabulary.status(), Status::writeFailed);
    EXPECT_TRUE(vocabulary.hasUnwrittenEdit());
    EXPECT_EQ(VocabularyStore::load(defaults), edited) << "kept on this computer";

    // The folder comes back with the old file: the edit is newer and wins, on load as on save.
    QFile::remove(cloud() + QStringLiteral("/Velmora"));
    putFile(VocabularyStore::encode({entry("Old")}));
    EXPECT_EQ(vocabulary.load(), edited);
    EXPECT_EQ(vocabulary.status(), Status::synced);
    EXPECT_FALSE(vocabulary.hasUnwrittenEdit());
    EXPECT_EQ(VocabularyStore::decode(readFile(file())), edited);

    // Once written, the cloud file wins again.
    const QList<VocabularyEntry> remote{entry("Remote")};
    putFile(VocabularyStore::encode(remote));
    EXPECT_EQ(vocabulary.load(), remote);
}

TEST_F(VocabularyFileStoreTest, WithoutACloudFolderOnlyTheLocalCopyIsKept)
{
    for (const std::optional<QString>& root : {std::optional<QString>(), std::optional<QString>(dir.path() + "/absent")}) {
        VocabularyFileStore s(root, defaults);
        s.save({entry("Maya")});
        EXPECT_EQ(s.status(), Status::cloudUnavailable);
        EXPECT_EQ(VocabularyStore::load(defaults).first().spelling, "Maya");
        EXPECT_EQ(s.load().first().spelling, "Maya");
        EXPECT_EQ(s.status(), Status::cloudUnavailable);
    }
}

TEST_F(VocabularyFileStoreTest, APlaceholderMeansTheFileIsStillDownloading)
{
    for (const char* name : {"vocabulary.json.nextcloud", "vocabulary.json.owncloud"}) {
        QDir(cloud()).removeRecursively();
        QDir().mkpath(cloud() + QStringLiteral("/Velmora"));
        writeFile(cloud() + QStringLiteral("/Velmora/") + QLatin1String(name), "");
        VocabularyStore::save({entry("Local")}, defaults);
        auto s = store();
        EXPECT_EQ(s.load().first().spelling, "Local");
        EXPECT_EQ(s.status(), Status::downloading);
        s.save({entry("Edited")});
        EXPECT_FALSE(QFile::exists(file())) << "nothing is written over a file on its way";
    }
}

TEST_F(VocabularyFileStoreTest, TheCloudFolderComesFromThePreferenceOrAWellKnownFolder)
{
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", dir.path().toLocal8Bit());
    EXPECT_EQ(VocabularyFileStore::defaultCloudRoot(defaults), cloud());
    QDir(cloud()).removeRecursively();
    EXPECT_FALSE(VocabularyFileStore::defaultCloudRoot(defaults));
    QDir().mkpath(dir.path() + QStringLiteral("/Dropbox"));
    EXPECT_EQ(VocabularyFileStore::defaultCloudRoot(defaults), dir.path() + QStringLiteral("/Dropbox"));
    defaults.setString(PreferenceKeys::cloudFolder, QStringLiteral("/srv/sync"));
    EXPECT_EQ(VocabularyFileStore::defaultCloudRoot(defaults), QStringLiteral("/srv/sync"));
    qputenv("HOME", savedHome);
}

} // namespace
