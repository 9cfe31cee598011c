// Draws an SVG image into square PNG files for the desktop's icon theme:
//   pelorin-iconrender IN.svg OUT_DIR NAME SIZE...
// writes OUT_DIR/SIZExSIZE/apps/NAME.png for every SIZE.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: %s IN.svg OUT_DIR NAME SIZE...\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    for (int i = 4; i < args.size(); ++i) {
        const int size = args.at(i).toInt();
        if (size <= 0)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        const QString file = dir + QLatin1Char('/') + args.at(3) + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
