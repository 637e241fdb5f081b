// The pure text rules of live dictation: decoding, segment picking, merging, joining.
#include "Engine/TranscriptFormatter.h"
#include "Engine/UTF8StreamDecoder.h"
#include "Engine/WhisperStreamTranscriber.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

TEST(UTF8StreamDecoder, NeverSplitsACharacterAcrossChunks)
{
    struct Case {
        const char* name;
        QList<QByteArray> chunks;
        QString expected;
    };
    const QByteArray e = "\xc3\xa9";            // é, two bytes
    const QByteArray euro = "\xe2\x82\xac";     // €, three bytes
    const QByteArray emoji = "\xf0\x9f\x8e\xa4"; // 🎤, four bytes
    const Case cases[] = {
        {"two-byte split", {"caf" + e.left(1), e.mid(1) + "!"}, QStringLiteral("café!")},
        {"three-byte split after one", {euro.left(1), euro.mid(1)}, QStringLiteral("€")},
        {"three-byte split after two", {euro.left(2), euro.mid(2)}, QStringLiteral("€")},
        {"four-byte split byte by byte", {emoji.mid(0, 1), emoji.mid(1, 1), emoji.mid(2, 1), emoji.mid(3, 1)},
         QStringLiteral("🎤")},
        {"whole characters pass at once", {"a" + e + euro + emoji}, QStringLiteral("aé€🎤")},
        {"a lone lead byte at the end becomes a replacement", {"ok\xc3"}, QStringLiteral("ok\uFFFD")},
        {"a stray continuation byte is repaired, not held", {"a\xa9", "b"}, QStringLiteral("a\uFFFDb")},
    };
    for (const auto& c : cases) {
        UTF8StreamDecoder decoder;
        QString text;
        for (const QByteArray& chunk : c.chunks)
            text += decoder.decode(chunk);
        text += decoder.flush();
        EXPECT_EQ(text, c.expected) << c.name;
    }
}

TEST(UTF8StreamDecoder, CompletePrefixHoldsBackAtMostAnUnfinishedCharacter)
{
    const std::pair<QByteArray, qsizetype> cases[] = {
        {"", 0},           {"abc", 3},          {"ab\xc3", 2},        {"\xc3\xa9", 2},    {"\xa9", 1},
        {"a\xe2\x82", 1},  {"\xe2\x82\xac", 3}, {"a\xf0\x9f\x8e", 1}, {"\xf0\x9f\x8e\xa4", 4},
        {"\x80\x80\x80\x80", 4},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(UTF8StreamDecoder::completePrefixLength(bytes), expected) << bytes.toHex().toStdString();
}

TEST(StreamSegments, TheLatestLineWithoutStatusLinesOrHallucinations)
{
    const std::pair<QString, QString> cases[] = {
        {"[Start speaking]", ""},
        {"[silence]", ""},
        {"whisper_init_from_file: loading model", ""},
        {"ggml_metal_init: allocating", ""},
        {"the quick\rthe quick brown\r", "the quick brown"},
        {"  first line \r  \r", "first line"},
        {"Thank you.", ""},
        {"THANK YOU!", ""},
        {"...thanks for watching...", ""},
        {"Thank you very much", "Thank you very much"},
        {"Vielen Dank.", ""},
        {"Merci d'avoir regardé !", ""},
        {"Sous-titres réalisés par la communauté d'Amara.org", ""},
        {"谢谢。", ""},
        {"ありがとうございます。", ""},
        {"You", ""},
        {"You know what?", "You know what?"},
        {"\r\r", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(WhisperStreamTranscriber::extractLatestSegment(text), expected) << text.toStdString();
    // Every phrase of the table is dropped as a whole line however it is written, and kept inside a sentence.
    for (const QString& phrase : WhisperStreamTranscriber::hallucinations()) {
        const QString spoken = phrase.left(1).toUpper() + phrase.mid(1) + QStringLiteral(".");
        EXPECT_EQ(WhisperStreamTranscriber::extractLatestSegment(spoken), "") << spoken.toStdString();
        const QString sentence = QStringLiteral("So ") + phrase + QStringLiteral(" again");
        EXPECT_EQ(WhisperStreamTranscriber::extractLatestSegment(sentence), sentence) << sentence.toStdString();
    }
}

TEST(StreamSegments, OverlapsMergeOnWholeWords)
{
    struct Case {
        QString existing, incoming, expected;
    };
    const Case cases[] = {
        {"we went to the", "to the shop", "we went to the shop"},
        {"we went to the", "after lunch", "we went to the after lunch"},
        {"we went to the", "the", "we went to the"},
        {"a b", "a b", "a b"},
        {"Hello", "hello there", "Hello hello there"},
        {"one two", "two  three", "one two  three"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WhisperStreamTranscriber::mergeOverlapping(c.existing, c.incoming), c.expected)
            << c.existing.toStdString() << " + " << c.incoming.toStdString();
}

TEST(TranscriptFormatter, JoinsWithOneLineFeedIgnoringBlankSides)
{
    struct Case {
        QString existing, segment, expected;
    };
    const Case cases[] = {
        {"", "first", "first"},
        {"  first \n", "", "first"},
        {"first", "  second  ", "first\nsecond"},
        {"\n", " \n ", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TranscriptFormatter::appending(c.existing, c.segment), c.expected);
}

TEST(StreamCommandLine, ArgumentsAndLibraryPath)
{
    const QStringList base{"-m", "/m.bin", "-l", "auto", "--step", "2000", "--length", "5000",
                           "--keep", "250", "-t", "4", "--vad-thold", "0.8"};
    EXPECT_EQ(WhisperStreamTranscriber::arguments("/m.bin", "", std::nullopt), base);
    QStringList withCapture = base;
    withCapture[3] = QStringLiteral("de");
    withCapture << QStringLiteral("--capture") << QStringLiteral("2");
    EXPECT_EQ(WhisperStreamTranscriber::arguments("/m.bin", "de", 2), withCapture);

    EXPECT_EQ(WhisperStreamTranscriber::environment("/b/bin/whisper-stream", {"HOME=/h", "LD_LIBRARY_PATH=/x:/y"}),
              (QStringList{"HOME=/h", "LD_LIBRARY_PATH=/b/bin:/x:/y"}));
    EXPECT_EQ(WhisperStreamTranscriber::environment("/b/bin/whisper-stream", {"LD_LIBRARY_PATH="}),
              QStringList{"LD_LIBRARY_PATH=/b/bin"});
}

} // namespace
