// tonalda-render-icon SVG SIZE PNG: renders the program icon into a SIZE x SIZE PNG for the icon
// theme's fixed-size folders. A build tool; not installed.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: tonalda-render-icon SVG SIZE PNG\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    const int size = std::atoi(argv[2]);
    if (!renderer.isValid() || size <= 0) {
        std::cerr << "tonalda-render-icon: cannot render " << argv[1] << " at " << argv[2] << "\n";
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]))) {
        std::cerr << "tonalda-render-icon: cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}
