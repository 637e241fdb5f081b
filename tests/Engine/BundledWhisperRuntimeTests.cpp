#include "Engine/BundledWhisperRuntime.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/MemoryPreferencesStore.h"

#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using velmora::BundledWhisperRuntime;
using velmora::platform::MainBundle;
using velmora::platform::MemoryPreferencesStore;
using velmora::test::writeFile;

namespace {

// A bundle on disk: <root>/bin/velmora and the runtime's files as asked.
class BundleOnDisk {
public:
    explicit BundleOnDisk(bool cli = true, bool stream = true, bool vad = true)
    {
        QDir().mkpath(root() + QStringLiteral("/bin"));
        QDir().mkpath(runtime() + QStringLiteral("/bin"));
        QDir().mkpath(runtime() + QStringLiteral("/models"));
        writeFile(root() + QStringLiteral("/bin/velmora"), "#!/bin/sh\n", 0755);
        if (cli)
            writeFile(runtime() + QStringLiteral("/bin/whisper-cli"), "#!/bin/sh\n", 0755);
        if (stream)
            writeFile(runtime() + QStringLiteral("/bin/whisper-stream"), "#!/bin/sh\n", 0755);
        if (vad)
            writeFile(runtime() + QStringLiteral("/models/ggml-silero-v6.2.0.bin"), "vad", 0644);
    }
    QString root() const { return m_dir.path() + QStringLiteral("/Velmora"); }
    QString resources() const { return root() + QStringLiteral("/Resources"); }
    QString runtime() const { return resources() + QStringLiteral("/WhisperRuntime"); }
    MainBundle bundle(std::optional<QString> argv0 = std::nullopt) const
    {
        return MainBundle::forExecutable(root() + QStringLiteral("/bin/velmora"), std::move(argv0));
    }

private:
    QTemporaryDir m_dir;
};

TEST(BundledWhisperRuntime, ResourcesPathDropsTwoComponents)
{
    const std::pair<QString, QString> cases[] = {
        {"/opt/Velmora/bin/velmora", "/opt/Velmora/Resources"},
        {"/opt/Velmora/bin/../bin/velmora", "/opt/Velmora/Resources"},
        {"/opt//Velmora/./bin/velmora", "/opt/Velmora/Resources"},
        {"/velmora", "/Resources"},
    };
    for (const auto& [executable, expected] : cases)
        EXPECT_EQ(BundledWhisperRuntime::resourcesPath(executable), expected) << executable.toStdString();
    EXPECT_EQ(BundledWhisperRuntime::resourcesPath(QStringLiteral("~/Applications/Velmora/bin/velmora")),
              QDir::cleanPath(QString::fromLocal8Bit(qgetenv("HOME")) + QStringLiteral("/Applications/Velmora/Resources")));
}

TEST(BundledWhisperRuntime, ARuntimeNeedsOnlyAnExecutableCli)
{
    struct Case {
        bool cli, stream, vad;
        bool found;
    };
    const Case cases[] = {
        {true, true, true, true}, {true, false, true, true}, {true, true, false, true}, {false, true, true, false}};
    for (const auto& c : cases) {
        const BundleOnDisk disk(c.cli, c.stream, c.vad);
        const auto runtime = BundledWhisperRuntime::current(disk.resources());
        ASSERT_EQ(runtime.has_value(), c.found);
        if (!runtime)
            continue;
        EXPECT_EQ(runtime->executablePath, disk.runtime() + QStringLiteral("/bin/whisper-cli"));
        EXPECT_EQ(runtime->streamExecutablePath.has_value(), c.stream);
        EXPECT_EQ(runtime->vadModelPath.has_value(), c.vad);
    }
}

TEST(BundledWhisperRuntime, ACliWithoutExecutePermissionIsNoRuntime)
{
    const BundleOnDisk disk;
    ::chmod((disk.runtime() + QStringLiteral("/bin/whisper-cli")).toLocal8Bit().constData(), 0644);
    EXPECT_FALSE(BundledWhisperRuntime::current(disk.resources()));
}

TEST(BundledWhisperRuntime, CandidatesAreStandardizedAndListedOnce)
{
    const BundleOnDisk disk;
    const QString dotted = disk.root() + QStringLiteral("/bin/../bin/./velmora");
    const QStringList candidates = BundledWhisperRuntime::candidateResourcePaths(disk.bundle(dotted));
    EXPECT_EQ(candidates, (QStringList{disk.resources(), disk.root() + QStringLiteral("/Contents/Resources")}));
    const auto runtime = BundledWhisperRuntime::current(disk.bundle(dotted));
    ASSERT_TRUE(runtime);
    EXPECT_EQ(runtime->executablePath, disk.runtime() + QStringLiteral("/bin/whisper-cli"));
}

TEST(BundledWhisperRuntime, Argv0ElsewhereAddsItsOwnCandidate)
{
    const BundleOnDisk disk;
    const QStringList candidates =
        BundledWhisperRuntime::candidateResourcePaths(disk.bundle(QStringLiteral("/usr/local/bin/velmora")));
    EXPECT_EQ(candidates.last(), QStringLiteral("/usr/local/Resources"));
    EXPECT_EQ(candidates.size(), 3);
}

TEST(BundledWhisperRuntime, ReportListsHeadAndCandidatesExactly)
{
    const BundleOnDisk disk(true, true, false);
    MemoryPreferencesStore store;
    const QString managed = QStringLiteral("/m/ggml-large-v3-turbo-q5_0.bin");
    const QString argv0 = QStringLiteral("/usr/local/bin/velmora");
    const QString report = BundledWhisperRuntime::debugDescription(disk.bundle(argv0), store, managed);
    const QString expected = QStringLiteral("bundleURL=%1\n"
                                            "resourceURL=%1/Resources\n"
                                            "executableURL=%1/bin/velmora\n"
                                            "argv0=/usr/local/bin/velmora\n"
                                            "resolvedExecutable=%1/Resources/WhisperRuntime/bin/whisper-cli\n"
                                            "resolvedVADModel=nil\n"
                                            "model=/m/ggml-large-v3-turbo-q5_0.bin\n"
                                            "candidate=%1/Resources\n"
                                            "  executableExists=true\n"
                                            "candidate=%1/Contents/Resources\n"
                                            "  executableExists=false\n"
                                            "candidate=/usr/local/Resources\n"
                                            "  executableExists=false")
                                 .arg(disk.root());
    EXPECT_EQ(report, expected);
}

TEST(BundledWhisperRuntime, ReportWithoutARuntimeSaysNil)
{
    const BundleOnDisk disk(false, false, false);
    MemoryPreferencesStore store;
    const QString report = BundledWhisperRuntime::debugDescription(
        MainBundle{disk.root(), std::nullopt, std::nullopt, std::nullopt}, store, QStringLiteral("/m.bin"));
    EXPECT_EQ(report, QStringLiteral("bundleURL=%1\nresourceURL=nil\nexecutableURL=nil\nargv0=nil\n"
                                     "resolvedExecutable=nil\nresolvedVADModel=nil\nmodel=/m.bin\n"
                                     "candidate=%1/Contents/Resources\n  executableExists=false")
                          .arg(disk.root()));
}

} // namespace
