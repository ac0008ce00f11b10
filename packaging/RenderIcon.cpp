// Draws the scalable icon at the sizes the hicolor theme wants:
//   render-icon ICON.svg OUT_FOLDER SIZE...
// writes OUT_FOLDER/SIZExSIZE/apps/NAME.png for each size.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: render-icon ICON.svg OUT_FOLDER SIZE...\n", stderr);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "render-icon: %s is not an SVG image\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(QString::fromLocal8Bit(argv[1])).completeBaseName();
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        if (size <= 0 || !QDir().mkpath(folder) || !image.save(folder + "/" + name + ".png")) {
            std::fprintf(stderr, "render-icon: cannot write the %s icon in %s\n", argv[i],
                         qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
