#include "ModelDownloadPresentation.h"

#include <QLocale>

#include <algorithm>

namespace velmora {

QString ModelDownloadPresentation::modelName(const QString& fileName)
{
    QString name = fileName;
    if (name.startsWith(QLatin1String("ggml-")))
        name.remove(0, 5);
    if (name.endsWith(QLatin1String(".bin")))
        name.chop(4);
    return name.isEmpty() ? QStringLiteral("Unknown") : name;
}

QString ModelDownloadPresentation::fileSize(qint64 bytes)
{
    // Decimal units, as file managers show download sizes.
    return QLocale(QLocale::English).formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString ModelDownloadPresentation::actionTitle(Action action)
{
    switch (action) {
    case Action::cancel:
        return QStringLiteral("Cancel");
    case Action::retry:
        return QStringLiteral("Retry");
    case Action::download:
        return QStringLiteral("Download");
    case Action::none:
        break;
    }
    return {};
}

ModelDownloadPresentation ModelDownloadPresentation::of(const WhisperModelState& state, const PinnedWhisperModel& model)
{
    using Kind = WhisperModelState::Kind;
    const QString name = modelName(model.fileName);
    ModelDownloadPresentation p;
    p.detail = name;
    switch (state.kind) {
    case Kind::checking:
        p.title = QStringLiteral("Checking speech model…");
        break;
    case Kind::verifying:
        p.title = QStringLiteral("Checking speech model…");
        p.progress = Progress::indeterminate;
        break;
    case Kind::missing:
        p.title = QStringLiteral("Speech model needed");
        p.detail = QStringLiteral("%1, %2, downloaded once from Hugging Face.").arg(name, fileSize(model.byteCount));
        p.action = Action::download;
        break;
    case Kind::downloading:
        p.title = QStringLiteral("Downloading speech model…");
        if (state.totalBytes > 0) {
            p.progress = Progress::determinate;
            p.fraction = std::min(double(state.receivedBytes) / double(state.totalBytes), 1.0);
        } else {
            p.progress = Progress::indeterminate;
        }
        p.detail = QStringLiteral("%1 of %2").arg(fileSize(state.receivedBytes), fileSize(state.totalBytes));
        p.action = Action::cancel;
        break;
    case Kind::failed:
        p.isWarning = true;
        p.title = QStringLiteral("Speech model download failed");
        p.detail = state.message;
        p.action = Action::retry;
        break;
    case Kind::ready:
        p.title = QStringLiteral("Speech model ready");
        break;
    }
    return p;
}

} // namespace velmora
