#include "PreferencesStore.h"

#include <QJsonObject>
#include <QVariant>

#include <charconv>
#include <cmath>
#include <limits>

namespace velmora::platform {

QString describe(PreferencesError error)
{
    switch (error) {
    case PreferencesError::folderUnavailable:
        return QStringLiteral("The preferences folder cannot be created.");
    case PreferencesError::lockUnavailable:
        return QStringLiteral("The preferences file cannot be locked.");
    case PreferencesError::writeFailed:
        return QStringLiteral("The preferences file cannot be written.");
    }
    return {};
}

std::optional<bool> PreferencesStore::boolValue(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->isBool())
        return std::nullopt;
    return value->toBool();
}

std::optional<qint64> PreferencesStore::integerValue(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->isDouble())
        return std::nullopt;
    const QVariant number = value->toVariant();
    if (number.typeId() == QMetaType::LongLong)
        return number.toLongLong();
    const double real = std::trunc(number.toDouble());
    // 2^63 is exact as a double; anything at or past it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(real) || real >= limit || real < -limit)
        return std::nullopt;
    return static_cast<qint64>(real);
}

std::optional<float> PreferencesStore::floatValue(const QString& key) const
{
    const auto value = doubleValue(key);
    if (!value)
        return std::nullopt;
    return static_cast<float>(*value);
}

std::optional<double> PreferencesStore::doubleValue(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->isDouble())
        return std::nullopt;
    return value->toDouble();
}

std::optional<QString> PreferencesStore::stringValue(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->isString())
        return std::nullopt;
    return value->toString();
}

std::optional<QByteArray> PreferencesStore::dataValue(const QString& key) const
{
    const auto value = object(key);
    if (!value)
        return std::nullopt;
    return decodeData(*value);
}

std::optional<PreferencesError> PreferencesStore::setBool(const QString& key, bool value)
{
    return setObject(key, QJsonValue(value));
}

std::optional<PreferencesError> PreferencesStore::setInteger(const QString& key, qint64 value)
{
    return setObject(key, QJsonValue(value));
}

std::optional<PreferencesError> PreferencesStore::setFloat(const QString& key, float value)
{
    // Store the shortest decimal that reads back as the same float, so 0.1f is
    // written as 0.1 and not as 0.10000000149011612.
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double widened = 0;
    std::from_chars(text, end, widened);
    return setObject(key, QJsonValue(widened));
}

std::optional<PreferencesError> PreferencesStore::setDouble(const QString& key, double value)
{
    return setObject(key, QJsonValue(value));
}

std::optional<PreferencesError> PreferencesStore::setString(const QString& key, const QString& value)
{
    return setObject(key, QJsonValue(value));
}

std::optional<PreferencesError> PreferencesStore::setData(const QString& key, const QByteArray& value)
{
    return setObject(key, encodeData(value));
}

QJsonValue PreferencesStore::encodeData(const QByteArray& data)
{
    return QJsonObject{{QStringLiteral("$data"), QString::fromLatin1(data.toBase64())}};
}

std::optional<QByteArray> PreferencesStore::decodeData(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue encoded = object.value(QStringLiteral("$data"));
    if (object.size() != 1 || !encoded.isString())
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(encoded.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

} // namespace velmora::platform
