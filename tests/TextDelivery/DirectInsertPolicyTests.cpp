#include "TextDelivery/DirectInsertPolicy.h"

#include "Platform/FrontmostApplicationSource.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

DirectInsertContext allowed()
{
    DirectInsertContext c;
    c.isEnabled = true;
    c.segment = QStringLiteral("Hallo Welt");
    c.hasPermission = true;
    c.ownPID = 100;
    c.targetPID = 200;
    c.frontmostPID = 200;
    c.targetWindow = 0x400001;
    c.frontmostWindow = 0x400001;
    return c;
}

} // namespace

TEST(DirectInsertPolicy, DecidesInItsOrder)
{
    const struct {
        const char* name;
        std::function<void(DirectInsertContext&)> change;
        DirectInsertDecision expected;
    } cases[] = {
        {"everything allows it", [](auto&) {}, DirectInsertDecision::paste},
        {"disabled wins over all", [](auto& c) { c.isEnabled = false; c.segment.clear(); c.hasPermission = false; },
         DirectInsertDecision::disabled},
        {"spaces and newlines only, before the permission", [](auto& c) { c.segment = " \n\t\r\n "; c.hasPermission = false; },
         DirectInsertDecision::emptySegment},
        {"no permission", [](auto& c) { c.hasPermission = false; }, DirectInsertDecision::missingPermission},
        {"stopped while Velmora was in front", [](auto& c) { c.targetPID = 100; }, DirectInsertDecision::noTarget},
        {"no target at all", [](auto& c) { c.targetPID.reset(); c.targetWindow = 0; }, DirectInsertDecision::noTarget},
        {"own focus before the frontmost is looked at",
         [](auto& c) { c.ownAppHasFocus = true; c.frontmostPID.reset(); c.frontmostWindow = 0; },
         DirectInsertDecision::ownAppFocused},
        {"nothing in front now", [](auto& c) { c.frontmostPID.reset(); c.frontmostWindow = 0; },
         DirectInsertDecision::targetChanged},
        {"Velmora in front now", [](auto& c) { c.frontmostPID = 100; }, DirectInsertDecision::ownAppFocused},
        {"another application", [](auto& c) { c.frontmostPID = 300; c.frontmostWindow = 0x500001; },
         DirectInsertDecision::targetChanged},
        {"another window of the same program", [](auto& c) { c.frontmostWindow = 0x400099; },
         DirectInsertDecision::targetChanged},
        {"a client without a process id: the window decides",
         [](auto& c) { c.targetPID.reset(); c.frontmostPID.reset(); }, DirectInsertDecision::paste},
        {"...and another window without one",
         [](auto& c) { c.targetPID.reset(); c.frontmostPID.reset(); c.frontmostWindow = 0x500001; },
         DirectInsertDecision::targetChanged},
        // A Wayland window seen from X11: unnamed, but still a window to paste into.
        {"a Wayland window X11 cannot see, in front at both ends",
         [](auto& c) {
             c.targetPID.reset();
             c.frontmostPID.reset();
             c.targetWindow = c.frontmostWindow = platform::FrontmostApplication::unseenWaylandWindow;
         },
         DirectInsertDecision::paste},
        {"from an X11 window to a Wayland one",
         [](auto& c) { c.frontmostPID.reset(); c.frontmostWindow = platform::FrontmostApplication::unseenWaylandWindow; },
         DirectInsertDecision::targetChanged},
    };
    for (const auto& c : cases) {
        auto context = allowed();
        c.change(context);
        EXPECT_EQ(DirectInsertPolicy::decide(context), c.expected) << c.name;
    }
}

TEST(DirectInsertPolicy, PasteTextIsOneTrimmedLine)
{
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"Hallo\n\n  Welt  \r\nzusammen", "Hallo Welt zusammen"},
        {"\t eins \t", "eins"},
        {"a\rb\x0B" "c\x0C" "d", "a b c d"},
        {"a\u0085b\u2028c\u2029d", "a b c d"},
        {"  two  spaces inside  ", "two  spaces inside"},
        {"\n\n", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DirectInsertPolicy::pasteText(QString::fromUtf8(c.input)), QString::fromUtf8(c.expected)) << c.input;
}

TEST(DirectInsertPolicy, ADictationRightAfterAnotherInTheSameWindowTakesASpace)
{
    const PastedDictation editor{0x400001, 4242, 10'000};
    const struct {
        const char* name;
        std::optional<PastedDictation> previous;
        PastedDictation now;
        const char* text;
        bool continues;
    } cases[] = {
        {"same window, soon, a word", editor, {0x400001, 4242, 40'000}, "we use", true},
        {"a digit", editor, {0x400001, 4242, 40'000}, "42 times", true},
        {"a letter of another script", editor, {0x400001, 4242, 40'000}, "Ärger", true},
        {"punctuation joins as spoken", editor, {0x400001, 4242, 40'000}, ", then", false},
        {"nothing pasted before", std::nullopt, {0x400001, 4242, 40'000}, "we use", false},
        {"another window of the same program", editor, {0x400002, 4242, 40'000}, "we use", false},
        {"another program", editor, {0x500001, 77, 40'000}, "we use", false},
        {"two minutes later", editor, {0x400001, 4242, 10'000 + 120'001}, "we use", false},
        {"just within two minutes", editor, {0x400001, 4242, 10'000 + 120'000}, "we use", true},
        {"windows unknown, same process", PastedDictation{0, 4242, 10'000}, {0, 4242, 20'000}, "we use", true},
        {"nothing known of either", PastedDictation{0, std::nullopt, 10'000}, {0, std::nullopt, 20'000}, "we use", false},
        {"an empty text", editor, {0x400001, 4242, 40'000}, "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DirectInsertPolicy::continuesPrevious(c.previous, c.now, QString::fromUtf8(c.text)), c.continues)
            << c.name;
}
