#include "SelectionSnapshot.h"

#include "TextDeliveryPool.h"

#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"

#include <QPointer>
#include <QThreadPool>

namespace velmora {

void readSelectionSnapshot(std::shared_ptr<platform::SelectionReader> reader, platform::Selection selection,
                           QObject* context, std::function<void(std::optional<PasteboardSnapshot>)> done)
{
    QPointer<QObject> receiver(context);
    textDeliveryPool().start([reader = std::move(reader), selection, receiver, done = std::move(done)] {
        auto result = reader->read(selection, {});
        platform::postToMainThread([receiver, done, result = std::move(result)] {
            if (!receiver)
                return;
            if (const auto* error = std::get_if<platform::SelectionReadError>(&result)) {
                qCWarning(logging::activation).noquote() << "clipboard not saved:" << platform::describe(*error);
                return done(std::nullopt);
            }
            QList<PasteboardEntry> item;
            for (const auto& format : std::get<std::vector<platform::SelectionFormat>>(result))
                item.push_back({format.name, format.data});
            PasteboardSnapshot snapshot;
            if (!item.isEmpty())
                snapshot.items.push_back(item);
            done(snapshot);
        });
    });
}

} // namespace velmora
