#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/SystemPasteboard.h"

#include "TestSupport.h"

#include <QProcess>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace velmora;
using platform::KeyInjectionError;
using platform::PasteChord;

namespace {

// A clipboard in memory that answers snapshots later, as the real one does.
class MemoryPasteboard : public PasteboardAccess {
public:
    qint64 changeCount() const override { return count; }
    void snapshot(QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done) override
    {
        ++snapshots;
        QTimer::singleShot(0, context, [this, done] { done(unreadable ? std::nullopt : std::optional(contents)); });
    }
    void restore(const PasteboardSnapshot& snapshot) override
    {
        contents = snapshot;
        ++count;
    }
    void writeTransientText(const QString& text) override
    {
        contents = {{{{"text/plain", text.toUtf8()}, {SystemPasteboard::transientType, "secret"}}}};
        ++count;
    }
    void writeText(const QString& text) override
    {
        contents = {{{{"text/plain", text.toUtf8()}}}};
        ++count;
    }
    void userCopies(const PasteboardSnapshot& snapshot)
    {
        contents = snapshot;
        ++count;
    }
    QString text() const
    {
        for (const auto& item : contents.items)
            for (const auto& entry : item)
                if (entry.type == "text/plain")
                    return QString::fromUtf8(entry.data);
        return {};
    }

    PasteboardSnapshot contents;
    qint64 count = 0;
    int snapshots = 0;
    bool unreadable = false;
};

const PasteboardSnapshot usersContents{{{{"text/plain", "mine"}, {"image/png", QByteArray("\x89PNG\0\1", 6)}}}};

struct Rig {
    MemoryPasteboard clipboard, primary;
    std::vector<PasteChord> chords;
    std::optional<KeyInjectionError> failWith;
    std::optional<platform::FrontmostApplication> frontmost;
    std::vector<QString> pastedTexts; // what the clipboard held when the keys went out
    std::optional<platform::ProcessFacts> process; // what the window's process is
    std::function<void()> duringWait; // the user, while the paster waits for held keys
    DirectInserter inserter{clipboard,
                            primary,
                            [this](PasteChord chord, auto beforeKeys, auto done) {
                                QTimer::singleShot(0, [this, chord, beforeKeys, done] {
                                    if (duringWait)
                                        duringWait();
                                    // As on X11: keys held past the wait end it before the question.
                                    if (failWith == KeyInjectionError::modifiersHeld)
                                        return done(failWith);
                                    if (!beforeKeys())
                                        return done(KeyInjectionError::withdrawn);
                                    chords.push_back(chord);
                                    pastedTexts.push_back(chord == PasteChord::shiftInsert ? primary.text()
                                                                                           : clipboard.text());
                                    done(failWith);
                                });
                            },
                            [this] { return frontmost; },
                            {QStringLiteral("MyTerm")},
                            std::chrono::milliseconds(100),
                            [this](qint32) { return process; }};

    InsertResult insert(const QString& text, std::optional<std::uint32_t> window = std::nullopt)
    {
        std::optional<InsertResult> result;
        inserter.insert(text, window, [&](InsertResult r) { result = r; });
        EXPECT_TRUE(test::waitUntil([&] { return result.has_value(); }));
        return result.value_or(InsertResult{});
    }
    bool waitForRestore() { return test::waitUntil([&] { return !inserter.hasPendingRestore(); }); }
};

} // namespace

TEST(DirectInserter, PastesThenGivesTheUsersClipboardBack)
{
    Rig rig;
    rig.clipboard.contents = usersContents;
    EXPECT_EQ(rig.insert("Hallo Welt").outcome, InsertOutcome::inserted);
    EXPECT_EQ(rig.pastedTexts, std::vector<QString>{"Hallo Welt"});
    EXPECT_EQ(rig.chords, std::vector<PasteChord>{PasteChord::controlV});
    EXPECT_TRUE(rig.inserter.hasPendingRestore());
    ASSERT_TRUE(rig.waitForRestore());
    EXPECT_EQ(rig.clipboard.contents, usersContents);
}

TEST(DirectInserter, ASecondInsertBeforeTheRestoreKeepsTheFirstSnapshot)
{
    Rig rig;
    rig.clipboard.contents = usersContents;
    ASSERT_EQ(rig.insert("first").outcome, InsertOutcome::inserted);
    ASSERT_EQ(rig.insert("second").outcome, InsertOutcome::inserted);
    EXPECT_EQ(rig.clipboard.snapshots, 1) << "the clipboard still held our first paste";
    ASSERT_TRUE(rig.waitForRestore());
    EXPECT_EQ(rig.clipboard.contents, usersContents) << "not the first transcript";
}

TEST(DirectInserter, ACopyMadeAfterTheInsertStays)
{
    Rig rig;
    rig.clipboard.contents = usersContents;
    ASSERT_EQ(rig.insert("dictated").outcome, InsertOutcome::inserted);
    const PasteboardSnapshot copied{{{{"text/plain", "copied meanwhile"}}}};
    rig.clipboard.userCopies(copied);
    ASSERT_TRUE(rig.waitForRestore());
    EXPECT_EQ(rig.clipboard.contents, copied);
}

TEST(DirectInserter, AnEmptyClipboardIsEmptyAgainAndQuittingRestoresAtOnce)
{
    Rig rig;
    ASSERT_EQ(rig.insert("dictated").outcome, InsertOutcome::inserted);
    ASSERT_TRUE(rig.waitForRestore());
    EXPECT_TRUE(rig.clipboard.contents.isEmpty());

    rig.clipboard.contents = usersContents;
    ASSERT_EQ(rig.insert("dictated").outcome, InsertOutcome::inserted);
    rig.inserter.restorePendingNow(); // what quitting does
    EXPECT_EQ(rig.clipboard.contents, usersContents);
    EXPECT_FALSE(rig.inserter.hasPendingRestore());
}

TEST(DirectInserter, FailuresLeaveTheClipboardAsTheUserHadIt)
{
    {
        Rig rig;
        rig.clipboard.contents = usersContents;
        rig.clipboard.unreadable = true;
        const auto result = rig.insert("dictated");
        EXPECT_EQ(result.outcome, InsertOutcome::clipboardNotSaved);
        EXPECT_TRUE(rig.chords.empty()) << "nothing is pasted without a way back";
        EXPECT_EQ(rig.clipboard.contents, usersContents);
        EXPECT_EQ(rig.clipboard.count, 0) << "the clipboard was never touched";
    }
    for (const auto error : {KeyInjectionError::unavailable, KeyInjectionError::modifiersHeld}) {
        Rig rig;
        rig.clipboard.contents = usersContents;
        rig.failWith = error;
        const auto result = rig.insert("dictated");
        EXPECT_EQ(result.outcome, InsertOutcome::pasteNotSent);
        EXPECT_EQ(result.keyError, error);
        EXPECT_EQ(rig.clipboard.contents, usersContents) << "taken off again at once";
        EXPECT_FALSE(rig.inserter.hasPendingRestore());
    }
}

// Between the decision and the keys lie a clipboard read and the wait for held keys.
// What the user does then is looked at right before the keys go.
TEST(DirectInserter, WhatChangedDuringTheWaitIsSeenBeforeTheKeysGo)
{
    const platform::FrontmostApplication editor{0x400001, 4242, QString("notes"), QString("Gedit"), QString("gedit")};
    const platform::FrontmostApplication other{0x600001, 5151, QString("chat"), QString("Chat"), QString("chat")};
    const PasteboardSnapshot fresh{{{{"text/plain", "copied during the wait"}}}};
    const struct {
        const char* name;
        std::function<void(Rig&)> duringWait;
        std::optional<KeyInjectionError> keys;
        InsertOutcome outcome;
        PasteboardSnapshot clipboardAfter;
    } cases[] = {
        {"a copy (Ctrl+C) during the wait is not pasted, and it stays",
         [&](Rig& r) { r.clipboard.userCopies(fresh); }, std::nullopt, InsertOutcome::clipboardChanged, fresh},
        {"Alt+Tab during the wait: no keys for the next window", [&](Rig& r) { r.frontmost = other; }, std::nullopt,
         InsertOutcome::targetChanged, usersContents},
        {"modifiers held too long and a copy meanwhile: the copy is not overwritten",
         [&](Rig& r) { r.clipboard.userCopies(fresh); }, KeyInjectionError::modifiersHeld, InsertOutcome::pasteNotSent,
         fresh},
        {"a quit during the wait gives the clipboard back, and then nothing is pasted",
         [](Rig& r) { r.inserter.restorePendingNow(); }, std::nullopt, InsertOutcome::clipboardChanged, usersContents},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.clipboard.contents = usersContents;
        rig.frontmost = editor;
        rig.failWith = c.keys;
        rig.duringWait = [&] { c.duringWait(rig); };
        const auto result = rig.insert("dictated", editor.window);
        EXPECT_EQ(result.outcome, c.outcome) << c.name;
        EXPECT_TRUE(rig.chords.empty()) << c.name;
        EXPECT_FALSE(rig.inserter.hasPendingRestore()) << c.name;
        QTest::qWait(150); // past the restore delay
        EXPECT_EQ(rig.clipboard.contents, c.clipboardAfter) << c.name;
    }
    // Unchanged, the same window gets its paste.
    Rig rig;
    rig.clipboard.contents = usersContents;
    rig.frontmost = editor;
    EXPECT_EQ(rig.insert("dictated", editor.window).outcome, InsertOutcome::inserted);
    EXPECT_EQ(rig.pastedTexts, std::vector<QString>{"dictated"});
}

TEST(DirectInserter, TerminalsGetTheirPasteKeysAndXtermItsSelection)
{
    const struct {
        const char* name;
        std::optional<QString> identifier, instance;
        PasteRoute route;
    } cases[] = {
        {"editor", QString("Gedit"), QString("gedit"), {PasteChord::controlV, false}},
        {"no window", std::nullopt, std::nullopt, {PasteChord::controlV, false}},
        {"GNOME terminal", QString("Gnome-terminal"), QString("gnome-terminal-server"), {PasteChord::controlShiftV, false}},
        {"kitty, by instance", QString("whatever"), QString("kitty"), {PasteChord::controlShiftV, false}},
        {"Alacritty", QString("Alacritty"), QString("Alacritty"), {PasteChord::controlShiftV, false}},
        {"a class the preference adds", QString("myterm"), std::nullopt, {PasteChord::controlShiftV, false}},
        {"xterm", QString("XTerm"), QString("xterm"), {PasteChord::shiftInsert, true}},
    };
    for (const auto& c : cases) {
        std::optional<platform::FrontmostApplication> frontmost;
        if (c.identifier || c.instance)
            frontmost = platform::FrontmostApplication{1, std::nullopt, std::nullopt, c.identifier, c.instance};
        EXPECT_EQ(DirectInserter::routeFor(frontmost, {QStringLiteral("MyTerm")}), c.route) << c.name;
    }

    // Where the window's process is known, what it is decides, whatever the window calls itself.
    const struct {
        const char* name;
        QString identifier;
        platform::ProcessFacts process;
        PasteRoute route;
    } byProcess[] = {
        {"a terminal under a name on no list", "scratchpad", {"foot", true}, {PasteChord::controlShiftV, false}},
        {"a terminal program whose descriptors could not be read", "scratchpad", {"kitty", false},
         {PasteChord::controlShiftV, false}},
        {"xterm under another class", "Notes", {"xterm", true}, {PasteChord::shiftInsert, true}},
        {"an editor", "Gedit", {"gedit", false}, {PasteChord::controlV, false}},
        {"a terminal's window name still counts", "Alacritty", {"alacritty-wrapper", false},
         {PasteChord::controlShiftV, false}},
    };
    for (const auto& c : byProcess) {
        const platform::FrontmostApplication frontmost{1, 4242, std::nullopt, c.identifier, c.identifier.toLower()};
        EXPECT_EQ(DirectInserter::routeFor(frontmost, {}, c.process), c.route) << c.name;
    }

    Rig rig;
    rig.frontmost = platform::FrontmostApplication{1, 7, QString("xterm"), QString("XTerm"), QString("xterm")};
    rig.primary.contents = usersContents;
    rig.clipboard.contents = PasteboardSnapshot{{{{"text/plain", "clipboard stays"}}}};
    ASSERT_EQ(rig.insert("into xterm").outcome, InsertOutcome::inserted);
    EXPECT_EQ(rig.pastedTexts, std::vector<QString>{"into xterm"});
    EXPECT_EQ(rig.clipboard.count, 0) << "xterm's paste goes through PRIMARY only";
    ASSERT_TRUE(rig.waitForRestore());
    EXPECT_EQ(rig.primary.contents, usersContents);
}

TEST(DirectInserter, InsertsAskedForTogetherRunInOrder)
{
    Rig rig;
    rig.clipboard.contents = usersContents;
    std::vector<QString> finished;
    for (const char* text : {"one", "two", "three"})
        rig.inserter.insert(text, [&finished, text](InsertResult r) {
            if (r.outcome == InsertOutcome::inserted)
                finished.push_back(text);
        });
    ASSERT_TRUE(test::waitUntil([&] { return finished.size() == 3; }));
    EXPECT_EQ(rig.pastedTexts, (std::vector<QString>{"one", "two", "three"}));
    ASSERT_TRUE(rig.waitForRestore());
    EXPECT_EQ(rig.clipboard.contents, usersContents);
}

// Real processes: one that holds a pseudo-terminal master the way a terminal emulator does, one
// that does not, one that is gone.
TEST(ProcessFacts, TellsATerminalByItsPseudoTerminal)
{
    QProcess terminal, plain;
    terminal.start("python3", {"-c", "import os, sys, time; master, _ = os.openpty(); print('open', flush=True); time.sleep(60)"});
    plain.start("sleep", {"60"});
    ASSERT_TRUE(terminal.waitForReadyRead(10000));
    ASSERT_TRUE(plain.waitForStarted());

    const auto held = platform::ProcessFacts::of(qint32(terminal.processId()));
    ASSERT_TRUE(held);
    EXPECT_TRUE(held->holdsPseudoTerminal);
    EXPECT_TRUE(held->executableName.startsWith("python3")) << held->executableName.toStdString();
    const auto notHeld = platform::ProcessFacts::of(qint32(plain.processId()));
    ASSERT_TRUE(notHeld);
    EXPECT_FALSE(notHeld->holdsPseudoTerminal);
    EXPECT_EQ(notHeld->executableName, "sleep");

    const qint32 gone = qint32(plain.processId());
    plain.kill();
    plain.waitForFinished();
    EXPECT_EQ(platform::ProcessFacts::of(gone), std::nullopt);
    EXPECT_EQ(platform::ProcessFacts::of(0), std::nullopt);
    terminal.kill();
    terminal.waitForFinished();
}
