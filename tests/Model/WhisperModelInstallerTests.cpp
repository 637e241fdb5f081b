#include "Model/HttpWhisperModelTransport.h"
#include "Model/WhisperModelInstaller.h"

#include "ModelTestServer.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <future>

using namespace velmora;
using test::readFile;
using test::writeFile;
using Kind = WhisperModelDownloadError::Kind;

namespace {

constexpr qsizetype modelSize = ModelTestServer::modelSize;

class WhisperModelInstallerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new ModelTestServer; }
    static void TearDownTestSuite() { delete server; }

    WhisperModelInstaller installer(const QString& path, WhisperModelInstaller::CapacityProbe capacity = {},
                                    std::chrono::milliseconds idle = std::chrono::seconds(60)) const
    {
        const PinnedWhisperModel model = server->pinned(path);
        return WhisperModelInstaller(model, folder(), std::make_shared<HttpWhisperModelTransport>(idle),
                                     capacity ? capacity : [](const QString&) { return std::optional<qint64>(); });
    }
    QString folder() const { return dir.path() + QStringLiteral("/models"); }
    QString model() const { return folder() + QStringLiteral("/test-model.bin"); }
    QString partial() const { return model() + QStringLiteral(".partial"); }
    void putPartial(const QByteArray& bytes) const
    {
        QDir().mkpath(folder());
        writeFile(partial(), bytes);
    }
    // The requests this test made, as "path range" strings.
    QStringList requestsSince(qsizetype before) const
    {
        QStringList made;
        const QJsonArray all = server->requests();
        for (qsizetype i = before; i < all.size(); ++i) {
            const QJsonObject request = all.at(i).toObject();
            made << request.value("path").toString() + QLatin1Char(' ') + request.value("range").toString();
        }
        return made;
    }
    std::optional<WhisperModelDownloadError> install(const WhisperModelInstaller& installer,
                                                     QList<qint64>* reports = nullptr) const
    {
        DownloadCancellation cancellation;
        return installer.install([reports](qint64 bytes) { if (reports) reports->append(bytes); }, cancellation);
    }
    void expectInstalled() const
    {
        EXPECT_EQ(readFile(model()), server->body());
        EXPECT_FALSE(QFile::exists(partial()));
        const auto marker = VerificationMarker::fromJson(readFile(model() + QStringLiteral(".verified")));
        ASSERT_TRUE(marker);
        EXPECT_EQ(marker->size, modelSize);
        EXPECT_EQ(marker->sha256, server->sha256());
        struct stat info {};
        ::stat(QFile::encodeName(model()).constData(), &info);
        EXPECT_EQ(marker->modified, double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9);
    }

    static inline ModelTestServer* server = nullptr;
    QTemporaryDir dir;
};

TEST_F(WhisperModelInstallerTest, DownloadsVerifiesAndReportsAboutOncePerMebibyte)
{
    const qsizetype before = server->requests().size();
    QList<qint64> reports;
    EXPECT_FALSE(install(installer("/model"), &reports));
    expectInstalled();
    EXPECT_EQ(requestsSince(before), QStringList{"/model "});
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.first(), 0);
    EXPECT_EQ(reports.last(), modelSize);
    EXPECT_LE(reports.size(), 2 + modelSize / (1024 * 1024));
}

TEST_F(WhisperModelInstallerTest, ResumingFollowsWhatTheServerAnswers)
{
    const qint64 offset = 3 * 1024 * 1024 + 7;
    const QString range = QStringLiteral("bytes=%1-").arg(offset);
    struct Case {
        const char* path;
        QStringList requests;
    };
    const Case cases[] = {
        {"/model", {"/model " + range}},                                  // 206 appends
        {"/redirect", {"/redirect " + range, "/model " + range}},          // redirect followed with the range
        {"/ignore-range", {"/ignore-range " + range}},                      // 200 rewrites from 0
        {"/wrong-range", {"/wrong-range " + range, "/wrong-range "}},       // wrong start: once more from 0
        {"/always-416", {"/always-416 " + range, "/always-416 "}},          // 416: once more from 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        QDir(folder()).removeRecursively();
        putPartial(server->body().left(offset));
        const qsizetype before = server->requests().size();
        const auto error = install(installer(QLatin1String(c.path)));
        EXPECT_FALSE(error) << (error ? error->description().toStdString() : "");
        expectInstalled();
        EXPECT_EQ(requestsSince(before), c.requests);
    }
}

TEST_F(WhisperModelInstallerTest, APartialFileOfFullSizeSkipsTheNetworkAndALongerOneStartsOver)
{
    putPartial(server->body());
    qsizetype before = server->requests().size();
    EXPECT_FALSE(install(installer("/model")));
    expectInstalled();
    EXPECT_TRUE(requestsSince(before).isEmpty());

    QDir(folder()).removeRecursively();
    putPartial(server->body() + "extra");
    before = server->requests().size();
    EXPECT_FALSE(install(installer("/model")));
    expectInstalled();
    EXPECT_EQ(requestsSince(before), QStringList{"/model "});
}

TEST_F(WhisperModelInstallerTest, FailuresCarryTheirTextsAndKeepWhatCanBeResumed)
{
    struct Case {
        const char* path;
        Kind kind;
        bool partialKept;
        QString description;
    };
    const Case cases[] = {
        {"/always-206", Kind::httpStatus, false, "The model server answered with HTTP 206."},
        {"/404", Kind::httpStatus, false, "The model server answered with HTTP 404."},
        {"/503", Kind::httpStatus, false, "The model server answered with HTTP 503."},
        {"/cut", Kind::incomplete, true, "The download stopped after 4 MB of 8 MB."},
        {"/cut-length", Kind::incomplete, true, "The download stopped after 4 MB of 8 MB."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        QDir(folder()).removeRecursively();
        const auto error = install(installer(QLatin1String(c.path)));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), c.kind) << error->description().toStdString();
        if (!c.description.isEmpty()) {
            EXPECT_EQ(error->description(), c.description);
        }
        EXPECT_EQ(QFile::exists(partial()) && QFileInfo(partial()).size() > 0, c.partialKept);
        EXPECT_FALSE(QFile::exists(model()));
    }
}

TEST_F(WhisperModelInstallerTest, AConnectionCutInsideTheBodyIsOneOutcomeWhereverItIsCut)
{
    // Whether Qt sees the cut as an error or as the end of the reply depends on timing; the
    // user must see the same text either way, so every cut point is tried several times.
    const qint64 cuts[] = {0, 1, 65536, modelSize / 2, modelSize - 1};
    for (const qint64 cut : cuts) {
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE(testing::Message() << "cut after " << cut << " bytes, round " << round);
            QDir(folder()).removeRecursively();
            const auto error = install(installer(QStringLiteral("/cut-at/%1").arg(cut)));
            ASSERT_TRUE(error);
            // Qt may drop the last bytes still in its socket when the server closes; the resume asks for them again.
            const QByteArray kept = readFile(partial());
            EXPECT_LE(kept.size(), cut);
            EXPECT_TRUE(server->body().startsWith(kept)) << "what arrived is kept for the resume, unaltered";
            EXPECT_EQ(*error, WhisperModelDownloadError::incomplete(kept.size(), modelSize))
                << error->description().toStdString();
            EXPECT_TRUE(error->isRetryable());
        }
    }
}

TEST_F(WhisperModelInstallerTest, AWrongChecksumDeletesTheDownload)
{
    const PinnedWhisperModel wrong{QStringLiteral("test-model.bin"), QUrl(server->url("/model")), QString(64, '0'),
                                   modelSize};
    const WhisperModelInstaller installer(wrong, folder(), std::make_shared<HttpWhisperModelTransport>(),
                                          [](const QString&) { return std::optional<qint64>(); });
    const auto error = install(installer);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, WhisperModelDownloadError::checksumMismatch());
    EXPECT_FALSE(QFile::exists(partial()));
    EXPECT_FALSE(QFile::exists(model()));
}

// A server that sends more than the model's size is stopped there: the file never grows
// past it, and nothing of it is kept.
TEST_F(WhisperModelInstallerTest, ABodyLongerThanTheModelIsStoppedAtItsSize)
{
    QList<qint64> reports;
    const auto error = install(installer("/oversized"), &reports);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, WhisperModelDownloadError::oversized(modelSize));
    EXPECT_FALSE(error->isRetryable());
    ASSERT_FALSE(reports.isEmpty());
    for (const qint64 bytes : reports)
        EXPECT_LE(bytes, modelSize) << "the file held more than the model";
    EXPECT_FALSE(QFile::exists(partial()));
    EXPECT_FALSE(QFile::exists(model()));
}

TEST_F(WhisperModelInstallerTest, DiskSpaceIsCheckedBeforeAnyRequest)
{
    const PinnedWhisperModel big{QStringLiteral("test-model.bin"), QUrl(server->url("/model")), server->sha256(),
                                 300'000'000};
    const WhisperModelInstaller installer(big, folder(), std::make_shared<HttpWhisperModelTransport>(),
                                          [](const QString&) { return std::optional<qint64>(100'000'000); });
    const qsizetype before = server->requests().size();
    const auto error = install(installer);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), QStringLiteral("Not enough disk space for the model: 300 MB needed, 100 MB free."));
    EXPECT_TRUE(requestsSince(before).isEmpty());
}

TEST_F(WhisperModelInstallerTest, AStalledServerTimesOutAndCancellingStopsAtOnce)
{
    const auto stalled = install(installer("/stall", {}, std::chrono::milliseconds(500)));
    ASSERT_TRUE(stalled);
    EXPECT_EQ(stalled->kind(), Kind::network);
    EXPECT_TRUE(stalled->isRetryable());

    QDir(folder()).removeRecursively();
    const auto slow = installer("/crawl");
    DownloadCancellation cancellation;
    auto run = std::async(std::launch::async, [&] { return slow.install({}, cancellation); });
    ASSERT_TRUE(test::waitUntil([&] { return slow.partialByteCount().value_or(0) > 512 * 1024; }));
    cancellation.cancel();
    ASSERT_EQ(run.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(run.get(), WhisperModelDownloadError::cancelled());
    EXPECT_GT(slow.partialByteCount().value_or(0), 0) << "the partial file stays for a later resume";
}

TEST_F(WhisperModelInstallerTest, AFolderThatCannotBeMadeIsAFileSystemError)
{
    writeFile(dir.path() + QStringLiteral("/file"), "x");
    const PinnedWhisperModel model{QStringLiteral("m.bin"), QUrl(server->url("/model")), server->sha256(), modelSize};
    const WhisperModelInstaller installer(model, dir.path() + QStringLiteral("/file/models"),
                                          std::make_shared<HttpWhisperModelTransport>());
    const auto error = install(installer);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::fileSystem);
    EXPECT_FALSE(error->isRetryable());
}

TEST_F(WhisperModelInstallerTest, VerifyingAnInstalledFileKeepsOnlyTheRightOne)
{
    const auto i = installer("/model");
    EXPECT_EQ(std::get<bool>(i.verifyInstalledModel()), false) << "nothing there";
    QDir().mkpath(folder());
    writeFile(model(), server->body());
    EXPECT_EQ(std::get<bool>(i.verifyInstalledModel()), true);
    expectInstalled();
    QByteArray damaged = server->body();
    damaged[100] = char(damaged[100] ^ 0x55);
    writeFile(model(), damaged);
    EXPECT_EQ(std::get<bool>(i.verifyInstalledModel()), false);
    EXPECT_FALSE(QFile::exists(model()));
    EXPECT_FALSE(QFile::exists(model() + QStringLiteral(".verified")));
}

TEST(WhisperModelDownloadError, TextsAndRetryRules)
{
    EXPECT_EQ(WhisperModelDownloadError::fileSize(574041195), QStringLiteral("574 MB"));
    EXPECT_EQ(WhisperModelDownloadError::fileSize(1150000000), QStringLiteral("1.15 GB"));
    EXPECT_EQ(WhisperModelDownloadError::fileSize(999), QStringLiteral("999 bytes"));
    EXPECT_EQ(WhisperModelDownloadError::incomplete(287020597, 574041195).description(),
              QStringLiteral("The download stopped after 287 MB of 574 MB."));
    EXPECT_EQ(WhisperModelDownloadError::oversized(574041195).description(),
              QStringLiteral("The model server sent more than the model's 574 MB; the download was stopped and deleted."));
    EXPECT_EQ(WhisperModelDownloadError::unexpectedContentRange("bytes 0-9/10").description(),
              QStringLiteral("The model server resumed at the wrong position (bytes 0-9/10)."));
    const std::pair<WhisperModelDownloadError, bool> retry[] = {
        {WhisperModelDownloadError::httpStatus(408), true},  {WhisperModelDownloadError::httpStatus(429), true},
        {WhisperModelDownloadError::httpStatus(500), true},  {WhisperModelDownloadError::httpStatus(404), false},
        {WhisperModelDownloadError::httpStatus(499), false}, {WhisperModelDownloadError::insufficientDiskSpace(2, 1), false},
        {WhisperModelDownloadError::checksumMismatch(), false}, {WhisperModelDownloadError::incomplete(1, 2), true},
        {WhisperModelDownloadError::rangeNotSatisfiable(), true}, {WhisperModelDownloadError::network("x"), true},
    };
    for (const auto& [error, retryable] : retry)
        EXPECT_EQ(error.isRetryable(), retryable) << error.description().toStdString();
}

} // namespace
