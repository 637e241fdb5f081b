#include "ItemReader.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace AppUpdater::ItemReader {

std::optional<QList<FeedItem>> read(const QByteArray& feed)
{
    QXmlStreamReader xml(feed);
    // Prefixed names stay as written: the feed is matched on "sparkle:version", not on a namespace.
    xml.setNamespaceProcessing(false);
    QList<FeedItem> items;
    std::optional<FeedItem> current;
    QStringList path;
    QString text;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            text.clear();
            const QString name = xml.qualifiedName().toString();
            if (name == QLatin1String("item")) {
                current = FeedItem{};
            } else if (name == QLatin1String("enclosure") && !path.isEmpty() && path.last() == QLatin1String("item")
                       && current) {
                const auto attributes = xml.attributes();
                for (const QXmlStreamAttribute& attribute : attributes) {
                    const auto key = attribute.qualifiedName();
                    const QString value = attribute.value().toString();
                    if (key == QLatin1String("sparkle:version") && !current->version)
                        current->version = value;
                    else if (key == QLatin1String("sparkle:shortVersionString") && !current->displayVersion)
                        current->displayVersion = value;
                    else if (key == QLatin1String("url"))
                        current->enclosureURL = value;
                    else if (key == QLatin1String("sparkle:edSignature"))
                        current->edSignature = value;
                    else if (key == QLatin1String("length")) {
                        bool ok = false;
                        const qint64 length = value.toLongLong(&ok);
                        if (ok && length >= 0)
                            current->enclosureLength = length;
                    }
                }
            }
            path.append(name);
            break;
        }
        case QXmlStreamReader::Characters:
            text += xml.text();
            break;
        case QXmlStreamReader::EndElement: {
            const QString name = xml.qualifiedName().toString();
            if (!path.isEmpty())
                path.removeLast();
            const QString value = text.trimmed();
            if (current && !path.isEmpty() && path.last() == QLatin1String("item")) {
                if (name == QLatin1String("sparkle:version"))
                    current->version = value;
                else if (name == QLatin1String("sparkle:minimumSystemVersion"))
                    current->minimumSystemVersion = value;
                else if (name == QLatin1String("sparkle:channel"))
                    current->channel = value;
                else if (name == QLatin1String("sparkle:shortVersionString"))
                    current->displayVersion = value;
                else if (name == QLatin1String("title"))
                    current->title = value;
                else if (name == QLatin1String("description"))
                    current->releaseNotes = value;
            }
            if (name == QLatin1String("item") && current) {
                items.append(*current);
                current.reset();
            }
            break;
        }
        default:
            break;
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return items;
}

} // namespace AppUpdater::ItemReader
