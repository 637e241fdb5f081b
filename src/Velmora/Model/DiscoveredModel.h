#pragma once

#include <QList>
#include <QString>

namespace velmora {

// A model file offered in the settings' model picker.
struct DiscoveredModel {
    QString id;
    QString displayName;
    QString path;
    bool isDefault = false;

    bool operator==(const DiscoveredModel&) const = default;

    // The default model first, then every other *.bin file beside it, by name.
    static QList<DiscoveredModel> discover(const QString& defaultModelPath);
    // The file name without "ggml-" and ".bin"; "Unknown" when nothing is left.
    static QString displayNameOf(const QString& path);
    // `models` with a "custom-" entry for `chosenPath` added when none has that path.
    static QList<DiscoveredModel> includingChosen(QList<DiscoveredModel> models, const QString& chosenPath);
};

} // namespace velmora
