#include "AppPreferences.h"

#include "PreferenceKeys.h"

#include "Platform/PreferencesStore.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

namespace Keys = PreferenceKeys;

DictationMode AppPreferences::dictationMode() const
{
    return dictationModeFromRawValue(m_store.stringValue(Keys::dictationMode).value_or(QString()));
}

bool AppPreferences::autoCopyToClipboard() const
{
    return m_store.boolValue(Keys::autoCopyToClipboard).value_or(true);
}

bool AppPreferences::spaceBetweenDictations() const
{
    return m_store.boolValue(Keys::spaceBetweenDictations).value_or(true);
}

bool AppPreferences::directInsert() const
{
    return m_store.boolValue(Keys::directInsert).value_or(false);
}

QStringList AppPreferences::terminalWindowClasses() const
{
    QStringList classes;
    const auto stored = m_store.object(Keys::terminalWindowClasses);
    if (!stored || !stored->isArray())
        return classes;
    for (const QJsonValue& value : stored->toArray()) {
        if (value.isString() && !value.toString().trimmed().isEmpty())
            classes << value.toString().trimmed();
    }
    return classes;
}

bool AppPreferences::notifyOnTranscriptionComplete() const
{
    return m_store.boolValue(Keys::notifyOnTranscriptionComplete).value_or(true);
}

bool AppPreferences::autoClearTranscript() const
{
    return m_store.boolValue(Keys::autoClearTranscript).value_or(true);
}

qint64 AppPreferences::normalizedAutoClearDelay(qint64 stored)
{
    return stored < 1 ? 10 : stored;
}

qint64 AppPreferences::autoClearDelay() const
{
    return normalizedAutoClearDelay(m_store.integerValue(Keys::autoClearDelay).value_or(10));
}

bool AppPreferences::soundEffectsEnabled() const
{
    return m_store.boolValue(Keys::soundEffectsEnabled).value_or(true);
}

float AppPreferences::soundEffectsVolume() const
{
    const auto stored = m_store.floatValue(Keys::soundEffectsVolume);
    if (!stored || std::isnan(*stored))
        return 0.5f;
    return std::clamp(*stored, 0.0f, 1.0f);
}

bool AppPreferences::durationWarningsEnabled() const
{
    return m_store.boolValue(Keys::durationWarningsEnabled).value_or(true);
}

std::optional<QString> AppPreferences::selectedAudioDeviceUID() const
{
    return m_store.stringValue(Keys::selectedAudioDeviceUID);
}

bool AppPreferences::browserIntegration() const
{
    return m_store.boolValue(Keys::browserIntegration).value_or(true);
}

bool AppPreferences::launchAtLogin() const
{
    return m_store.boolValue(Keys::launchAtLogin).value_or(true);
}

bool AppPreferences::allowMultipleInstances() const
{
    return m_store.boolValue(Keys::allowMultipleInstances).value_or(false);
}

} // namespace velmora
