// The text a batch dictation adds, from a tool that answers with a known transcript.
#include "Dictation/SegmentProducer.h"
#include "Engine/WhisperTranscriber.h"

#include "TestSupport.h"

#include <QTemporaryDir>

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
        const auto result = rig.producer()(rig.audio, rig.answering(c.tool), vocabulary);
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
    const auto result = rig.producer()(rig.audio, missing, {});
    ASSERT_TRUE(std::holds_alternative<WhisperTranscriberError>(result));
    EXPECT_FALSE(std::get<WhisperTranscriberError>(result).description().isEmpty());
}
