// The application shell's decisions, without a display: version labels, the
// command line, tray click reports, popover placement and the popover's texts.
#include "AppVersion/AppVersionDisplay.h"
#include "MenuBar/TrayClickInterpreter.h"
#include "MenuBarPopover/PopoverPlacement.h"
#include "Model/PinnedWhisperModel.h"
#include "Settings/HotKeySettingsSection.h"
#include "Shell/CommandLineOptions.h"
#include "Views/ContentViewText.h"
#include "Widgets/ModelDownloadPresentation.h"

#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using AppVersion::AppVersionInfo;
namespace Display = AppVersion::AppVersionDisplay;

namespace {

TEST(AppVersionDisplay, FourteenDigitBuildsAreUtcStampsShownInTheGivenZone)
{
    const QTimeZone oneHourAhead(3600);
    struct Case {
        QString build;
        QString expected;
    };
    const Case cases[] = {
        {"20250307130509", "Version 1.4 (2025-03-07 14:05:09)"},
        {"42", "Version 1.4 (42)"},
        {"20251307130509", "Version 1.4 (20251307130509)"}, // month 13
        {"20250230130509", "Version 1.4 (20250230130509)"}, // 30 February
        {"20250307250509", "Version 1.4 (20250307250509)"}, // hour 25
        {"2025030713050", "Version 1.4 (2025030713050)"},   // thirteen digits
        {"2025-03-07 13:05", "Version 1.4 (2025-03-07 13:05)"},
        {"２０２５０３０７１３０５０９", "Version 1.4 (２０２５０３０７１３０５０９)"}, // not ASCII digits
        {"20241231233000", "Version 1.4 (2025-01-01 00:30:00)"},              // across the year
    };
    for (const auto& c : cases) {
        const AppVersionInfo info{"1.4", c.build, std::nullopt};
        EXPECT_EQ(Display::label(info, oneHourAhead), c.expected) << c.build.toStdString();
    }
    EXPECT_EQ(Display::timestampComponents("20240229000000"), (Display::TimestampComponents{2024, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(Display::timestampComponents("20230229000000")) << "2023 has no 29 February";
    const auto about = Display::standardAboutPanelOptions("Velmora", {"1.4", "20250307130509", std::nullopt}, oneHourAhead);
    EXPECT_EQ(about.value("applicationVersion"), "1.4 (2025-03-07 14:05:09)");
    EXPECT_EQ(about.value("version"), "");
}

TEST(AppVersionInfo, ReadsTheBundlesInformationFileAndFallsBackToZero)
{
    QTemporaryDir bundle;
    QDir().mkpath(bundle.path() + "/Resources");
    QDir().mkpath(bundle.path() + "/bin");
    test::writeFile(bundle.path() + "/bin/velmora", "x", 0755);
    const platform::MainBundle main{bundle.path(), bundle.path() + "/Resources", bundle.path() + "/bin/velmora", {}};

    EXPECT_EQ(AppVersionInfo::current(main).shortVersion, "0") << "no file";
    EXPECT_EQ(AppVersionInfo::current(main).buildVersion, "0");
    EXPECT_TRUE(AppVersionInfo::current(main).buildDate.has_value()) << "the executable's date";

    test::writeFile(bundle.path() + "/Resources/Info.json",
                    R"({"CFBundleShortVersionString": "2.1", "CFBundleVersion": "20260101120000"})");
    const auto info = AppVersionInfo::current(main);
    EXPECT_EQ(info.shortVersion, "2.1");
    EXPECT_EQ(info.buildVersion, "20260101120000");

    test::writeFile(bundle.path() + "/Resources/Info.json", R"({"CFBundleShortVersionString": 2, "CFBundleVersion": null})");
    EXPECT_EQ(Display::label(AppVersionInfo::current(main), QTimeZone::utc()), "Version 0 (0)") << "wrong types";
    test::writeFile(bundle.path() + "/Resources/Info.json", "not json");
    EXPECT_EQ(Display::label(AppVersionInfo::current(main), QTimeZone::utc()), "Version 0 (0)");
}

TEST(AppVersionInfo, TheBuildWritesAVersionAndAStampOfTheBuildTree)
{
    const auto main = platform::MainBundle::forExecutable(test::velmoraExecutable(), std::nullopt);
    const auto info = AppVersionInfo::current(main);
    EXPECT_NE(info.shortVersion, "0");
    EXPECT_TRUE(Display::timestampComponents(info.buildVersion)) << info.buildVersion.toStdString();
}

TEST(CommandLineOptions, CommandsKeepTheirOrderAndUnknownOptionsAreSetAside)
{
    struct Case {
        QStringList arguments;
        QStringList commands;
        bool help;
        QStringList unknown;
    };
    const Case cases[] = {
        {{"velmora"}, {}, false, {}},
        {{"velmora", "--toggle"}, {"--toggle"}, false, {}},
        {{"velmora", "--show", "--toggle", "--toggle"}, {"--show", "--toggle", "--toggle"}, false, {}},
        {{"velmora", "--help", "--toggle"}, {"--toggle"}, true, {}},
        {{"velmora", "-h"}, {}, true, {}},
        {{"velmora", "--tgogle", "-platform", "xcb"}, {}, false, {"--tgogle"}},
        {{"--toggle"}, {}, false, {}}, // the program's own name is not a command
    };
    for (const auto& c : cases) {
        const auto options = CommandLineOptions::parse(c.arguments);
        EXPECT_EQ(options.commands, c.commands) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(options.help, c.help) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(options.unknown, c.unknown) << c.arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(CommandLineOptions::usage().contains("--toggle"));
    EXPECT_TRUE(CommandLineOptions::usage().contains("--show"));
}

TEST(HotKeySettingsSection, TheShortcutFieldAndTheSpeedLabel)
{
    const HotKeyCore::HotKeySettings ctrlSpace;
    EXPECT_EQ(HotKeySettingsSection::shortcutFieldText(false, 0, ctrlSpace), "Ctrl+Space");
    EXPECT_EQ(HotKeySettingsSection::shortcutFieldText(true, 0, ctrlSpace), "Recording…");
    EXPECT_EQ(HotKeySettingsSection::shortcutFieldText(true, 0x1000 | 0x200, ctrlSpace), "Ctrl+Shift+…");
    const std::pair<double, const char*> labels[] = {{0.05, "50 ms"}, {0.1, "100 ms"}, {0.15, "150 ms"},
                                                     {0.25, "250 ms"}, {0.3, "300 ms"}, {0.1749, "175 ms"}};
    for (const auto& [seconds, text] : labels)
        EXPECT_EQ(HotKeySettingsSection::thresholdText(seconds), text) << seconds;
}

TEST(TrayClickInterpreter, XEmbedAndStatusNotifierReportsMakeTheSameClicks)
{
    using R = TrayClickInterpreter::Report;
    using A = TrayClickInterpreter::Action;
    using namespace std::chrono_literals;
    struct Step {
        R report;
        std::chrono::milliseconds at;
        A expected;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool singleClickStillDue;
    };
    const Case cases[] = {
        {"one click", {{R::trigger, 0ms, A::scheduleSingleClick}}, true},
        // XEmbed: each press reports Trigger, the second press also DoubleClick.
        {"XEmbed double click",
         {{R::trigger, 0ms, A::scheduleSingleClick}, {R::trigger, 150ms, A::doubleClick}, {R::doubleClick, 151ms, A::none}},
         false},
        // Some trays send DoubleClick in place of the second press's Trigger.
        {"DoubleClick without a second Trigger",
         {{R::trigger, 0ms, A::scheduleSingleClick}, {R::doubleClick, 150ms, A::doubleClick}},
         false},
        // StatusNotifierItem: two Activate calls.
        {"two Triggers within the interval",
         {{R::trigger, 0ms, A::scheduleSingleClick}, {R::trigger, 300ms, A::doubleClick}},
         false},
        {"two Triggers too far apart",
         {{R::trigger, 0ms, A::scheduleSingleClick}, {R::trigger, 450ms, A::scheduleSingleClick}},
         true},
        {"two double clicks in a row",
         {{R::trigger, 0ms, A::scheduleSingleClick}, {R::trigger, 100ms, A::doubleClick}, {R::doubleClick, 100ms, A::none},
          {R::trigger, 1000ms, A::scheduleSingleClick}, {R::trigger, 1100ms, A::doubleClick}, {R::doubleClick, 1100ms, A::none}},
         false},
        {"a late DoubleClick is a double click of its own",
         {{R::trigger, 0ms, A::scheduleSingleClick}, {R::trigger, 100ms, A::doubleClick}, {R::doubleClick, 900ms, A::doubleClick}},
         false},
        {"right click", {{R::context, 0ms, A::rightClick}}, false},
        {"middle click does nothing", {{R::middleClick, 0ms, A::none}}, false},
    };
    const auto origin = TrayClickInterpreter::Clock::time_point{} + std::chrono::hours(1);
    for (const auto& c : cases) {
        TrayClickInterpreter clicks(400ms);
        for (const auto& step : c.steps)
            EXPECT_EQ(clicks.report(step.report, origin + step.at), step.expected) << c.name << " at " << step.at.count();
        EXPECT_EQ(clicks.singleClickDue(), c.singleClickStillDue) << c.name;
        EXPECT_FALSE(clicks.singleClickDue()) << c.name << ": a single click is due once";
    }
}

TEST(PopoverPlacement, BelowTheItemWhenItFitsAboveItOtherwiseAndAlwaysOnTheScreen)
{
    using MenuBarPopover::PopoverEdge;
    const QRect screen(0, 24, 1280, 776); // a top panel 24 pixels high
    const QSize size(402, 482);
    struct Case {
        const char* name;
        QRect anchor;
        PopoverEdge edge;
        QRect available;
        QPoint expected;
    };
    const Case cases[] = {
        {"top panel, right corner: below, pushed left", {1256, 1, 22, 22}, PopoverEdge::below, screen, {878, 27}},
        {"top panel, middle: centred", {600, 1, 22, 22}, PopoverEdge::below, screen, {610 - 201, 27}},
        {"bottom panel: flips above", {600, 778, 22, 22}, PopoverEdge::below, QRect(0, 0, 1280, 776), {610 - 201, 292}},
        {"pointer low on the screen, prefers above", {640, 600, 1, 1}, PopoverEdge::above, screen, {439, 600 - 4 - 482}},
        {"pointer high on the screen: no room above", {640, 100, 1, 1}, PopoverEdge::above, screen, {439, 105}},
        {"left panel, fits on neither side: kept on the screen", {2, 300, 22, 22}, PopoverEdge::below, QRect(28, 0, 1252, 800), {28, 800 - 482}},
    };
    for (const auto& c : cases) {
        const QRect frame = MenuBarPopover::popoverFrame(c.anchor, size, c.available, c.edge);
        EXPECT_EQ(frame.topLeft(), c.expected) << c.name;
        EXPECT_TRUE(c.available.contains(frame)) << c.name;
        EXPECT_EQ(frame.size(), size);
    }
    // A screen smaller than the popover: its top left corner stays visible.
    EXPECT_EQ(MenuBarPopover::popoverFrame({10, 10, 1, 1}, size, QRect(0, 0, 300, 300), PopoverEdge::below).topLeft(),
              QPoint(0, 0));
}

TEST(ContentViewText, TimerCountAndCountdown)
{
    const std::pair<double, const char*> times[] = {
        {0, "00:00"}, {59.99, "00:59"}, {60, "01:00"}, {754.2, "12:34"}, {6000, "100:00"}, {-3, "00:00"}};
    for (const auto& [seconds, text] : times)
        EXPECT_EQ(ContentViewText::elapsedText(seconds), text) << seconds;

    const std::pair<QString, std::optional<QString>> counts[] = {
        {"", std::nullopt},
        {"  \n\t \n", std::nullopt},
        {"Hello", QString("5")},
        {" Hi \n", QString("5")}, // the count is of the transcript itself
        {"Café", QString("4")},
        {QString::fromUtf8("e\xcc\x81"), QString("1")},             // a combining accent belongs to its letter
        {QString::fromUtf8("\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd"), QString("1")}, // an emoji with its skin tone
    };
    for (const auto& [transcript, count] : counts)
        EXPECT_EQ(ContentViewText::characterCount(transcript), count) << transcript.toStdString();

    EXPECT_EQ(ContentViewText::autoClearText(0), std::nullopt);
    EXPECT_EQ(ContentViewText::autoClearText(12), QString("12s"));

    using S = ContentViewText::RecordButtonState;
    EXPECT_EQ(ContentViewText::recordButtonState(false, false), S::idle);
    EXPECT_EQ(ContentViewText::recordButtonState(true, false), S::recording);
    EXPECT_EQ(ContentViewText::recordButtonState(true, true), S::transcribing) << "transcribing wins";
    EXPECT_EQ(ContentViewText::recordButtonToolTip(S::transcribing), "Cancel transcription");
    EXPECT_EQ(ContentViewText::recordButtonToolTip(S::recording), "Toggle recording");
}

TEST(ModelDownloadPresentation, EachStateHasItsTitleDetailAndAction)
{
    const PinnedWhisperModel model = PinnedWhisperModel::largeV3TurboQ5();
    using P = ModelDownloadPresentation;
    struct Case {
        WhisperModelState state;
        QString title;
        QString detail;
        P::Action action;
        P::Progress progress;
    };
    const Case cases[] = {
        {WhisperModelState::checking(), "Checking speech model…", "large-v3-turbo-q5_0", P::Action::none, P::Progress::none},
        {WhisperModelState::verifying(), "Checking speech model…", "large-v3-turbo-q5_0", P::Action::none,
         P::Progress::indeterminate},
        {WhisperModelState::missing(), "Speech model needed",
         "large-v3-turbo-q5_0, " + P::fileSize(model.byteCount) + ", downloaded once from Hugging Face.",
         P::Action::download, P::Progress::none},
        {WhisperModelState::downloading(250'000'000, 500'000'000), "Downloading speech model…", "250.0 MB of 500.0 MB",
         P::Action::cancel, P::Progress::determinate},
        {WhisperModelState::downloading(1'000, 0), "Downloading speech model…", "1.0 kB of 0 bytes", P::Action::cancel,
         P::Progress::indeterminate},
        {WhisperModelState::failed("The disk is full."), "Speech model download failed", "The disk is full.",
         P::Action::retry, P::Progress::none},
        {WhisperModelState::ready(), "Speech model ready", "large-v3-turbo-q5_0", P::Action::none, P::Progress::none},
    };
    for (const auto& c : cases) {
        const auto p = P::of(c.state, model);
        EXPECT_EQ(p.title, c.title);
        EXPECT_EQ(p.detail, c.detail) << c.title.toStdString();
        EXPECT_EQ(p.action, c.action) << c.title.toStdString();
        EXPECT_EQ(p.progress, c.progress) << c.title.toStdString();
        EXPECT_EQ(p.isWarning, c.state.kind == WhisperModelState::Kind::failed);
    }
    EXPECT_DOUBLE_EQ(P::of(WhisperModelState::downloading(900, 600), model).fraction, 1.0) << "never beyond full";
    EXPECT_EQ(P::modelName(""), "Unknown");
    EXPECT_EQ(P::modelName("ggml-base.en.bin"), "base.en");
}

} // namespace
