#include "Engine/ConfigurationStore.h"
#include "Engine/WhisperConfiguration.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/MemoryPreferencesStore.h"

#include <QHash>
#include <QSet>

#include <gtest/gtest.h>

using velmora::WhisperConfiguration;
using velmora::platform::FileProbe;
using velmora::platform::MainBundle;
using velmora::platform::MemoryPreferencesStore;
namespace Keys = velmora::PreferenceKeys;

namespace {

const QString bundledCli = QStringLiteral("/opt/Velmora/Resources/WhisperRuntime/bin/whisper-cli");
const QString managed = QStringLiteral("/home/u/.local/share/Velmora/models/ggml-large-v3-turbo-q5_0.bin");

// A file system of named executables and files, and an environment, without touching the disk.
struct World {
    QSet<QString> executables;
    QSet<QString> files;
    QHash<QString, QString> environment;

    FileProbe probe() const
    {
        return {
            [this](const QString& p) { return executables.contains(p); },
            [this](const QString& p) { return files.contains(p) || executables.contains(p); },
            [this](const char* name) -> std::optional<QString> {
                const auto it = environment.constFind(QString::fromLatin1(name));
                if (it == environment.constEnd())
                    return std::nullopt;
                return *it;
            },
        };
    }
};

const MainBundle bundle{QStringLiteral("/opt/Velmora"), QStringLiteral("/opt/Velmora/Resources"),
                        QStringLiteral("/opt/Velmora/bin/velmora"), QStringLiteral("/opt/Velmora/bin/velmora")};

struct ExecutableCase {
    const char* name;
    World world;
    std::optional<QString> stored;
    QString expected;
};

TEST(WhisperConfiguration, ExecutableFollowsTheShippedRuntimeThenTheStoredPathThenTheFallbacks)
{
    const QString mine = QStringLiteral("/home/u/bin/whisper-cli");
    const QString fromEnv = QStringLiteral("/srv/whisper-cli");
    const ExecutableCase cases[] = {
        {"shipped runtime wins over a valid stored path", {{bundledCli, mine}, {}, {}}, mine, bundledCli},
        {"stored executable path", {{mine}, {}, {}}, mine, mine},
        {"stored path not executable falls to VELMORA_CLI_PATH",
         {{fromEnv}, {mine}, {{"VELMORA_CLI_PATH", fromEnv}}}, mine, fromEnv},
        {"empty VELMORA_CLI_PATH falls to /usr/local/bin",
         {{QStringLiteral("/usr/local/bin/whisper-cli")}, {}, {{"VELMORA_CLI_PATH", ""}}}, std::nullopt,
         QStringLiteral("/usr/local/bin/whisper-cli")},
        {"then /usr/bin", {{QStringLiteral("/usr/bin/whisper-cli")}, {}, {}}, std::nullopt,
         QStringLiteral("/usr/bin/whisper-cli")},
        {"nothing executable gives the literal fallback", {{}, {}, {{"VELMORA_CLI_PATH", fromEnv}}}, mine,
         QStringLiteral("/usr/local/bin/whisper-cli")},
    };
    for (const auto& c : cases) {
        MemoryPreferencesStore store;
        if (c.stored)
            store.setString(Keys::executablePath, *c.stored);
        const auto probe = c.world.probe();
        EXPECT_EQ(WhisperConfiguration::defaultConfiguration(store, managed, bundle, probe).executablePath, c.expected)
            << c.name;
    }
}

struct ModelCase {
    const char* name;
    World world;
    std::optional<QJsonValue> stored;
    QString expected;
};

TEST(WhisperConfiguration, ModelPathPrefersTheEnvironmentThenAnExistingStoredFile)
{
    const QString stored = QStringLiteral("/data/my-model.bin");
    const ModelCase cases[] = {
        {"VELMORA_MODEL_PATH is used without an existence check",
         {{}, {stored}, {{"VELMORA_MODEL_PATH", "/nowhere/model.bin"}}}, QJsonValue(stored),
         QStringLiteral("/nowhere/model.bin")},
        {"an empty VELMORA_MODEL_PATH is ignored", {{}, {stored}, {{"VELMORA_MODEL_PATH", ""}}}, QJsonValue(stored),
         stored},
        {"a stored path to a missing file gives the managed model", {}, QJsonValue(stored), managed},
        {"an empty stored path gives the managed model", {{}, {QString()}, {}}, QJsonValue(QString()), managed},
        {"a stored number is no path", {}, QJsonValue(5), managed},
        {"nothing stored", {}, std::nullopt, managed},
    };
    for (const auto& c : cases) {
        MemoryPreferencesStore store;
        if (c.stored)
            store.setObject(Keys::modelPath, *c.stored);
        const auto probe = c.world.probe();
        EXPECT_EQ(WhisperConfiguration::defaultConfiguration(store, managed, bundle, probe).modelPath, c.expected)
            << c.name;
    }
}

TEST(WhisperConfiguration, LanguageIsAutoWhenAbsentAndKeptAsStored)
{
    const World world;
    const auto probe = world.probe();
    const std::pair<std::optional<QJsonValue>, QString> cases[] = {
        {std::nullopt, QStringLiteral("auto")},
        {QJsonValue(QStringLiteral("de")), QStringLiteral("de")},
        {QJsonValue(QString()), QString()},
        {QJsonValue(true), QStringLiteral("auto")},
    };
    for (const auto& [stored, expected] : cases) {
        MemoryPreferencesStore store;
        if (stored)
            store.setObject(Keys::language, *stored);
        EXPECT_EQ(WhisperConfiguration::defaultConfiguration(store, managed, bundle, probe).language, expected);
    }
}

TEST(WhisperConfiguration, ResolveTakesTheFirstExecutableInListOrder)
{
    const World world{{QStringLiteral("/b"), QStringLiteral("/c")}, {QStringLiteral("/a")}, {}};
    const auto probe = world.probe();
    EXPECT_EQ(WhisperConfiguration::resolveExecutablePath({"/a", "/b", "/c"}, probe), QStringLiteral("/b"));
    EXPECT_FALSE(WhisperConfiguration::resolveExecutablePath({"/a", "/d"}, probe));
    EXPECT_FALSE(WhisperConfiguration::resolveExecutablePath({}, probe));
}

TEST(ConfigurationStore, SaveWritesAllThreeAsPlainStrings)
{
    MemoryPreferencesStore store;
    store.setInteger(Keys::language, 3);
    velmora::ConfigurationStore::save({QStringLiteral("/x/whisper-cli"), QStringLiteral("/m.bin"), QString()}, store);
    EXPECT_EQ(store.stringValue(Keys::executablePath), QStringLiteral("/x/whisper-cli"));
    EXPECT_EQ(store.stringValue(Keys::modelPath), QStringLiteral("/m.bin"));
    EXPECT_EQ(store.stringValue(Keys::language), QString());
}

} // namespace
