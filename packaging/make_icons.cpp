// Build tool: makes the program's icons for the desktop's hicolor theme from its own picture.
//
//     make_icons PICTURE[:X,Y,W,H] FOLDER SIZE...
//
// writes FOLDER/<SIZE>x<SIZE>/apps/sitedex.png for each size: the picture (or the part of it at X,Y
// of W by H pixels) scaled smoothly to fit the square, its proportions kept, centred on a
// transparent ground. Reads any picture Qt reads
// (the program's is a GIF); writes PNG, the format every desktop reads. Exit code 1 on any failure.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QRect>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fputs("usage: make_icons PICTURE[:X,Y,W,H] FOLDER SIZE...\n", stderr);
        return 1;
    }
    QString name = QString::fromLocal8Bit(argv[1]);
    QRect part;
    if (int colon = name.lastIndexOf(':'); colon > 0) {
        QStringList n = name.mid(colon + 1).split(',');
        if (n.size() == 4)
            part = QRect(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt());
        name.truncate(colon);
    }
    QImage picture(name);
    if (picture.isNull()) {
        std::fprintf(stderr, "make_icons: cannot read %s\n", qPrintable(name));
        return 1;
    }
    if (!part.isNull()) {
        if (!picture.rect().contains(part)) {
            std::fprintf(stderr, "make_icons: the part %s is outside the picture\n", argv[1]);
            return 1;
        }
        picture = picture.copy(part);
    }
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int i = 3; i < argc; ++i) {
        int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "make_icons: %s is not a size\n", argv[i]);
            return 1;
        }
        QImage scaled = picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        // The part of the square outside the picture is filled with 0: transparent.
        QImage icon = scaled.copy(-(size - scaled.width()) / 2, -(size - scaled.height()) / 2, size, size);
        QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        QString file = folder + QStringLiteral("/sitedex.png");
        if (!QDir().mkpath(folder) || !icon.save(file, "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
