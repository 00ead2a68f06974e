// Renders an SVG image as a square PNG of the given size, drawn at that size
// (not scaled from a bitmap). The build makes the application's icon sizes
// with it. Usage: render_icon IN.svg SIZE OUT.png
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <cstdio>

int main(int argc, char *argv[])
{
    // No display is needed: the image plugins work on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool ok = false;
    const int size = args.size() == 4 ? args.at(2).toInt(&ok) : 0;
    if (!ok || size <= 0) {
        std::fprintf(stderr, "usage: render_icon IN.svg SIZE OUT.png\n");
        return 2;
    }
    QImageReader reader(args.at(1));
    // The SVG reader draws at the asked size; the image keeps its proportions
    // and is centred on a transparent square.
    QSize drawn = reader.size();
    if (!drawn.isValid())
        drawn = QSize(size, size);
    drawn.scale(size, size, Qt::KeepAspectRatio);
    reader.setScaledSize(drawn);
    const QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "render_icon: %s: %s\n", qPrintable(args.at(1)), qPrintable(reader.errorString()));
        return 1;
    }
    QImage square(size, size, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    {
        QPainter p(&square);
        p.drawImage((size - image.width()) / 2, (size - image.height()) / 2, image);
    }
    const QString out = args.at(3);
    QDir().mkpath(QFileInfo(out).absolutePath());
    const QString part = out + QStringLiteral(".part");
    bool written = square.save(part, "PNG");
    if (written) {
        QFile::remove(out);
        written = QFile::rename(part, out);
    }
    if (!written) {
        std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
