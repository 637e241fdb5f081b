#include "Engine/WhisperTranscriber.h"
#include "Engine/WhisperWarmUp.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace velmora;
using test::readFile;
using test::waitUntil;
using test::writeFile;

namespace {

// Collects what the warm-up logs.
class WarmUpLog {
public:
    WarmUpLog() { s_previous = qInstallMessageHandler(&WarmUpLog::handle); }
    ~WarmUpLog() { qInstallMessageHandler(s_previous); }
    static QStringList lines()
    {
        QMutexLocker lock(&s_mutex);
        return s_lines;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (QLatin1String(context.category) == QLatin1String("Velmora.WarmUp")) {
            QMutexLocker lock(&s_mutex);
            s_lines << message;
        }
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QMutex s_mutex;
    static inline QStringList s_lines;
};

TEST(WhisperWarmUp, SilentWavIsExactlyAOneSecond16kMonoFile)
{
    const QByteArray wav = WhisperWarmUp::silentWAV(1);
    ASSERT_EQ(wav.size(), 32044);
    const auto u32 = [&](int offset) { return qFromLittleEndian<quint32>(wav.constData() + offset); };
    const auto u16 = [&](int offset) { return qFromLittleEndian<quint16>(wav.constData() + offset); };
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(u32(4), 36u + 32000u);
    EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1);
    EXPECT_EQ(u16(22), 1);
    EXPECT_EQ(u32(24), 16000u);
    EXPECT_EQ(u32(28), 32000u);
    EXPECT_EQ(u16(32), 2);
    EXPECT_EQ(u16(34), 16);
    EXPECT_EQ(wav.mid(36, 4), "data");
    EXPECT_EQ(u32(40), 32000u);
    EXPECT_EQ(wav.mid(44).count('\0'), 32000);
    EXPECT_EQ(WhisperWarmUp::silentWAV(3).size(), 44 + 96000);
}

class WhisperWarmUpTest : public ::testing::Test {
protected:
    QString model() const { return dir.path() + QStringLiteral("/model.bin"); }
    QString runs() const { return dir.path() + QStringLiteral("/runs"); }
    QString temporary() const { return dir.path() + QStringLiteral("/tmp"); }
    std::shared_ptr<WhisperTranscriber> transcriber() const
    {
        return std::make_shared<WhisperTranscriber>(temporary(), [](const WhisperConfiguration&) {
            return std::optional<QString>();
        }, [] { return std::optional<BundledWhisperRuntime>(); });
    }
    // Counts its runs, checks it got the warm-up's WAV, writes an empty transcript.
    QString countingTool(const QByteArray& extra = {}) const
    {
        return test::writeScript(dir.path() + QStringLiteral("/cli"),
                                 "echo run >> '" + runs().toUtf8() + "'\n"
                                 "while [ $# -gt 0 ]; do case \"$1\" in -of) out=$2;; -f) wav=$2;; esac; shift; done\n"
                                 "[ $(stat -c %s \"$wav\") = 32044 ] || exit 7\n" + extra +
                                 "printf '' > \"$out.txt\"\n");
    }
    int runCount() const { return int(readFile(runs()).count("run")); }
    QStringList leftovers() const { return QDir(temporary()).entryList(QDir::Files); }

    void SetUp() override { QDir().mkpath(temporary()); }

    QTemporaryDir dir;
    WarmUpLog log;
};

TEST_F(WhisperWarmUpTest, RunsOnceAndOnlyWhenTheModelExists)
{
    WhisperWarmUp warmUp(temporary(), transcriber());
    const WhisperConfiguration configuration{countingTool(), model(), QStringLiteral("auto")};
    EXPECT_FALSE(warmUp.startOnce(configuration));
    EXPECT_TRUE(WarmUpLog::lines().contains(QStringLiteral("skipped: model file missing")));

    writeFile(model(), "model");
    auto first = warmUp.startOnce(configuration);
    ASSERT_TRUE(first);
    EXPECT_FALSE(warmUp.startOnce(configuration));
    first->waitForFinished();
    EXPECT_EQ(first->result(), WhisperWarmUp::Outcome::finished);
    EXPECT_EQ(runCount(), 1);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();
    const QStringList lines = WarmUpLog::lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
        return QRegularExpression(QStringLiteral("^finished in \\d+ ms$")).match(line).hasMatch();
    })) << lines.join('|').toStdString();
}

TEST_F(WhisperWarmUpTest, CancelBeforeTheToolStartsEndsAsCanceled)
{
    writeFile(model(), "model");
    WhisperWarmUp warmUp(temporary(), transcriber());
    warmUp.cancel();
    auto run = warmUp.startOnce({countingTool(), model(), QStringLiteral("auto")});
    ASSERT_TRUE(run);
    run->waitForFinished();
    EXPECT_EQ(run->result(), WhisperWarmUp::Outcome::canceled);
    EXPECT_EQ(runCount(), 0);
    EXPECT_TRUE(leftovers().isEmpty());
    const QStringList lines = WarmUpLog::lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith("canceled after "); }));
}

TEST_F(WhisperWarmUpTest, CancelWhileTheToolRunsStopsItAndLogsTheFailure)
{
    writeFile(model(), "model");
    const QString started = dir.path() + QStringLiteral("/started");
    WhisperWarmUp warmUp(temporary(), transcriber());
    auto run = warmUp.startOnce({countingTool("touch '" + started.toUtf8() + "'\nexec sleep 30\n"), model(), "auto"});
    ASSERT_TRUE(run);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(started); }, std::chrono::seconds(10)));
    warmUp.cancel();
    run->waitForFinished();
    EXPECT_EQ(run->result(), WhisperWarmUp::Outcome::failed);
    EXPECT_TRUE(leftovers().isEmpty());
    const QStringList lines = WarmUpLog::lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
        return QRegularExpression(QStringLiteral("^failed after \\d+ ms: whisper-cli exited with status 15\\.$")).match(line).hasMatch();
    })) << lines.join('|').toStdString();
}

} // namespace
