// Another X client for the paste tests.
//   PasteTarget window <file>    a focused text field; its text goes to <file> on every change
//   PasteTarget own <file.png>   owns the clipboard with text, HTML and a PNG until killed
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 3)
        return 64;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (mode == QLatin1String("own")) {
        QFile png(path);
        if (!png.open(QIODevice::ReadOnly))
            return 66;
        auto* data = new QMimeData;
        data->setText(QStringLiteral("the user's text — ünïcode"));
        data->setHtml(QStringLiteral("<b>the user's</b> text"));
        data->setData(QStringLiteral("image/png"), png.readAll());
        QApplication::clipboard()->setMimeData(data);
        std::puts("owning");
        std::fflush(stdout);
        return QApplication::exec();
    }
    QLineEdit field;
    field.setWindowTitle(QStringLiteral("PasteTarget"));
    QObject::connect(&field, &QLineEdit::textChanged, [&path](const QString& text) {
        QFile out(path);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            out.write(text.toUtf8());
    });
    field.show();
    field.activateWindow();
    std::puts("shown");
    std::fflush(stdout);
    return QApplication::exec();
}
