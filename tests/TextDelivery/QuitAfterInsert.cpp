// Velmora's inserter in a program that quits half a second after a paste: the
// user's clipboard must come back before it ends, and outlive it.
#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/SystemPasteboard.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    velmora::SystemPasteboard clipboard(velmora::platform::Selection::clipboard);
    velmora::SystemPasteboard primary(velmora::platform::Selection::primary);
    // The keys do not matter here; only what the clipboard holds does.
    velmora::DirectInserter inserter(clipboard, primary, [](velmora::platform::PasteChord, auto, auto done) { done(std::nullopt); });
    inserter.insert(QStringLiteral("transcript"), [](velmora::InsertResult result) {
        std::puts(result.outcome == velmora::InsertOutcome::inserted ? "inserted" : "failed");
        std::fflush(stdout);
        QTimer::singleShot(500, qApp, &QApplication::quit);
    });
    return QApplication::exec();
}
