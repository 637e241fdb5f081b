// The text a batch dictation adds, from a tool that answers with a known transcript.
#include "Dictation/SegmentProducer.h"
#include "Engine/WhisperTranscriber.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <future>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct ToolRig {
    QTemporaryDir tools, output;
    QString model = tools.path() + "/model.bin";
    QString audio = tools.path() + "/velmora-rec.wav";
    QString arguments = tools.path() + "/arguments";

    ToolRig()
    {
        test::writeFile(model, "model");
        test::writeFile(audio, "RIFF");
    }
    // whisper-cli that writes `text` after -of and notes its arguments.
    WhisperConfiguration answering(const QByteArray& text)
    {
        const QString cli = test::writeScript(tools.path() + "/whisper-cli",
                                              "printf '%s\\n' \"$@\" > '" + arguments.toUtf8() + "'\n"
                                              "while [ $# -gt 0 ]; do [ \"$1\" = -of ] && out=$2; shift; done\n"
                                              "printf '" + text + "' > \"$out.txt\"\n");
        return {cli, model, "en"};
    }
    SegmentProducer producer()
    {
        auto transcriber = std::make_shared<WhisperTranscriber>(
            output.path(), [this](const WhisperConfiguration&) { return std::optional<QString>(tools.path() + "/vad.bin"); },
            [] { return std::optional<BundledWhisperRuntime>(); });
        return defaultSegmentProducer(transcriber);
    }
};

const QList<VocabularyEntry> vocabulary{
    {QUuid::createUuid(), "Kubernetes", {"cube a net ease", "kubernetis"}},
    {QUuid::createUuid(), "Velmora", {"vel mora"}},
};

} // namespace

TEST(SegmentProducer, PromptsAndTakesAnEchoAsSilence)
{
    const struct {
        const char* name;
        QByteArray tool;
        QString expected;
    } cases[] = {
        // Corrected by the controller, with the list current when the text is back.
        {"misspellings left as heard", "We deploy kubernetis with vel mora.", "We deploy kubernetis with vel mora."},
        {"the prompt read back is nothing said", "Kubernetes, Velmora.", ""},
        {"plain text stays", "Nothing to correct here.", "Nothing to correct here."},
    };
    for (const auto& c : cases) {
        ToolRig rig;
        const auto result = rig.producer()(rig.audio, rig.answering(c.tool), vocabulary, {});
        ASSERT_TRUE(std::holds_alternative<QString>(result)) << c.name;
        EXPECT_EQ(std::get<QString>(result), c.expected) << c.name;
        const QStringList arguments = QString::fromUtf8(test::readFile(rig.arguments)).split('\n');
        EXPECT_TRUE(arguments.contains("--prompt")) << c.name;
        EXPECT_EQ(arguments.value(arguments.indexOf("--prompt") + 1), "Kubernetes, Velmora.") << c.name;
        EXPECT_TRUE(arguments.contains("--vad")) << c.name << ": voice-activity detection is asked for";
    }
}

TEST(SegmentProducer, AFailingToolIsItsError)
{
    ToolRig rig;
    WhisperConfiguration missing{rig.tools.path() + "/absent-cli", rig.model, "en"};
    const auto result = rig.producer()(rig.audio, missing, {}, {});
    ASSERT_TRUE(std::holds_alternative<WhisperTranscriberError>(result));
    EXPECT_FALSE(std::get<WhisperTranscriberError>(result).description().isEmpty());
}

// A browser cancel right after the stop: the run is still queued. Its cancel must keep
// it from starting, and must never stop another dictation's run instead.
TEST(SegmentProducer, ACancelStopsItsOwnRunWhetherItHasStartedOrNot)
{
    ToolRig rig;
    const QString started = rig.tools.path() + "/started";
    const QString cli = test::writeScript(rig.tools.path() + "/slow-cli",
                                          "echo x >> '" + started.toUtf8() + "'\n"
                                          "while [ $# -gt 0 ]; do [ \"$1\" = -of ] && out=$2; shift; done\n"
                                          // a shell waits out a foreground child before its TERM
                                          "sleep 3 >/dev/null 2>&1 & p=$!\n"
                                          "trap 'kill $p; exit 143' TERM\n"
                                          "wait $p; printf 'finished' > \"$out.txt\"\n");
    const WhisperConfiguration slow{cli, rig.model, "en"};
    const auto produce = rig.producer();

    const auto notYetStarted = std::make_shared<RunCancellation>();
    notYetStarted->cancel();
    const auto queued = produce(rig.audio, slow, {}, notYetStarted);
    ASSERT_TRUE(std::holds_alternative<WhisperTranscriberError>(queued));
    EXPECT_EQ(std::get<WhisperTranscriberError>(queued), WhisperTranscriberError::cancelled());
    EXPECT_FALSE(QFileInfo::exists(started)) << "a cancelled run never starts its tool";

    const auto running = std::make_shared<RunCancellation>();
    const auto other = std::make_shared<RunCancellation>();
    QElapsedTimer clock;
    clock.start();
    auto first = std::async(std::launch::async, [&] { return produce(rig.audio, slow, {}, running); });
    auto second = std::async(std::launch::async, [&] { return produce(rig.audio, slow, {}, other); });
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(started).count('\n') == 2; }));
    running->cancel();
    const auto stopped = first.get();
    EXPECT_LT(clock.elapsed(), 2500) << "the cancelled tool was stopped, not waited for";
    EXPECT_TRUE(std::holds_alternative<WhisperTranscriberError>(stopped));
    const auto untouched = second.get();
    ASSERT_TRUE(std::holds_alternative<QString>(untouched)) << "the other dictation's run went on";
    EXPECT_EQ(std::get<QString>(untouched), "finished");
}
