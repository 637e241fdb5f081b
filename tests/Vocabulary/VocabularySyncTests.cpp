#include "Vocabulary/VocabularyStore.h"
#include "Vocabulary/VocabularySync.h"

#include "Platform/MemoryPreferencesStore.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace velmora;
using test::readFile;
using test::waitUntil;

namespace {

VocabularyEntry entry(const QString& spelling)
{
    return {QUuid::createUuid(), spelling, {}};
}

// Counts the times a file is replaced in a folder, as the kernel reports them.
class ReplacementCounter {
public:
    ReplacementCounter(const QString& folder, const QByteArray& name)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        , m_name(name)
    {
        ::inotify_add_watch(m_fd, folder.toLocal8Bit().constData(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~ReplacementCounter() { ::close(m_fd); }
    int count()
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len && QByteArray(event->name) == m_name)
                    ++m_count;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return m_count;
    }

private:
    int m_fd;
    QByteArray m_name;
    int m_count = 0;
};

class VocabularySyncTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(folder()); }
    QString cloud() const { return dir.path() + QStringLiteral("/Sync"); }
    QString folder() const { return cloud() + QStringLiteral("/Velmora"); }
    QString file() const { return folder() + QStringLiteral("/vocabulary.json"); }
    std::unique_ptr<VocabularySync> makeSync(bool observe = false, VocabularySync::Timing timing = {})
    {
        auto sync = std::make_unique<VocabularySync>(std::make_unique<VocabularyFileStore>(cloud(), defaults), observe,
                                                     timing);
        sync->onExternalChange = [this](const QList<VocabularyEntry>& list) { changes << list; };
        return sync;
    }
    // Refreshes and waits until the file work is done.
    static void refreshAndWait(VocabularySync& sync)
    {
        bool done = false;
        auto connection = QObject::connect(&sync, &VocabularySync::fileWorkFinished, [&] { done = true; });
        sync.refresh();
        waitUntil([&] { return done; });
        QObject::disconnect(connection);
    }

    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    QList<QList<VocabularyEntry>> changes;
};

TEST_F(VocabularySyncTest, AnOutsideWriterIsNoticedOnce)
{
    auto sync = makeSync();
    refreshAndWait(*sync);
    ASSERT_TRUE(sync->isWatching());
    changes.clear();

    // Another process replaces the file the way sync clients do: write aside, then rename.
    const QList<VocabularyEntry> remote{entry("Remote"), entry("Words")};
    const QString aside = folder() + QStringLiteral("/.incoming");
    test::writeFile(aside, VocabularyStore::encode(remote, true));
    const auto moved = test::runProcess(QStringLiteral("mv"), {aside, file()});
    ASSERT_EQ(moved.exitCode, 0);

    ASSERT_TRUE(waitUntil([&] { return !changes.isEmpty(); }, std::chrono::seconds(5)));
    waitUntil([] { return false; }, std::chrono::milliseconds(400));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.first(), remote);

    refreshAndWait(*sync);
    EXPECT_EQ(changes.size(), 1) << "no change, no call";

    // The watch survives the rename: a second outside change is seen too.
    const QList<VocabularyEntry> again{entry("Again")};
    test::writeFile(aside, VocabularyStore::encode(again));
    ASSERT_EQ(test::runProcess(QStringLiteral("mv"), {aside, file()}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 2; }, std::chrono::seconds(5)));
    EXPECT_EQ(changes.last(), again);
}

TEST_F(VocabularySyncTest, ABurstOfEditsIsOneWriteAPauseAfterTheLast)
{
    // A long pause, so a busy machine cannot stretch the gaps between edits past it.
    const auto pause = std::chrono::milliseconds(1500);
    auto sync = makeSync(false, {pause, std::chrono::milliseconds(100)});
    refreshAndWait(*sync);
    changes.clear();
    ReplacementCounter writes(folder(), "vocabulary.json");
    QList<VocabularyEntry> list;
    QElapsedTimer sinceLastEdit;
    for (int i = 0; i < 3; ++i) {
        list << entry(QStringLiteral("word %1").arg(i));
        sync->vocabularyDidChange(list);
        sinceLastEdit.start();
        if (i < 2)
            waitUntil([] { return false; }, std::chrono::milliseconds(300));
    }
    ASSERT_TRUE(waitUntil([&] { return writes.count() > 0; }, std::chrono::seconds(10)));
    // Without a restart the write would come 600 ms early; a coarse timer may fire up to 5 % early.
    EXPECT_GE(sinceLastEdit.elapsed(), pause.count() * 95 / 100) << "the pause starts again with every edit";
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(VocabularyStore::decode(readFile(file())), list);
    EXPECT_TRUE(changes.isEmpty()) << "our own write is not an outside change";

    sync->vocabularyDidChange(list);
    EXPECT_FALSE(sync->hasPendingEdit()) << "the list just saved schedules nothing";
}

TEST_F(VocabularySyncTest, ARefreshDuringAPendingEditIsIgnored)
{
    auto sync = makeSync(false, {std::chrono::milliseconds(50), std::chrono::milliseconds(100)});
    refreshAndWait(*sync);
    changes.clear();
    sync->vocabularyDidChange({entry("Mine")});
    test::writeFile(file(), VocabularyStore::encode({entry("Theirs")}));
    sync->refresh();
    ASSERT_TRUE(waitUntil([&] { return !sync->hasPendingEdit(); }, std::chrono::seconds(10)));
    // File work runs one job at a time: once a later refresh has finished, the save has too.
    refreshAndWait(*sync);
    EXPECT_EQ(VocabularyStore::decode(readFile(file()))->first().spelling, "Mine");
    EXPECT_TRUE(changes.isEmpty());
}

TEST_F(VocabularySyncTest, AReadThatBeganBeforeAnEditNeverRevertsIt)
{
    test::writeFile(file(), VocabularyStore::encode({entry("Old")}));
    auto sync = makeSync(false, {std::chrono::milliseconds(20), std::chrono::milliseconds(100)});
    refreshAndWait(*sync);
    changes.clear();

    // A slow cloud folder: another program holds the file's lock, so the read waits for it.
    const int holder = ::open(file().toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    sync->refresh();
    const QList<VocabularyEntry> edited{entry("New")};
    sync->vocabularyDidChange(edited);
    // The edit's save fires while the read still waits; then the lock goes.
    ASSERT_TRUE(waitUntil([&] { return !sync->hasPendingEdit(); }));
    ::close(holder);

    ASSERT_TRUE(waitUntil([&] { return VocabularyStore::decode(readFile(file())) == edited; }));
    sync->flush(true);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(changes.isEmpty()) << "the old list came back as an outside change";
    EXPECT_EQ(VocabularyStore::load(defaults), edited);
}

TEST_F(VocabularySyncTest, QuittingRightAfterAnEditStillSavesIt)
{
    auto sync = makeSync(true);
    refreshAndWait(*sync);
    sync->vocabularyDidChange({entry("Last words")});
    QTimer::singleShot(50, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_EQ(VocabularyStore::decode(readFile(file()))->first().spelling, "Last words");
}

TEST_F(VocabularySyncTest, HintsFollowTheStoreStatus)
{
    test::writeFile(file(), "broken");
    auto sync = makeSync();
    refreshAndWait(*sync);
    EXPECT_EQ(sync->hint(), QStringLiteral("Velmora/vocabulary.json in the cloud folder is unreadable — using the "
                                           "local copy, file left untouched."));
    QFile::remove(file());
    refreshAndWait(*sync);
    EXPECT_FALSE(sync->hint());

    VocabularySync noCloud(std::make_unique<VocabularyFileStore>(std::nullopt, defaults), false);
    refreshAndWait(noCloud);
    EXPECT_EQ(noCloud.hint(), QStringLiteral("Cloud folder not available — vocabulary stays on this computer."));
    EXPECT_EQ(VocabularySync::hintFor(VocabularyFileStore::Status::downloading),
              QStringLiteral("Waiting for the cloud folder to download the vocabulary…"));

    // A write that fails shows, and the next refresh writes the edit once the folder is back.
    QDir(folder()).removeRecursively();
    test::writeFile(folder(), "not a folder");
    const QList<VocabularyEntry> edited{entry("Kept")};
    sync->vocabularyDidChange(edited);
    sync->flush(true);
    ASSERT_TRUE(waitUntil([&] { return sync->hint().has_value(); }));
    EXPECT_EQ(sync->hint(), QStringLiteral("Could not write Velmora/vocabulary.json in the cloud folder — changes "
                                           "kept on this computer."));
    QFile::remove(folder());
    refreshAndWait(*sync);
    EXPECT_FALSE(sync->hint());
    EXPECT_EQ(VocabularyStore::decode(readFile(file())), edited);
}

} // namespace

// A new computer joining the cloud folder: nothing local yet. Whoever waits for the
// sync after asking for a read finds the file's list already handed on.
TEST_F(VocabularySyncTest, WhenCurrentComesAfterEveryReadAskedForBeforeIt)
{
    const QList<VocabularyEntry> cloudList{{QUuid::createUuid(), "Kubernetes", {"cube and eighties"}}};
    test::writeFile(file(), VocabularyStore::encode(cloudList, true));
    auto sync = makeSync();
    QObject context;
    std::vector<qsizetype> changesSeen;
    sync->refresh();
    sync->whenCurrent(&context, [&] { changesSeen.push_back(changes.size()); });
    ASSERT_TRUE(waitUntil([&] { return !changesSeen.empty(); }));
    ASSERT_EQ(changesSeen, std::vector<qsizetype>{1}) << "the list was handed on first";
    EXPECT_EQ(changes.value(0), cloudList);

    // Nothing asked for: it answers at once, on the main thread; a context gone takes its call along.
    bool answered = false;
    sync->whenCurrent(&context, [&] { answered = true; });
    EXPECT_TRUE(waitUntil([&] { return answered; }));
    auto gone = std::make_unique<QObject>();
    bool called = false;
    sync->whenCurrent(gone.get(), [&] { called = true; });
    gone.reset();
    sync->flush(true);
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(called);
}
