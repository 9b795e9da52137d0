// keyrovia-makeicon <out.ico>: draws the program's icon in every size it is
// delivered in and writes it as an ICO file (see about/IcoFile.h for the layout).
// keyrovia-makeicon --hicolor <in.ico> <dir>: the desktop's icons, made from
// that ICO file: <dir>/<size>x<size>/apps/keyrovia.png for the usual theme sizes.
#include "about/IcoFile.h"
#include "about/ProgramIcon.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <cstdio>

namespace {

int fail(const QString& path, const QString& error)
{
    std::fprintf(stderr, "keyrovia-makeicon: %s: %s\n", qPrintable(path), qPrintable(error));
    return 1;
}

int writeIco(const QString& path)
{
    QList<QImage> images;
    for (int size : kr::programIconSizes())
        images.append(kr::programIconImage(size));
    QString error;
    return kr::writeIcoFile(path, images, &error) ? 0 : fail(path, error);
}

// Each size from the ICO's image of that size, or scaled down from the
// smallest larger one (the largest when none is larger).
int writeThemeIcons(const QString& icoPath, const QString& dir)
{
    QImageReader reader(icoPath, "ico");
    QList<QImage> images;
    for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) {
        const QImage image = reader.read();
        if (!image.isNull() && image.width() == image.height())
            images.append(image.convertToFormat(QImage::Format_ARGB32));
    }
    if (images.isEmpty())
        return fail(icoPath, QStringLiteral("no square image in the icon file"));
    std::sort(images.begin(), images.end(),
              [](const QImage& a, const QImage& b) { return a.width() < b.width(); });

    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const auto larger = std::find_if(images.cbegin(), images.cend(),
                                         [size](const QImage& i) { return i.width() >= size; });
        const QImage& source = larger != images.cend() ? *larger : images.constLast();
        const QImage image = source.width() == size
                                 ? source
                                 : source.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        QSaveFile file(folder + QStringLiteral("/keyrovia.png"));
        if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") ||
            !file.commit())
            return fail(file.fileName(), file.errorString());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Drawing into images needs no display: a core application is enough.
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 2)
        return writeIco(args.at(1));
    if (args.size() == 4 && args.at(1) == QLatin1String("--hicolor"))
        return writeThemeIcons(args.at(2), args.at(3));
    std::fprintf(stderr, "usage: keyrovia-makeicon <out.ico>\n"
                         "       keyrovia-makeicon --hicolor <in.ico> <dir>\n");
    return 2;
}
