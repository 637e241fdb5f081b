#include "Dictation/DictationActivationEventLogger.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

const QDateTime fixedTime = QDateTime(QDate(2026, 1, 31), QTime(9, 15, 2, 640), Qt::UTC);

DictationActivationEventLogger logger(const QString& path, qint64 maximum = 1'000'000,
                                      std::optional<platform::FrontmostApplication> frontmost = std::nullopt)
{
    return {path, maximum, [frontmost] { return frontmost; }, [] { return fixedTime; }};
}

QList<QByteArray> lines(const QString& path)
{
    QList<QByteArray> result = test::readFile(path).split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

// Messages on Velmora.Activation while it lives.
struct LogCapture {
    static inline QStringList messages;
    QtMessageHandler previous;
    LogCapture()
    {
        messages.clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (QLatin1String(context.category) == QLatin1String("Velmora.Activation"))
                messages << QStringLiteral("%1 %2").arg(type == QtCriticalMsg ? "error" : "info", text);
        });
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
};

} // namespace

TEST(ActivationLog, TheFirstEventMakesTheFolderAndAPrivateFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/state/Velmora/activation.log");
    LogCapture capture;
    logger(path).record(QStringLiteral("startRequested"), DictationActivationSource::globalHotKey(),
                        DictationMode::batch, false, false, 0);
    ASSERT_TRUE(QFileInfo::exists(path));
    const auto permissions = QFileInfo(path).permissions();
    EXPECT_TRUE(permissions.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                                | QFileDevice::WriteOther | QFileDevice::ExeOwner))
        << "owner read and write only";
    const auto written = lines(path);
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(written[0],
              QByteArray("{\"eventLogVersion\":3,\"timestamp\":\"2026-01-31T09:15:02Z\",\"action\":\"startRequested\","
                         "\"source\":\"globalHotKey\",\"sourceDetails\":{},\"mode\":\"batch\",\"isRecording\":false,"
                         "\"isTranscribing\":false,\"elapsedSeconds\":0,\"processIdentifier\":")
                  + QByteArray::number(QCoreApplication::applicationPid()) + '}');
    EXPECT_EQ(capture.messages,
              QStringList{"info action=startRequested source=globalHotKey mode=batch recording=false "
                          "transcribing=false elapsed=0s"});
}

TEST(ActivationLog, RecordsSourcesDetailsFrontmostAndMessages)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/activation.log");
    platform::FrontmostApplication editor;
    editor.window = 7;
    editor.name = QStringLiteral("notes \"draft\" — Editor");
    editor.identifier = QStringLiteral("Gedit");
    const auto log = logger(path, 1'000'000, editor);
    log.record(QStringLiteral("startRequested"),
               DictationActivationSource::menuBarLeftClick(1, DictationActivationSource::modifierDescription(0x120000)),
               DictationMode::stream, false, false, 0);
    log.record(QStringLiteral("startFailed"), DictationActivationSource::unknown(QStringLiteral("browser")),
               DictationMode::batch, false, false, 0, QStringLiteral("Model is downloading"));
    log.record(QStringLiteral("stopped"), std::nullopt, DictationMode::batch, true, false, 12.75);

    const auto written = lines(path);
    ASSERT_EQ(written.size(), 3);
    const auto first = QJsonDocument::fromJson(written[0]).object();
    EXPECT_EQ(first.value("sourceDetails").toObject(), (QJsonObject{{"clickCount", "1"}, {"modifiers", "command+shift"}}));
    EXPECT_EQ(first.value("frontmostApplicationName"), editor.name.value());
    EXPECT_EQ(first.value("frontmostBundleIdentifier"), "Gedit");
    EXPECT_EQ(first.value("mode"), "stream");
    const auto second = QJsonDocument::fromJson(written[1]).object();
    EXPECT_EQ(second.value("source"), "unknown");
    EXPECT_EQ(second.value("sourceDetails").toObject(), (QJsonObject{{"description", "browser"}}));
    EXPECT_EQ(second.value("message"), "Model is downloading");
    const auto third = QJsonDocument::fromJson(written[2]).object();
    EXPECT_FALSE(third.contains("source"));
    EXPECT_EQ(third.value("sourceDetails").toObject(), QJsonObject{});
    EXPECT_EQ(third.value("elapsedSeconds"), 12.75);
    EXPECT_TRUE(written[2].endsWith("\"frontmostBundleIdentifier\":\"Gedit\"}")) << "keys in field order";
    EXPECT_EQ(DictationActivationSource::modifierDescription(0), "none");
    EXPECT_EQ(DictationActivationSource::modifierDescription(0x1F0000), "command+option+control+shift+capsLock");
}

TEST(ActivationLog, RotatesPastTheLimitKeepingOneOlderFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/activation.log");
    const auto log = logger(path, 1000);
    const auto recordOne = [&] {
        log.record(QStringLiteral("stopRequested"), DictationActivationSource::popoverRecordButton(),
                   DictationMode::batch, true, false, 3);
    };
    recordOne();
    const qint64 lineSize = QFileInfo(path).size();
    const int perFile = static_cast<int>(1000 / lineSize);
    for (int i = 1; i < perFile; ++i)
        recordOne();
    EXPECT_FALSE(QFileInfo::exists(path + ".1"));
    recordOne(); // would pass the limit
    EXPECT_EQ(lines(path + ".1").size(), perFile);
    EXPECT_EQ(lines(path).size(), 1) << "a new file starts with that record";
    for (int i = 0; i < perFile; ++i)
        recordOne();
    EXPECT_EQ(lines(path + ".1").size(), perFile) << "the older file is replaced";
    EXPECT_LE(QFileInfo(path).size(), 1000);
    EXPECT_FALSE(QFileInfo::exists(path + ".1.1"));
}

TEST(ActivationLog, AnUnwritableFolderLosesEventsWithOneErrorEach)
{
    QTemporaryDir dir;
    // A file where the folder should be fails for everyone; a read-only folder
    // fails for everyone but root.
    test::writeFile(dir.path() + "/file", "not a folder");
    QDir().mkpath(dir.path() + "/ro");
    QFile::setPermissions(dir.path() + "/ro", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QStringList folders{dir.path() + "/file/Velmora"};
    if (!QFileInfo(dir.path() + "/ro").isWritable())
        folders << dir.path() + "/ro";
    for (const QString& folder : folders) {
        LogCapture capture;
        const auto log = logger(folder + QStringLiteral("/activation.log"));
        for (int i = 0; i < 2; ++i)
            log.record(QStringLiteral("startRequested"), std::nullopt, DictationMode::batch, false, false, 0);
        EXPECT_EQ(capture.messages.filter(QStringLiteral("error Failed to append activation event:")).size(), 2)
            << folder.toStdString();
        EXPECT_EQ(capture.messages.filter(QStringLiteral("info action=startRequested")).size(), 2)
            << "the summary still goes to the system log";
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/activation.log")));
    }
}

TEST(ActivationLog, LegacyLogRemoval)
{
    QTemporaryDir dir;
    test::writeFile(dir.path() + QStringLiteral("/activation-events.log"), "old");
    test::writeFile(dir.path() + QStringLiteral("/activation.log"), "kept\n");
    LogCapture capture;
    DictationActivationEventLogger::removeLegacyLog(dir.path());
    DictationActivationEventLogger::removeLegacyLog(dir.path()); // nothing left: not an error
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/activation-events.log")));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + QStringLiteral("/activation.log")));
    EXPECT_TRUE(capture.messages.isEmpty());
    EXPECT_EQ(DictationActivationEventLogger::logDirectory(),
              QString::fromLocal8Bit(qgetenv("XDG_STATE_HOME")) + QStringLiteral("/Velmora"));
}
