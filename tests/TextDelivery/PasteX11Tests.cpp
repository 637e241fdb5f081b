// Pastes into real X clients on the rig's display, through the real clipboard.
#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/OwnApplicationFocus.h"
#include "TextDelivery/SystemPasteboard.h"

#include "Platform/TextDelivery.h"

#include "TestSupport.h"
#include "X11TestClient.h"

#include <QFileInfo>
#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <future>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// Read on a thread of its own while this thread serves the clipboard: after a
// restore, this very process owns it.
std::vector<platform::SelectionFormat> read(platform::Selection selection)
{
    auto pending = std::async(std::launch::async,
                              [selection] { return platform::TextDelivery::selectionReader()->read(selection, {}); });
    EXPECT_TRUE(test::waitUntil([&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    auto result = pending.get();
    EXPECT_TRUE(std::holds_alternative<std::vector<platform::SelectionFormat>>(result));
    auto* formats = std::get_if<std::vector<platform::SelectionFormat>>(&result);
    return formats ? *formats : std::vector<platform::SelectionFormat>{};
}

QByteArray format(const std::vector<platform::SelectionFormat>& formats, const QString& name)
{
    for (const auto& f : formats)
        if (f.name == name)
            return f.data;
    return "<absent>";
}

InsertResult insertWith(DirectInserter& inserter, const QString& text);

class PasteInto : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(client.isConnected());
        ASSERT_TRUE(test::setKeyboardLayout("us"));
    }
    void TearDown() override
    {
        for (auto* process : {&target, &owner}) {
            process->kill();
            process->waitForFinished();
        }
    }

    // A second client holds the clipboard with text, HTML and an image.
    void otherClientOwnsTheClipboard()
    {
        const QString png = dir.path() + "/picture.png";
        // Any bytes will do for the image: what matters is that they come back unchanged.
        QByteArray bytes("\x89PNG\r\n\x1a\n");
        for (int i = 0; i < 300000; ++i)
            bytes.append(char(i * 7));
        test::writeFile(png, bytes);
        owner.start(VELMORA_PASTE_TARGET, {"own", png});
        ASSERT_TRUE(owner.waitForReadyRead(10000));
        ASSERT_TRUE(test::waitUntil([&] { return !read(platform::Selection::clipboard).empty(); }));
    }

    // A second Qt client with a focused text field; its text lands in the returned file.
    QString startTargetWindow()
    {
        const QString out = dir.path() + "/typed.txt";
        target.start(VELMORA_PASTE_TARGET, {"window", out});
        EXPECT_TRUE(target.waitForReadyRead(10000));
        EXPECT_TRUE(waitForFrontmost("PasteTarget", target.processId()));
        return out;
    }

    // A terminal started as `program options… -e sh -c …`, in front, whose shell reads one line:
    // `text` pasted and a Return typed, what the shell read.
    QString pasteIntoTerminal(const QString& program, const QStringList& options, const QString& windowClass,
                              DirectInserter& inserter, const QString& text)
    {
        const QString out = dir.path() + "/line.txt";
        // Empty lines are skipped: a Return that overtakes the terminal's fetch of the paste is harmless.
        target.start(program, options + QStringList{"-e", "sh", "-c",
                                                    "while IFS= read -r line; do [ -n \"$line\" ] && break; done; "
                                                    "printf %s \"$line\" > \"$0\"", out});
        EXPECT_TRUE(target.waitForStarted());
        EXPECT_TRUE(waitForFrontmost(windowClass, target.processId()));
        EXPECT_EQ(insertWith(inserter, text).outcome, InsertOutcome::inserted);
        EXPECT_TRUE(test::waitUntil([&] {
            client.tap(36); // Return, until the pasted line has been read
            return test::waitUntil([&] { return QFileInfo::exists(out); }, std::chrono::milliseconds(300));
        }, std::chrono::seconds(10)));
        return QString::fromUtf8(test::readFile(out));
    }

    bool waitForFrontmost(const QString& identifier, qint64 pid)
    {
        const auto frontmost = platform::TextDelivery::frontmostApplication();
        return test::waitUntil([&] {
            const auto now = frontmost->current();
            return now && now->identifier == identifier && now->processId == pid;
        }, std::chrono::seconds(10));
    }

    QTemporaryDir dir;
    test::X11TestClient client;
    QProcess target, owner;
    SystemPasteboard clipboard{platform::Selection::clipboard};
    SystemPasteboard primary{platform::Selection::primary};
};

// Another client copies, the way a user does with xclip.
void copyWithXclip(const char* selection, const QByteArray& text)
{
    QProcess xclip;
    xclip.start("xclip", {"-selection", selection, "-i"});
    xclip.write(text);
    xclip.closeWriteChannel();
    EXPECT_TRUE(xclip.waitForFinished(5000));
}

InsertResult insertWith(DirectInserter& inserter, const QString& text)
{
    std::optional<InsertResult> result;
    inserter.insert(text, [&](InsertResult r) { result = r; });
    EXPECT_TRUE(test::waitUntil([&] { return result.has_value(); }, std::chrono::seconds(10)));
    return result.value_or(InsertResult{InsertOutcome::clipboardNotSaved, std::nullopt});
}

} // namespace

TEST_F(PasteInto, AnotherApplicationAndTheClipboardComesBackByteForByte)
{
    otherClientOwnsTheClipboard();
    const auto before = read(platform::Selection::clipboard);
    ASSERT_NE(format(before, "image/png"), "<absent>");
    ASSERT_GT(format(before, "image/png").size(), 262144) << "large enough to travel in pieces (INCR)";

    const QString out = startTargetWindow();

    DirectInserter inserter(clipboard, primary);
    EXPECT_EQ(insertWith(inserter, "Hallo Welt").outcome, InsertOutcome::inserted);
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(out) == "Hallo Welt"; }));
    EXPECT_EQ(format(read(platform::Selection::clipboard), SystemPasteboard::transientType), "secret")
        << "marked for clipboard histories";

    ASSERT_TRUE(test::waitUntil([&] { return !inserter.hasPendingRestore(); }));
    const auto after = read(platform::Selection::clipboard);
    for (const auto& original : before)
        EXPECT_EQ(format(after, original.name), original.data) << original.name.toStdString();
}

TEST_F(PasteInto, ACopyMadeMeanwhileIsLeftAlone)
{
    otherClientOwnsTheClipboard();
    const QString out = startTargetWindow();

    DirectInserter inserter(clipboard, primary);
    ASSERT_EQ(insertWith(inserter, "dictated").outcome, InsertOutcome::inserted);
    copyWithXclip("clipboard", "copied meanwhile");
    ASSERT_TRUE(test::waitUntil([&] { return format(read(platform::Selection::clipboard), "UTF8_STRING") == "copied meanwhile"; }));
    ASSERT_TRUE(test::waitUntil([&] { return !inserter.hasPendingRestore(); }));
    EXPECT_EQ(format(read(platform::Selection::clipboard), "UTF8_STRING"), "copied meanwhile");
}

TEST_F(PasteInto, StockXtermThroughPrimaryAndShiftInsert)
{
    copyWithXclip("primary", "selected before");
    otherClientOwnsTheClipboard();
    const auto clipboardBefore = read(platform::Selection::clipboard);

    DirectInserter inserter(clipboard, primary);
    EXPECT_EQ(pasteIntoTerminal("xterm", {}, "XTerm", inserter, "into the terminal"), "into the terminal");

    ASSERT_TRUE(test::waitUntil([&] { return !inserter.hasPendingRestore(); }));
    EXPECT_EQ(format(read(platform::Selection::primary), "UTF8_STRING"), "selected before");
    const auto clipboardAfter = read(platform::Selection::clipboard);
    for (const auto& original : clipboardBefore)
        EXPECT_EQ(format(clipboardAfter, original.name), original.data) << original.name.toStdString();
}

TEST_F(PasteInto, NoSyntheticKeysIsAFailureAndTheClipboardIsPutBackAtOnce)
{
    otherClientOwnsTheClipboard();
    const auto before = read(platform::Selection::clipboard);
    DirectInserter inserter(clipboard, primary, [](platform::PasteChord, auto, auto done) {
        done(platform::KeyInjectionError::unavailable);
    });
    const auto result = insertWith(inserter, "never pasted");
    EXPECT_EQ(result.outcome, InsertOutcome::pasteNotSent);
    EXPECT_EQ(result.keyError, platform::KeyInjectionError::unavailable);
    const auto after = read(platform::Selection::clipboard);
    for (const auto& original : before)
        EXPECT_EQ(format(after, original.name), original.data) << original.name.toStdString();
}

TEST_F(PasteInto, AFrozenOwnerIsClipboardNotSavedWithoutFreezingVelmora)
{
    test::X11TestClient frozen;
    const qint64 beforeTakeover = clipboard.changeCount();
    frozen.ownSelectionAndHang("CLIPBOARD");
    ASSERT_TRUE(test::waitUntil([&] { return clipboard.changeCount() > beforeTakeover; })) << "the takeover is a change";
    const qint64 countBefore = clipboard.changeCount();
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(20);
    bool pasted = false;
    DirectInserter inserter(clipboard, primary, [&](platform::PasteChord, auto, auto done) {
        pasted = true;
        done(std::nullopt);
    });
    const auto result = insertWith(inserter, "never pasted");
    EXPECT_EQ(result.outcome, InsertOutcome::clipboardNotSaved);
    EXPECT_FALSE(pasted);
    EXPECT_GT(ticks, 20) << "the main thread kept running while the owner did not answer";
    EXPECT_EQ(clipboard.changeCount(), countBefore) << "the clipboard was left as it was";
}

TEST_F(PasteInto, TheReaderStopsAtItsSizeLimit)
{
    otherClientOwnsTheClipboard();
    auto limited = platform::TextDelivery::selectionReader()->read(platform::Selection::clipboard, {std::chrono::seconds(5), 100'000});
    ASSERT_TRUE(std::holds_alternative<platform::SelectionReadError>(limited));
    EXPECT_EQ(std::get<platform::SelectionReadError>(limited), platform::SelectionReadError::tooLarge);
}

TEST_F(PasteInto, OwnWritesMoveTheChangeCountOnceAndForeignCopiesToo)
{
    clipboard.writeTransientText("ours");
    EXPECT_EQ(clipboard.changeCount(), 1);
    QTest::qWait(200);
    EXPECT_EQ(clipboard.changeCount(), 1) << "no late notice of our own write";
    // Another client's copy arrives as a notice; ours must not arrive as one as well.
    copyWithXclip("clipboard", "theirs");
    ASSERT_TRUE(test::waitUntil([&] { return clipboard.changeCount() >= 2; }));
    QTest::qWait(100);
    EXPECT_EQ(clipboard.changeCount(), 2);
    // Ctrl+C in one of Velmora's own windows (the transcript editor copies through Qt):
    // the selection stays in this process, and it is still the user's copy.
    clipboard.writeTransientText("ours again");
    ASSERT_EQ(clipboard.changeCount(), 3);
    QGuiApplication::clipboard()->setText("copied in the transcript editor");
    ASSERT_TRUE(test::waitUntil([&] { return clipboard.changeCount() >= 4; }));
    QTest::qWait(100);
    EXPECT_EQ(clipboard.changeCount(), 4);
}

TEST_F(PasteInto, APasteFromACyrillicLayoutUsesTheLatinV)
{
    ASSERT_EQ(test::runProcess("setxkbmap", {"-layout", "ru,us"}).exitCode, 0);
    const QString out = startTargetWindow();
    DirectInserter inserter(clipboard, primary);
    EXPECT_EQ(insertWith(inserter, "Привет, world").outcome, InsertOutcome::inserted);
    EXPECT_TRUE(test::waitUntil([&] { return test::readFile(out) == QString("Привет, world").toUtf8(); }))
        << test::readFile(out).toStdString();
    ASSERT_TRUE(test::setKeyboardLayout("us"));
}

TEST_F(PasteInto, OwnFocusFollowsVelmorasWindows)
{
    QLineEdit own;
    own.show();
    own.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&own));
    EXPECT_TRUE(ownApplicationHasFocus());
    const QString out = startTargetWindow();
    ASSERT_TRUE(test::waitUntil([] { return !ownApplicationHasFocus(); }));
}

TEST_F(PasteInto, AModifierStillHeldIsAnHonestFailureNotAWrongShortcut)
{
    otherClientOwnsTheClipboard();
    const auto before = read(platform::Selection::clipboard);
    const QString out = startTargetWindow();
    client.press(test::keys::control); // the hot key's Control, never let go
    client.sync();
    DirectInserter inserter(clipboard, primary);
    const auto result = insertWith(inserter, "not now");
    client.release(test::keys::control);
    client.sync();
    EXPECT_EQ(result.outcome, InsertOutcome::pasteNotSent);
    EXPECT_EQ(result.keyError, platform::KeyInjectionError::modifiersHeld);
    EXPECT_TRUE(test::readFile(out).isEmpty()) << "no keys reached the window";
    const auto after = read(platform::Selection::clipboard);
    for (const auto& original : before)
        EXPECT_EQ(format(after, original.name), original.data) << original.name.toStdString();

    // Released in time: the paste waits for it and goes out.
    client.press(test::keys::control);
    client.release(test::keys::control, 200);
    EXPECT_EQ(insertWith(inserter, "now").outcome, InsertOutcome::inserted);
    EXPECT_TRUE(test::waitUntil([&] { return test::readFile(out) == "now"; }));
}

TEST_F(PasteInto, QuittingRightAfterAPasteHandsTheUsersClipboardToTheManager)
{
    otherClientOwnsTheClipboard();
    const auto before = read(platform::Selection::clipboard);
    const QString saved = dir.path() + "/saved.txt";
    QProcess manager;
    manager.start(VELMORA_CLIPBOARD_MANAGER, {saved});
    ASSERT_TRUE(manager.waitForReadyRead(10000));

    const auto quitting = test::runProcess(VELMORA_QUIT_AFTER_INSERT, {});
    EXPECT_EQ(quitting.exitCode, 0) << quitting.standardError.toStdString();
    EXPECT_EQ(quitting.standardOutput.trimmed(), "inserted");
    ASSERT_TRUE(manager.waitForFinished(10000));
    EXPECT_EQ(manager.exitCode(), 0);

    std::vector<platform::SelectionFormat> handedOver;
    for (const QByteArray& line : test::readFile(saved).split('\n')) {
        const auto parts = line.split('\t');
        if (parts.size() == 2)
            handedOver.push_back({QString::fromUtf8(parts[0]), QByteArray::fromBase64(parts[1])});
    }
    ASSERT_FALSE(handedOver.empty()) << "the manager got nothing";
    for (const auto& original : before)
        EXPECT_EQ(format(handedOver, original.name), original.data) << original.name.toStdString();
    EXPECT_EQ(format(handedOver, SystemPasteboard::transientType), "<absent>") << "not the transcript";
}

// A terminal that calls itself something no list knows (st under a class of the user's
// choosing) still gets the keys that paste there: Ctrl+V would only make it insert the
// next key literally, and the Return after it would arrive as ^M.
TEST_F(PasteInto, ATerminalUnderANameOnNoList)
{
    otherClientOwnsTheClipboard();
    DirectInserter inserter(clipboard, primary);
    EXPECT_EQ(pasteIntoTerminal("st", {"-n", "scratch", "-c", "Scratchpad"}, "Scratchpad", inserter,
                                "into a terminal by any name"),
              "into a terminal by any name");
}

// CopyQ, the clipboard manager Debian 12 ships, records every copy it sees. The paste's
// own text carries the markers clipboard managers honour (CopyQ up to 6 reads only its
// own): it stays out of the history, and the user's clip stays on top of it and on the
// clipboard.
TEST_F(PasteInto, AClipboardManagersHistoryNeverHoldsTheTranscript)
{
    const auto copyq = [](const QStringList& arguments) {
        return QString::fromUtf8(test::runProcess("copyq", arguments).standardOutput);
    };
    QProcess server;
    server.setStandardInputFile(QProcess::nullDevice());
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(dir.path() + "/copyq.log");
    server.start("copyq", {});
    ASSERT_TRUE(server.waitForStarted());
    // Its monitor starts a moment after the server answers; what it saw at its start it
    // takes as seen, the same text copied again included. So: copies of their own until
    // one is recorded, then the user's.
    ASSERT_TRUE(test::waitUntil([&] { return copyq({"eval", "monitoring()"}).trimmed() == "true"; }, 15s));
    bool monitoring = false;
    for (int attempt = 0; attempt < 15 && !monitoring; ++attempt) {
        const QByteArray probe = "probe " + QByteArray::number(attempt);
        copyWithXclip("clipboard", probe);
        monitoring = test::waitUntil([&] { return copyq({"read", "0"}).toUtf8() == probe; }, 1s);
    }
    ASSERT_TRUE(monitoring) << "CopyQ records copies";
    copyWithXclip("clipboard", "the user's clip");
    ASSERT_TRUE(test::waitUntil([&] { return copyq({"read", "0"}) == "the user's clip"; }, 5s));
    const QString countBefore = copyq({"count"});

    const QString out = startTargetWindow();
    DirectInserter inserter(clipboard, primary);
    ASSERT_EQ(insertWith(inserter, "the dictated words").outcome, InsertOutcome::inserted);
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(out) == "the dictated words"; }));
    ASSERT_TRUE(test::waitUntil([&] { return !inserter.hasPendingRestore(); }));
    QTest::qWait(500); // what CopyQ would add, it adds by now

    EXPECT_EQ(format(read(platform::Selection::clipboard), "UTF8_STRING"), "the user's clip");
    EXPECT_EQ(copyq({"read", "0"}), "the user's clip");
    const QString countAfter = copyq({"count"});
    EXPECT_EQ(countAfter, countBefore);
    for (int row = 0; row < countAfter.trimmed().toInt(); ++row)
        EXPECT_NE(copyq({"read", QString::number(row)}), "the dictated words") << "row " << row;

    copyq({"exit"});
    if (!server.waitForFinished(5000))
        server.kill();
}
