#include "DiscoveredModel.h"

#include <QDir>

namespace velmora {

QString DiscoveredModel::displayNameOf(const QString& path)
{
    const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty())
        return QStringLiteral("Unknown");
    QString name = components.last();
    name.remove(QStringLiteral("ggml-"));
    name.remove(QStringLiteral(".bin"));
    // "ggml-.bin" would otherwise make a row without a name.
    return name.isEmpty() ? QStringLiteral("Unknown") : name;
}

QList<DiscoveredModel> DiscoveredModel::includingChosen(QList<DiscoveredModel> models, const QString& chosenPath)
{
    if (chosenPath.isEmpty())
        return models;
    for (const DiscoveredModel& model : models) {
        if (model.path == chosenPath)
            return models;
    }
    const QString name = displayNameOf(chosenPath);
    models.append({QStringLiteral("custom-") + name, name, chosenPath, false});
    return models;
}

QList<DiscoveredModel> DiscoveredModel::discover(const QString& defaultModelPath)
{
    const QString defaultName = displayNameOf(defaultModelPath);
    QList<DiscoveredModel> models{{QStringLiteral("default-") + defaultName, defaultName, defaultModelPath, true}};
    const qsizetype slash = defaultModelPath.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QStringLiteral(".") : defaultModelPath.left(slash);
    const QDir dir(folder.isEmpty() ? QStringLiteral("/") : folder);
    if (!dir.exists())
        return models;
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (!name.endsWith(QLatin1String(".bin")))
            continue;
        const QString path = folder + QLatin1Char('/') + name;
        if (path == defaultModelPath)
            continue;
        const QString shown = displayNameOf(path);
        models.append({QStringLiteral("user-") + shown, shown, path, false});
    }
    return models;
}

} // namespace velmora
