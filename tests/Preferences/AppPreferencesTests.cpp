#include "Preferences/AppPreferences.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/MemoryPreferencesStore.h"

#include <QJsonValue>

#include <QJsonArray>

#include <gtest/gtest.h>

using velmora::AppPreferences;
using velmora::DictationMode;
using velmora::platform::MemoryPreferencesStore;
namespace Keys = velmora::PreferenceKeys;

namespace {

TEST(AppPreferences, AnEmptyStoreYieldsEveryDefault)
{
    MemoryPreferencesStore store;
    const AppPreferences prefs(store);
    EXPECT_EQ(prefs.dictationMode(), DictationMode::batch);
    EXPECT_TRUE(prefs.autoCopyToClipboard());
    EXPECT_FALSE(prefs.directInsert());
    EXPECT_TRUE(prefs.notifyOnTranscriptionComplete());
    EXPECT_TRUE(prefs.autoClearTranscript());
    EXPECT_EQ(prefs.autoClearDelay(), 10);
    EXPECT_TRUE(prefs.soundEffectsEnabled());
    EXPECT_EQ(prefs.soundEffectsVolume(), 0.5f);
    EXPECT_TRUE(prefs.durationWarningsEnabled());
    EXPECT_FALSE(prefs.selectedAudioDeviceUID());
    EXPECT_TRUE(prefs.browserIntegration());
    EXPECT_TRUE(prefs.launchAtLogin());
    EXPECT_FALSE(prefs.allowMultipleInstances());
}

struct StoredCase {
    const char* name;
    QLatin1String key;
    QJsonValue stored;
    std::function<bool(const AppPreferences&)> holds;
};

TEST(AppPreferences, StoredValuesAreNormalisedOnRead)
{
    const StoredCase cases[] = {
        {"delay 0 reads as 10", Keys::autoClearDelay, qint64(0), [](auto& p) { return p.autoClearDelay() == 10; }},
        {"delay -5 reads as 10", Keys::autoClearDelay, qint64(-5), [](auto& p) { return p.autoClearDelay() == 10; }},
        {"delay 2 stays 2", Keys::autoClearDelay, qint64(2), [](auto& p) { return p.autoClearDelay() == 2; }},
        {"delay as text is the default", Keys::autoClearDelay, QStringLiteral("30"),
         [](auto& p) { return p.autoClearDelay() == 10; }},
        {"mode Stream (wrong case) is batch", Keys::dictationMode, QStringLiteral("Stream"),
         [](auto& p) { return p.dictationMode() == DictationMode::batch; }},
        {"mode stream is live", Keys::dictationMode, QStringLiteral("stream"),
         [](auto& p) { return p.dictationMode() == DictationMode::stream; }},
        {"volume 0 stays silent", Keys::soundEffectsVolume, 0.0,
         [](auto& p) { return p.soundEffectsVolume() == 0.0f; }},
        {"volume above 1 is capped", Keys::soundEffectsVolume, 1.5,
         [](auto& p) { return p.soundEffectsVolume() == 1.0f; }},
        {"volume as a boolean is the default", Keys::soundEffectsVolume, true,
         [](auto& p) { return p.soundEffectsVolume() == 0.5f; }},
        {"browser integration as text reads as on", Keys::browserIntegration, QStringLiteral("no"),
         [](auto& p) { return p.browserIntegration(); }},
        {"launch at login as a number reads as on", Keys::launchAtLogin, qint64(0),
         [](auto& p) { return p.launchAtLogin(); }},
        {"allow multiple instances", Keys::allowMultipleInstances, true,
         [](auto& p) { return p.allowMultipleInstances(); }},
        {"allow multiple instances as text is off", Keys::allowMultipleInstances, QStringLiteral("true"),
         [](auto& p) { return !p.allowMultipleInstances(); }},
        {"direct insert as a number is off", Keys::directInsert, qint64(1), [](auto& p) { return !p.directInsert(); }},
        {"terminal classes keep the strings", Keys::terminalWindowClasses, QJsonArray{"MyTerm", 3, " ", " Ghostty "},
         [](auto& p) { return p.terminalWindowClasses() == QStringList{"MyTerm", "Ghostty"}; }},
        {"terminal classes as text are none", Keys::terminalWindowClasses, QStringLiteral("MyTerm"),
         [](auto& p) { return p.terminalWindowClasses().isEmpty(); }},
    };
    for (const auto& c : cases) {
        MemoryPreferencesStore store;
        store.setObject(c.key, c.stored);
        EXPECT_TRUE(c.holds(AppPreferences(store))) << c.name;
    }
}

TEST(AppPreferences, RemovingTheVolumeRestoresTheDefault)
{
    MemoryPreferencesStore store;
    store.setFloat(Keys::soundEffectsVolume, 0.0f);
    EXPECT_EQ(AppPreferences(store).soundEffectsVolume(), 0.0f);
    store.remove(Keys::soundEffectsVolume);
    EXPECT_EQ(AppPreferences(store).soundEffectsVolume(), 0.5f);
}

} // namespace
