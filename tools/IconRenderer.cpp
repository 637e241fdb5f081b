// Renders the application icon into the hicolor sizes desktops look up:
//   IconRenderer <icon.svg> <hicolor folder>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: IconRenderer <icon.svg> <hicolor folder>\n", stderr);
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString hicolor = QString::fromLocal8Bit(argv[2]);
    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "IconRenderer: %s is not a drawable SVG\n", argv[1]);
        return 1;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(hicolor).arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/velmora.png"))) {
            std::fprintf(stderr, "IconRenderer: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    const QString scalable = hicolor + QStringLiteral("/scalable/apps");
    QFile::remove(scalable + QStringLiteral("/velmora.svg"));
    if (!QDir().mkpath(scalable) || !QFile::copy(source, scalable + QStringLiteral("/velmora.svg"))) {
        std::fputs("IconRenderer: cannot copy the scalable icon\n", stderr);
        return 1;
    }
    return 0;
}
