#include "Platform/MemoryPreferencesStore.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>

using velmora::platform::MemoryPreferencesStore;
using velmora::platform::PreferencesStore;

namespace {

struct TypedReadCase {
    const char* name;
    QJsonValue stored;
    std::optional<bool> asBool;
    std::optional<qint64> asInteger;
    std::optional<double> asDouble;
    std::optional<QString> asString;
};

// A value of another type reads as absent, so each owner falls back to its default.
TEST(PreferencesStore, TypedReadsAnswerAbsentForOtherTypes)
{
    const TypedReadCase cases[] = {
        {"true", QJsonValue(true), true, std::nullopt, std::nullopt, std::nullopt},
        {"false", QJsonValue(false), false, std::nullopt, std::nullopt, std::nullopt},
        {"integer", QJsonValue(qint64(42)), std::nullopt, 42, 42.0, std::nullopt},
        {"real truncates", QJsonValue(2.9), std::nullopt, 2, 2.9, std::nullopt},
        {"negative real truncates", QJsonValue(-2.9), std::nullopt, -2, -2.9, std::nullopt},
        {"largest integer exact", QJsonValue(std::numeric_limits<qint64>::max()), std::nullopt,
         std::numeric_limits<qint64>::max(), double(std::numeric_limits<qint64>::max()), std::nullopt},
        {"real beyond 64 bits", QJsonValue(1e300), std::nullopt, std::nullopt, 1e300, std::nullopt},
        {"text", QJsonValue(QStringLiteral("42")), std::nullopt, std::nullopt, std::nullopt, QStringLiteral("42")},
        {"null", QJsonValue(QJsonValue::Null), std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"array", QJsonArray{1, 2}, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryPreferencesStore store;
        store.setObject(QStringLiteral("k"), c.stored);
        EXPECT_TRUE(store.hasObject(QStringLiteral("k")));
        EXPECT_EQ(store.boolValue(QStringLiteral("k")), c.asBool);
        EXPECT_EQ(store.integerValue(QStringLiteral("k")), c.asInteger);
        EXPECT_EQ(store.doubleValue(QStringLiteral("k")), c.asDouble);
        EXPECT_EQ(store.stringValue(QStringLiteral("k")), c.asString);
        EXPECT_FALSE(store.dataValue(QStringLiteral("k")).has_value());
    }
}

TEST(PreferencesStore, AbsentKeyReadsAbsentEverywhere)
{
    MemoryPreferencesStore store;
    EXPECT_FALSE(store.hasObject(QStringLiteral("missing")));
    EXPECT_FALSE(store.boolValue(QStringLiteral("missing")));
    EXPECT_FALSE(store.integerValue(QStringLiteral("missing")));
    EXPECT_FALSE(store.floatValue(QStringLiteral("missing")));
    EXPECT_FALSE(store.stringValue(QStringLiteral("missing")));
    EXPECT_FALSE(store.dataValue(QStringLiteral("missing")));
}

TEST(PreferencesStore, BinaryDataSurvivesAsTaggedBase64)
{
    MemoryPreferencesStore store;
    const QByteArray bytes("\x00\xff[{\"a\":1}]", 11);
    store.setData(QStringLiteral("blob"), bytes);
    EXPECT_EQ(store.dataValue(QStringLiteral("blob")), bytes);
    EXPECT_EQ(store.object(QStringLiteral("blob"))->toObject().value(QStringLiteral("$data")).toString(),
              QString::fromLatin1(bytes.toBase64()));
    EXPECT_FALSE(store.stringValue(QStringLiteral("blob")));

    const QJsonValue notData[] = {
        QJsonObject{{QStringLiteral("$data"), QStringLiteral("!!not base64!!")}},
        QJsonObject{{QStringLiteral("$data"), 5}},
        QJsonObject{{QStringLiteral("$data"), QStringLiteral("AAAA")}, {QStringLiteral("extra"), 1}},
        QJsonValue(QStringLiteral("AAAA")),
    };
    for (const auto& value : notData)
        EXPECT_FALSE(PreferencesStore::decodeData(value)) << value.toVariant().toString().toStdString();
}

TEST(PreferencesStore, FloatIsStoredAsItsShortestDecimal)
{
    MemoryPreferencesStore store;
    store.setFloat(QStringLiteral("volume"), 0.1f);
    EXPECT_EQ(store.object(QStringLiteral("volume"))->toDouble(), 0.1);
    EXPECT_EQ(store.floatValue(QStringLiteral("volume")), 0.1f);
}

TEST(PreferencesStore, RemoveMakesTheKeyAbsent)
{
    MemoryPreferencesStore store;
    store.setBool(QStringLiteral("flag"), false);
    EXPECT_EQ(store.boolValue(QStringLiteral("flag")), false);
    store.remove(QStringLiteral("flag"));
    EXPECT_FALSE(store.hasObject(QStringLiteral("flag")));
}

} // namespace
