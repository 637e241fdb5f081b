// The two sounds on the rig's sound server, seen through the server's own view of its streams.
#include "Audio/SoundEffectService.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/MemoryPreferencesStore.h"

#include "TestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pulse/volume.h>

using namespace velmora;
using test::waitUntil;

namespace {

QString soundsFolder()
{
    return test::bundleDir() + QStringLiteral("/Resources/sounds");
}

// The raw volumes of the playback streams named `name`.
QList<quint32> streamVolumes(const QString& name)
{
    const QString listing = QString::fromUtf8(test::runProcess("pactl", {"list", "sink-inputs"}).standardOutput);
    QList<quint32> volumes;
    for (const QString& block : listing.split(QStringLiteral("Sink Input #"), Qt::SkipEmptyParts)) {
        if (!block.contains(QStringLiteral("media.name = \"%1\"").arg(name)))
            continue;
        const auto match = QRegularExpression(QStringLiteral("Volume: mono: (\\d+)")).match(block);
        if (match.hasMatch())
            volumes << match.captured(1).toUInt();
    }
    return volumes;
}

// Sounds that last long enough to be seen playing on a busy machine (libsndfile reads them whatever the name says).
class LongSounds {
public:
    LongSounds()
    {
        for (const char* name : {"recording-start.oga", "recording-stop.oga"}) {
            const auto made = test::runProcess("sox", {"-n", "-r", "48000", "-c", "1", "-b", "16", "-t", "wav",
                                                       dir.path() + QLatin1Char('/') + QLatin1String(name), "synth", "20",
                                                       "sine", "440"});
            EXPECT_EQ(made.exitCode, 0) << made.standardError.toStdString();
        }
    }
    QString folder() const { return dir.path(); }

private:
    QTemporaryDir dir;
};

TEST(SoundEffects, APlayedSoundLeavesTheServerOnceItHasDrained)
{
    platform::MemoryPreferencesStore defaults;
    SoundEffectService service(soundsFolder(), defaults);
    for (int round = 0; round < 3; ++round) {
        service.playStartSound();
        service.playStopSound();
        service.waitForPlays();
        // A stream left connected keeps the device busy and lists Velmora as playing all day.
        EXPECT_TRUE(waitUntil([] { return streamVolumes("recording-start").isEmpty(); }, std::chrono::seconds(10)));
        EXPECT_TRUE(waitUntil([] { return streamVolumes("recording-stop").isEmpty(); }, std::chrono::seconds(10)));
    }
}

TEST(SoundEffects, PlayAtTheStoredVolumeAndRestartInsteadOfOverlapping)
{
    platform::MemoryPreferencesStore defaults;
    LongSounds sounds;
    SoundEffectService service(sounds.folder(), defaults);
    ASSERT_TRUE(service.hasStartSound() && service.hasStopSound());
    EXPECT_EQ(service.volume(), 0.5f);

    service.playStartSound();
    service.playStartSound();
    service.waitForPlays();
    ASSERT_TRUE(waitUntil([] { return !streamVolumes("recording-start").isEmpty(); }));
    EXPECT_EQ(streamVolumes("recording-start"), QList<quint32>{pa_sw_volume_from_linear(0.5)}) << "one stream: restarted";

    service.setVolume(0.0f);
    service.playStopSound();
    service.waitForPlays();
    ASSERT_TRUE(waitUntil([] { return !streamVolumes("recording-stop").isEmpty(); }));
    EXPECT_EQ(streamVolumes("recording-stop"), QList<quint32>{PA_VOLUME_MUTED});
}

// Whether a start sound handed over before this call reached the server: a stop sound played
// afterwards is waited for, so the listing is read after the start would have been there.
bool startSoundReachedTheServer(const QString& longSounds)
{
    platform::MemoryPreferencesStore defaults;
    SoundEffectService later(longSounds, defaults);
    later.playStopSound();
    later.waitForPlays();
    EXPECT_TRUE(waitUntil([] { return !streamVolumes("recording-stop").isEmpty(); }));
    return !streamVolumes("recording-start").isEmpty();
}

TEST(SoundEffects, VolumeZeroSurvivesARestartAndSwitchedOffPlaysNothing)
{
    platform::MemoryPreferencesStore defaults;
    LongSounds sounds;
    {
        SoundEffectService first(sounds.folder(), defaults);
        first.setVolume(0.0f);
    }
    SoundEffectService second(sounds.folder(), defaults);
    EXPECT_EQ(second.volume(), 0.0f) << "0 is a choice, not a missing value";

    ASSERT_TRUE(waitUntil([] { return streamVolumes("recording-start").isEmpty(); }, std::chrono::seconds(30)));
    defaults.setBool(PreferenceKeys::soundEffectsEnabled, false);
    second.playStartSound();
    second.waitForPlays();
    EXPECT_FALSE(startSoundReachedTheServer(sounds.folder())) << "switched off";
}

TEST(SoundEffects, MissingFilesMeanNoSoundNotAFailure)
{
    platform::MemoryPreferencesStore defaults;
    LongSounds sounds;
    SoundEffectService service(QStringLiteral("/nonexistent"), defaults);
    EXPECT_FALSE(service.hasStartSound());
    ASSERT_TRUE(waitUntil([] { return streamVolumes("recording-start").isEmpty(); }, std::chrono::seconds(30)));
    service.playStartSound();
    service.waitForPlays();
    EXPECT_FALSE(startSoundReachedTheServer(sounds.folder()));
}

} // namespace
