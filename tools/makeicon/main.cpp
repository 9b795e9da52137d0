// keyrovia-makeicon <out.ico>: draws the program's icon in every size it is
// delivered in and writes it as an ICO file (see about/IcoFile.h for the layout).
#include "about/IcoFile.h"
#include "about/ProgramIcon.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv)
{
    // Drawing into images needs no display: a core application is enough.
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: keyrovia-makeicon <out.ico>\n");
        return 2;
    }

    QList<QImage> images;
    for (int size : kr::programIconSizes())
        images.append(kr::programIconImage(size));

    QString error;
    if (!kr::writeIcoFile(args.at(1), images, &error)) {
        std::fprintf(stderr, "keyrovia-makeicon: %s: %s\n", qPrintable(args.at(1)), qPrintable(error));
        return 1;
    }
    return 0;
}
