// Draws the application icon's PNG sizes from its SVG at build time, so the installed icon theme
// and the program's own window and tray icons come from one drawing:
//   vesker_render_app_icon <drawing.svg> <out folder> <side>[:<drawn>]...
// writes <out folder>/<side>.png for every side; with <drawn>, the drawing is that size, centred
// (a drawing made for whole pixels at 22 serves 24 with a pixel's margin, as icon themes do).
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: vesker_render_app_icon drawing.svg out-folder side...\n", stderr);
        return 2;
    }
    QSvgRenderer drawing(args[1]);
    if (!drawing.isValid()) {
        std::fprintf(stderr, "vesker_render_app_icon: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QDir().mkpath(args[2]);
    for (const QString& arg : args.mid(3)) {
        bool ok = false, drawnOk = true;
        const int side = arg.section(u':', 0, 0).toInt(&ok);
        const int drawn = arg.contains(u':') ? arg.section(u':', 1).toInt(&drawnOk) : side;
        if (!ok || !drawnOk || side <= 0 || side > 1024 || drawn <= 0 || drawn > side) {
            std::fprintf(stderr, "vesker_render_app_icon: not a side: %s\n", qPrintable(arg));
            return 2;
        }
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const int margin = (side - drawn) / 2;
        drawing.render(&painter, QRectF(margin, margin, drawn, drawn));
        painter.end();
        const QString out = QStringLiteral("%1/%2.png").arg(args[2]).arg(side);
        if (!image.save(out)) {
            std::fprintf(stderr, "vesker_render_app_icon: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
