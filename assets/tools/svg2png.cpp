// Renders SVG files to PNG with Qt's own SVG renderer, so what we look at is what the
// application will draw. Usage: svg2png <size> <input.svg> <output.png> [<input> <output>...]
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    // Rendering needs no screen; without this the tool fails on a machine with no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4 || (argc - 2) % 2 != 0) {
        std::fprintf(stderr, "usage: svg2png <size> <in.svg> <out.png> [<in.svg> <out.png>...]\n");
        return 2;
    }
    const int size = QString::fromLocal8Bit(argv[1]).toInt();
    if (size <= 0) {
        std::fprintf(stderr, "svg2png: bad size '%s'\n", argv[1]);
        return 2;
    }
    int failures = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        QSvgRenderer renderer(QString::fromLocal8Bit(argv[i]));
        if (!renderer.isValid()) {
            std::fprintf(stderr, "svg2png: cannot parse %s\n", argv[i]);
            ++failures;
            continue;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        if (!image.save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
            std::fprintf(stderr, "svg2png: cannot write %s\n", argv[i + 1]);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
