#include "Model/DiscoveredModel.h"
#include "Model/HttpWhisperModelTransport.h"
#include "Model/WhisperModelManager.h"

#include "ModelTestServer.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <utime.h>

using namespace velmora;
using namespace std::chrono_literals;
using test::readFile;
using test::waitUntil;
using test::writeFile;
using Kind = WhisperModelState::Kind;

namespace {

constexpr qsizetype modelSize = ModelTestServer::modelSize;

class WhisperModelManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new ModelTestServer; }
    static void TearDownTestSuite() { delete server; }

    std::shared_ptr<WhisperModelInstaller> installer(const QString& path) const
    {
        const PinnedWhisperModel model = server->pinned(path);
        return std::make_shared<WhisperModelInstaller>(model, folder(), std::make_shared<HttpWhisperModelTransport>(),
                                                       [](const QString&) { return std::optional<qint64>(); });
    }
    QString folder() const { return dir.path() + QStringLiteral("/models"); }
    QString model() const { return folder() + QStringLiteral("/test-model.bin"); }
    int requestsTo(const QString& path) const
    {
        int count = 0;
        for (const auto& request : server->requests())
            count += request.toObject().value("path").toString() == path ? 1 : 0;
        return count;
    }
    // Every state the manager publishes.
    QList<WhisperModelState> record(WhisperModelManager& manager)
    {
        QObject::connect(&manager, &WhisperModelManager::stateChanged, [this, &manager] { seen << manager.state(); });
        return seen;
    }
    bool saw(Kind kind) const
    {
        return std::any_of(seen.begin(), seen.end(), [kind](const auto& s) { return s.kind == kind; });
    }

    static inline ModelTestServer* server = nullptr;
    QTemporaryDir dir;
    QList<WhisperModelState> seen;
};

TEST_F(WhisperModelManagerTest, DownloadsToReadyThroughProgressAndVerification)
{
    WhisperModelManager manager(installer("/slow"), {20ms, 20ms, 20ms});
    record(manager);
    manager.prepare(true);
    EXPECT_EQ(manager.state().kind, Kind::downloading);
    ASSERT_TRUE(waitUntil([&] { return manager.state() == WhisperModelState::ready(); }, 30s));
    EXPECT_TRUE(saw(Kind::verifying));
    const auto downloads = std::count_if(seen.begin(), seen.end(), [](const auto& s) { return s.kind == Kind::downloading; });
    EXPECT_GT(downloads, 2);
    EXPECT_LE(downloads, 202) << "about one state per half percent at most";
    EXPECT_EQ(readFile(model()), server->body());
}

TEST_F(WhisperModelManagerTest, RetriableFailuresAreRetriedThreeTimesThenReported)
{
    WhisperModelManager manager(installer("/503"), {20ms, 20ms, 20ms});
    const int before = requestsTo("/503");
    manager.download();
    ASSERT_TRUE(waitUntil([&] { return manager.state().kind == Kind::failed; }, 10s));
    EXPECT_EQ(requestsTo("/503") - before, 4);
    EXPECT_EQ(manager.state().unavailableMessage(),
              QStringLiteral("The speech model download failed: The model server answered with HTTP 503."));

    WhisperModelManager recovering(installer("/flaky503/2"), {20ms, 20ms, 20ms});
    recovering.download();
    ASSERT_TRUE(waitUntil([&] { return recovering.state() == WhisperModelState::ready(); }, 30s));
    EXPECT_EQ(recovering.attempts(), 3);
}

TEST_F(WhisperModelManagerTest, ANotFoundFailsAtOnce)
{
    WhisperModelManager manager(installer("/404"), {20ms, 20ms, 20ms});
    manager.download();
    ASSERT_TRUE(waitUntil([&] { return manager.state().kind == Kind::failed; }, 10s));
    EXPECT_EQ(manager.attempts(), 1);
}

TEST_F(WhisperModelManagerTest, CancellingDuringARetryWaitEndsMissingWithoutAnotherAttempt)
{
    const int before = requestsTo("/503");
    WhisperModelManager manager(installer("/503"), {2s});
    manager.download();
    ASSERT_TRUE(waitUntil([&] { return manager.isWaitingToRetry(); }, 10s));
    ASSERT_EQ(manager.attempts(), 1);
    manager.cancel();
    EXPECT_EQ(manager.state(), WhisperModelState::missing());
    EXPECT_FALSE(manager.hasTask());
    waitUntil([] { return false; }, 3s); // past the retry's moment
    EXPECT_EQ(manager.attempts(), 1);
    EXPECT_EQ(requestsTo("/503"), before + 1);
}

TEST_F(WhisperModelManagerTest, CancellingADownloadEndsMissingAndLateProgressChangesNothing)
{
    WhisperModelManager manager(installer("/crawl"), {20ms});
    manager.download();
    const QString partial = model() + QStringLiteral(".partial");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(partial).size() > 512 * 1024; }, 10s));
    manager.cancel();
    ASSERT_TRUE(waitUntil([&] { return manager.state() == WhisperModelState::missing(); }, 5s));
    waitUntil([] { return false; }, 300ms);
    EXPECT_EQ(manager.state(), WhisperModelState::missing());
    EXPECT_TRUE(QFile::exists(partial));

    // A new download resumes where the partial file ends.
    const qint64 resumeAt = QFileInfo(partial).size();
    manager.download();
    EXPECT_EQ(manager.state(), WhisperModelState::downloading(resumeAt, modelSize));
    ASSERT_TRUE(waitUntil([&] { return manager.state() == WhisperModelState::ready(); }, 30s));
}

TEST_F(WhisperModelManagerTest, ATrustedMarkerSkipsHashingAndAnyOtherTimeForcesIt)
{
    QDir().mkpath(folder());
    writeFile(model(), server->body());
    ASSERT_FALSE(installer("/model")->writeMarker());
    {
        WhisperModelManager manager(installer("/model"));
        record(manager);
        manager.prepare(false);
        EXPECT_EQ(manager.state(), WhisperModelState::ready()) << "decided without a task";
        EXPECT_FALSE(saw(Kind::verifying));
    }
    // Touch the file: one second later than recorded.
    struct stat info {};
    ::stat(QFile::encodeName(model()).constData(), &info);
    utimbuf times{info.st_atime, info.st_mtime + 1};
    ::utime(QFile::encodeName(model()).constData(), &times);
    seen.clear();
    WhisperModelManager manager(installer("/model"));
    record(manager);
    manager.prepare(false);
    EXPECT_EQ(manager.state(), WhisperModelState::verifying());
    manager.prepare(false);
    manager.download();
    EXPECT_EQ(manager.state(), WhisperModelState::verifying()) << "nothing starts beside a running task";
    ASSERT_TRUE(waitUntil([&] { return manager.state() == WhisperModelState::ready(); }, 10s));
}

TEST_F(WhisperModelManagerTest, AWrongFileIsReplacedOnlyWhenDownloadingIsWanted)
{
    QDir().mkpath(folder());
    writeFile(model(), "not the model");
    WhisperModelManager manager(installer("/model"));
    manager.prepare(false);
    ASSERT_TRUE(waitUntil([&] { return manager.state() == WhisperModelState::missing(); }, 10s));
    EXPECT_FALSE(QFile::exists(model()));

    writeFile(model(), "not the model");
    WhisperModelManager downloading(installer("/model"));
    downloading.prepare(true);
    ASSERT_TRUE(waitUntil([&] { return downloading.state() == WhisperModelState::ready(); }, 30s));
    EXPECT_EQ(readFile(model()), server->body());
}

TEST_F(WhisperModelManagerTest, AKilledDownloadResumesInTheNextProcess)
{
    const QString tool = QStringLiteral(VELMORA_MODEL_FETCH_TOOL);
    const QStringList arguments{QStringLiteral("install"), server->url("/crawl"), folder(),
                                QStringLiteral("test-model.bin"), server->sha256(), QString::number(modelSize)};
    QProcess first;
    first.start(tool, arguments);
    const QString partial = model() + QStringLiteral(".partial");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(partial).size() > 1024 * 1024; }, 20s));
    ::kill(pid_t(first.processId()), SIGKILL);
    first.waitForFinished(5000);
    const qint64 kept = QFileInfo(partial).size();
    ASSERT_GT(kept, 0);
    ASSERT_LT(kept, modelSize);

    QStringList again = arguments;
    again[1] = server->url("/model");
    const auto second = test::runProcess(tool, again);
    EXPECT_EQ(second.exitCode, 0) << second.standardOutput.toStdString();
    const QJsonArray requests = server->requests();
    EXPECT_EQ(requests.last().toObject().value("range").toString(), QStringLiteral("bytes=%1-").arg(kept));
    EXPECT_EQ(readFile(model()), server->body());
}

TEST(WhisperModelState, UnavailableMessages)
{
    const std::pair<WhisperModelState, std::optional<QString>> cases[] = {
        {WhisperModelState::downloading(287020597 - 1, 574041195),
         "The speech model is downloading (49 %). Recording works once it is done."},
        {WhisperModelState::downloading(10, 0), "The speech model is downloading (0 %). Recording works once it is done."},
        {WhisperModelState::downloading(20, 10), "The speech model is downloading (100 %). Recording works once it is done."},
        {WhisperModelState::failed("boom"), "The speech model download failed: boom"},
        {WhisperModelState::checking(), "The speech model is being checked. Try again in a moment."},
        {WhisperModelState::verifying(), "The speech model is being checked. Try again in a moment."},
        {WhisperModelState::missing(), "The speech model is not downloaded yet."},
        {WhisperModelState::ready(), std::nullopt},
    };
    for (const auto& [state, message] : cases)
        EXPECT_EQ(state.unavailableMessage(), message);
}

TEST(DiscoveredModel, TheDefaultFirstThenOtherModelsBesideIt)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/ggml-large-v3-turbo-q5_0.bin");
    for (const char* name : {"ggml-base.en.bin", "notes.txt", "ggml-large-v3-turbo-q5_0.bin", "x.bin.partial"})
        writeFile(dir.path() + QLatin1Char('/') + QLatin1String(name), "");
    const auto models = DiscoveredModel::discover(path);
    ASSERT_EQ(models.size(), 2);
    EXPECT_EQ(models[0], (DiscoveredModel{"default-large-v3-turbo-q5_0", "large-v3-turbo-q5_0", path, true}));
    EXPECT_EQ(models[1], (DiscoveredModel{"user-base.en", "base.en", dir.path() + "/ggml-base.en.bin", false}));
    EXPECT_EQ(DiscoveredModel::discover(dir.path() + QStringLiteral("/absent/m.bin")).size(), 1);
    EXPECT_EQ(DiscoveredModel::displayNameOf(QStringLiteral("/")), QStringLiteral("Unknown"));
}

} // namespace
