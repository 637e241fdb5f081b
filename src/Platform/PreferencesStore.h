#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace velmora::platform {

// Why a preferences write did not reach the disk. The value still applies for
// the rest of the session; only persistence failed.
enum class PreferencesError {
    folderUnavailable,
    lockUnavailable,
    writeFailed,
};

QString describe(PreferencesError error);

// The per-user key-value store. Typed reads answer "absent" both for a missing
// key and for a value of another type, so each owner applies its own default.
class PreferencesStore {
public:
    virtual ~PreferencesStore() = default;

    virtual std::optional<QJsonValue> object(const QString& key) const = 0;
    virtual std::optional<PreferencesError> setObject(const QString& key, const QJsonValue& value) = 0;
    virtual std::optional<PreferencesError> remove(const QString& key) = 0;
    // The file the values live in, for the settings to name; empty where there is none.
    virtual QString filePath() const { return {}; }

    bool hasObject(const QString& key) const { return object(key).has_value(); }
    std::optional<bool> boolValue(const QString& key) const;
    // A real number is truncated; a boolean is never a number.
    std::optional<qint64> integerValue(const QString& key) const;
    std::optional<float> floatValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;

    std::optional<PreferencesError> setBool(const QString& key, bool value);
    std::optional<PreferencesError> setInteger(const QString& key, qint64 value);
    std::optional<PreferencesError> setFloat(const QString& key, float value);
    std::optional<PreferencesError> setDouble(const QString& key, double value);
    std::optional<PreferencesError> setString(const QString& key, const QString& value);
    std::optional<PreferencesError> setData(const QString& key, const QByteArray& value);

    // Binary data is kept as {"$data": "<base64>"} so the file stays plain JSON.
    static QJsonValue encodeData(const QByteArray& data);
    static std::optional<QByteArray> decodeData(const QJsonValue& value);
};

} // namespace velmora::platform
