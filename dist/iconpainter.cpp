// Draws the program's icon as PNG files of the given sizes: the symbol of
// resources/images/symbol_lumbrix.png (a blue disc with a white "L" on a 32 x 32 grid),
// painted at each size rather than scaled up from the small bitmap. The scalable icon
// example.lumbrix.Kavro.svg holds the same shapes.
//
// Usage: kavro_iconpainter <output folder> <size>...   writes <folder>/<size>.png

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

QImage paintIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x14, 0x5a, 0xaa));
    painter.drawEllipse(QPointF(16, 16), 14, 14);
    QPainterPath letter;
    letter.moveTo(9, 7);
    letter.lineTo(13, 7);
    letter.lineTo(13, 22);
    letter.lineTo(23, 22);
    letter.lineTo(23, 26);
    letter.lineTo(9, 26);
    letter.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(letter);
    return image;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output folder> <size>...\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024)
            return 2;
        const QString path = folder.filePath(QStringLiteral("%1.png").arg(size));
        if (!paintIcon(size).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
