#include "BrowserBridge/BrowserBridge.h"
#include "BrowserBridge/BrowserBridgeCodec.h"
#include "BrowserBridge/LineDecoder.h"

#include <QtEndian>

#include <gtest/gtest.h>

using namespace velmora;
using Error = BrowserBridgeCodecError;

namespace {

TEST(BrowserBridgeCodec, EncodesCompactSortedWithEscapedSlashes)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {BrowserBridgeCodec::encode(BrowserBridgeRequest::start("a")), R"({"session":"a","type":"start","v":1})"},
        {BrowserBridgeCodec::encode(BrowserBridgeRequest::cancel("x/y")), R"({"session":"x\/y","type":"cancel","v":1})"},
        {BrowserBridgeCodec::encode(BrowserBridgeEvent::recording("s")), R"({"session":"s","state":"recording","type":"state","v":1})"},
        {BrowserBridgeCodec::encode(BrowserBridgeEvent::completed("s", "a/b \"c\" ü")),
         "{\"outcome\":\"completed\",\"session\":\"s\",\"text\":\"a\\/b \\\"c\\\" \xc3\xbc\",\"type\":\"result\",\"v\":1}"},
        {BrowserBridgeCodec::encode(BrowserBridgeEvent::empty("s")), R"({"outcome":"empty","session":"s","type":"result","v":1})"},
        {BrowserBridgeCodec::encode(BrowserBridgeEvent::failed("s", BrowserBridgeFailureCode::protocol, "Ungültige Nachricht.")),
         "{\"code\":\"protocol\",\"message\":\"Ung\xc3\xbcltige Nachricht.\",\"outcome\":\"failed\",\"session\":\"s\",\"type\":\"result\",\"v\":1}"},
    };
    for (const auto& [encoded, expected] : cases)
        EXPECT_EQ(encoded, expected);
}

TEST(BrowserBridgeCodec, DecodesInTheSpecifiedOrder)
{
    const QString longest = QString(64, QChar(0x00e9));  // 128 bytes in UTF-8
    const QString tooLong = longest + QLatin1Char('x'); // 129
    using Result = std::variant<BrowserBridgeRequest, Error>;
    const std::pair<QByteArray, Result> cases[] = {
        {R"({"v":1,"type":"start","session":"a"})", BrowserBridgeRequest::start("a")},
        {R"({"type":"stop","extra":[1],"session":"a","v":1.0})", BrowserBridgeRequest::stop("a")},
        {R"({"v":1,"type":"cancel","session":"a"})", BrowserBridgeRequest::cancel("a")},
        {R"({"v":2,"type":"start","session":"a"})", Error::invalidMessage(QStringLiteral("a"))},
        {R"({"v":"1","type":"start","session":"a"})", Error::invalidMessage(QStringLiteral("a"))},
        {R"({"v":1,"type":"start"})", Error::invalidMessage(std::nullopt)},
        {R"({"v":1,"type":"start","session":5})", Error::invalidMessage(std::nullopt)},
        {R"({"v":1,"type":"start","session":""})", Error::invalidMessage(QString(""))},
        {R"({"v":1,"type":"pause","session":"a"})", Error::invalidMessage(QStringLiteral("a"))},
        {R"({"v":1,"type":7,"session":"a"})", Error::invalidMessage(QStringLiteral("a"))},
        {"{\"v\":1,\"type\":\"start\",\"session\":\"" + longest.toUtf8() + "\"}", BrowserBridgeRequest::start(longest)},
        {"{\"v\":1,\"type\":\"start\",\"session\":\"" + tooLong.toUtf8() + "\"}", Error::invalidMessage(tooLong)},
        {"[1,2]", Error::malformed()},
        {"abc", Error::malformed()},
        {"", Error::malformed()},
        {QByteArray(5000, '[') + QByteArray(5000, ']'), Error::malformed()},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(BrowserBridgeCodec::decodeRequest(bytes), expected) << bytes.left(80).toStdString();
}

TEST(LineDecoder, SplitsSkipsEmptyLinesAndEnforcesTheMaximum)
{
    LineDecoder decoder(1024);
    EXPECT_EQ(std::get<QList<QByteArray>>(decoder.feed("a\n\nb")), QList<QByteArray>{"a"});
    EXPECT_EQ(std::get<QList<QByteArray>>(decoder.feed("\n")), QList<QByteArray>{"b"});
    EXPECT_EQ(std::get<QList<QByteArray>>(decoder.feed("x\ny\nz")), (QList<QByteArray>{"x", "y"}));

    const std::pair<QByteArray, bool> limits[] = {{"abcd\n", true}, {"abcde\n", false}, {"abcde", false}, {"abcd", true}};
    for (const auto& [chunk, accepted] : limits) {
        LineDecoder small(4);
        EXPECT_EQ(std::holds_alternative<QList<QByteArray>>(small.feed(chunk)), accepted) << chunk.toStdString();
    }
    EXPECT_EQ(LineDecoder::line("{}"), "{}\n");
}

TEST(NativeMessagingFrameDecoder, FramesAcrossAndWithinChunks)
{
    const QByteArray first = NativeMessagingFrameDecoder::frame("{\"a\":1}");
    const QByteArray second = NativeMessagingFrameDecoder::frame("");
    EXPECT_EQ(first.left(4), QByteArray("\x07\x00\x00\x00", 4));

    NativeMessagingFrameDecoder together(65536);
    EXPECT_EQ(std::get<QList<QByteArray>>(together.feed(first + second)), (QList<QByteArray>{"{\"a\":1}", ""}));

    NativeMessagingFrameDecoder split(65536);
    QList<QByteArray> got;
    for (const QByteArray& part : {first.left(2), first.mid(2, 5), first.mid(7)})
        got += std::get<QList<QByteArray>>(split.feed(part));
    EXPECT_EQ(got, QList<QByteArray>{"{\"a\":1}"});

    const auto header = [](quint32 length) { QByteArray h(4, '\0'); qToLittleEndian(length, h.data()); return h; };
    NativeMessagingFrameDecoder tooLarge(65536);
    EXPECT_EQ(std::get<Error>(tooLarge.feed(header(65537) + "x")), Error::frameTooLarge()) << "before the payload arrives";
    NativeMessagingFrameDecoder largest(65536);
    EXPECT_TRUE(std::get<QList<QByteArray>>(largest.feed(header(65536) + "x")).isEmpty()) << "waits for the payload";
}

TEST(BrowserBridge, CappingCutsAtWholeCharactersAndWhiteSpace)
{
    const struct {
        QString text;
        qsizetype limit;
        QString expected;
    } cases[] = {
        {"eins zwei drei", 9, "eins"},
        {"abcdefghij", 4, "abcd"},
        {"exactly  ", 9, "exactly  "},
        {QString::fromUtf8("ab🎤cd"), 3, "ab"},          // the emoji's two units do not fit after "ab"
        {QString::fromUtf8("e\u0301e\u0301e\u0301"), 5, QString::fromUtf8("e\u0301e\u0301")},
        {"  lead trail", 7, "lead"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserBridge::capped(c.text, c.limit), c.expected) << c.text.toStdString();
}

} // namespace
