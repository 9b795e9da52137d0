#include "about/IcoFile.h"
#include "about/ProgramIcon.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace kr;

namespace {

struct IcoEntry {
    int width = 0;
    int height = 0;
    int planes = 0;
    int bitCount = 0;
    quint32 size = 0;
    quint32 offset = 0;
};

quint16 u16(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 u32(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint32>(data.constData() + at);
}

// Reads the directory of an ICO file; an empty list when it is malformed.
QList<IcoEntry> parseIco(const QByteArray& data) {
    if (data.size() < 6 || u16(data, 0) != 0 || u16(data, 2) != 1)
        return {};
    const int count = u16(data, 4);
    if (data.size() < 6 + 16 * count)
        return {};
    QList<IcoEntry> entries;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = 6 + 16 * i;
        IcoEntry e;
        const auto side = [](char byte) { return byte == 0 ? 256 : static_cast<quint8>(byte); };
        e.width = side(data.at(at));
        e.height = side(data.at(at + 1));
        e.planes = u16(data, at + 4);
        e.bitCount = u16(data, at + 6);
        e.size = u32(data, at + 8);
        e.offset = u32(data, at + 12);
        if (qsizetype(e.offset) + qsizetype(e.size) > data.size())
            return {};
        entries.append(e);
    }
    return entries;
}

QList<QImage> iconImages() {
    QList<QImage> images;
    for (int size : kr::programIconSizes())
        images.append(programIconImage(size));
    return images;
}

bool icoReaderAvailable() {
    return QImageReader::supportedImageFormats().contains("ico");
}

// Every image of an ICO file, as Qt's own reader sees it.
QList<QImage> readBack(QIODevice* device) {
    QImageReader reader(device, "ico");
    QList<QImage> images;
    const int count = reader.imageCount();
    for (int i = 0; i < count; ++i) {
        reader.jumpToImage(i);
        images.append(reader.read().convertToFormat(QImage::Format_ARGB32));
    }
    return images;
}

} // namespace

class TestAboutIcon : public QObject {
    Q_OBJECT

private slots:
    void artworkInEverySize_data() {
        QTest::addColumn<int>("size");
        for (int size : kr::programIconSizes())
            QTest::addRow("%d", size) << size;
    }

    void artworkInEverySize() {
        QFETCH(int, size);
        const QImage image = programIconImage(size);
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        // A padlock on a transparent ground: clear corners, solid middle.
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(size - 1, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(size / 2, size * 3 / 4).alpha(), 255);
        QVERIFY(programIcon().availableSizes().contains(QSize(size, size)));
    }

    void directoryDescribesEveryImage() {
        const auto data = encodeIco(iconImages());
        QVERIFY(data);
        const QList<IcoEntry> entries = parseIco(*data);
        QCOMPARE(entries.size(), 4);

        quint32 expectedOffset = 6 + 16 * 4;
        const QList<int> sizes = kr::programIconSizes();
        for (int i = 0; i < entries.size(); ++i) {
            const IcoEntry& e = entries.at(i);
            QCOMPARE(e.width, sizes.at(i));
            QCOMPARE(e.height, sizes.at(i));
            QCOMPARE(e.planes, 1);
            QCOMPARE(e.bitCount, 32);
            // Images follow the directory back to back.
            QCOMPARE(e.offset, expectedOffset);
            expectedOffset += e.size;

            const QByteArray blob = data->mid(e.offset, e.size);
            if (e.width == 256) {
                QVERIFY(blob.startsWith("\x89PNG\r\n\x1a\n"));
            } else {
                QCOMPARE(u32(blob, 0), 40u);                  // BITMAPINFOHEADER
                QCOMPARE(qint32(u32(blob, 8)), 2 * e.height); // colour + mask rows
                QCOMPARE(u16(blob, 14), quint16(32));
                const quint32 maskBytes = ((e.width + 31) / 32) * 4 * e.height;
                QCOMPARE(e.size, 40 + quint32(e.width * e.height * 4) + maskBytes);
            }
        }
        QCOMPARE(qsizetype(expectedOffset), data->size());
    }

    void dibPixelsAndMask() {
        // 5 x 3: the mask rows need padding; every corner has its own colour.
        QImage image(5, 3, QImage::Format_ARGB32);
        image.fill(QColor(10, 20, 30, 255));
        image.setPixelColor(0, 0, QColor(255, 0, 0, 255));
        image.setPixelColor(4, 0, QColor(0, 255, 0, 128));
        image.setPixelColor(0, 2, QColor(0, 0, 255, 255));
        image.setPixelColor(1, 0, QColor(0, 0, 0, 0));

        const auto data = encodeIco({image});
        QVERIFY(data);
        const QList<IcoEntry> entries = parseIco(*data);
        QCOMPARE(entries.size(), 1);
        const QByteArray dib = data->mid(entries.at(0).offset, entries.at(0).size);

        // Rows are stored bottom-up, pixels as B, G, R, A.
        const auto pixel = [&dib](int x, int y) {
            const qsizetype at = 40 + ((2 - y) * 5 + x) * 4;
            return QColor(quint8(dib.at(at + 2)), quint8(dib.at(at + 1)), quint8(dib.at(at)),
                          quint8(dib.at(at + 3)));
        };
        QCOMPARE(pixel(0, 0), QColor(255, 0, 0, 255));
        QCOMPARE(pixel(4, 0), QColor(0, 255, 0, 128));
        QCOMPARE(pixel(0, 2), QColor(0, 0, 255, 255));

        // The AND mask marks the transparent pixel only; 4 bytes per row.
        const QByteArray mask = dib.mid(40 + 5 * 3 * 4);
        QCOMPARE(mask.size(), 3 * 4);
        const QByteArray topRow = mask.mid(2 * 4, 4);
        QCOMPARE(topRow, QByteArray("\x40\0\0\0", 4));
        QCOMPARE(mask.left(8), QByteArray(8, '\0'));
    }

    void rejectsWhatIcoCannotHold_data() {
        QTest::addColumn<QList<QImage>>("images");
        QImage fine(16, 16, QImage::Format_ARGB32);
        fine.fill(Qt::red);
        QImage tooWide(257, 16, QImage::Format_ARGB32);
        tooWide.fill(Qt::red);
        QTest::newRow("no image") << QList<QImage>();
        QTest::newRow("null image") << QList<QImage>{fine, QImage()};
        QTest::newRow("wider than 256") << QList<QImage>{fine, tooWide};
    }

    void rejectsWhatIcoCannotHold() {
        QFETCH(QList<QImage>, images);
        QVERIFY(!encodeIco(images));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ICON.ico"));
        QString error;
        QVERIFY(!writeIcoFile(path, images, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    void qtReadsTheIconBack() {
        if (!icoReaderAvailable())
            QSKIP("Qt's ico image plugin is not installed");
        const QList<QImage> drawn = iconImages();
        auto data = encodeIco(drawn);
        QVERIFY(data);
        QBuffer buffer(&*data);
        buffer.open(QIODevice::ReadOnly);
        const QList<QImage> read = readBack(&buffer);
        QCOMPARE(read.size(), drawn.size());
        for (int i = 0; i < drawn.size(); ++i) {
            const QImage expected = drawn.at(i).convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(read.at(i).size(), expected.size());
            // Fully opaque pixels must come back exactly; the others may be
            // rounded by premultiplication on the way.
            for (int y = 0; y < expected.height(); ++y) {
                for (int x = 0; x < expected.width(); ++x) {
                    const QRgb want = expected.pixel(x, y);
                    const QRgb got = read.at(i).pixel(x, y);
                    QCOMPARE(qAlpha(got), qAlpha(want));
                    if (qAlpha(want) == 255)
                        QCOMPARE(got, want);
                }
            }
        }
    }

    void toolWritesTheIconFile_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("delivered with the program") << QStringLiteral(DELIVERED_ICON);
        QTest::newRow("written on request") << QString();
    }

    void toolWritesTheIconFile() {
        QFETCH(QString, file);
        QTemporaryDir dir;
        if (file.isEmpty()) {
            file = dir.filePath(QStringLiteral("ICON.ico"));
            QCOMPARE(QProcess::execute(QStringLiteral(MAKEICON_PATH), {file}), 0);
        }
        QFile ico(file);
        QVERIFY2(ico.open(QIODevice::ReadOnly), qPrintable(file));
        const QByteArray data = ico.readAll();
        QCOMPARE(data, *encodeIco(iconImages()));

        if (!icoReaderAvailable())
            return;
        ico.seek(0);
        QList<QSize> sizes;
        for (const QImage& image : readBack(&ico))
            sizes.append(image.size());
        QCOMPARE(sizes, (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {256, 256}}));
    }

    void toolNeedsItsArgument() {
        QProcess tool;
        tool.start(QStringLiteral(MAKEICON_PATH), {});
        QVERIFY(tool.waitForFinished());
        QCOMPARE(tool.exitCode(), 2);
        QVERIFY(tool.readAllStandardError().contains("usage"));
    }
};

QTEST_MAIN(TestAboutIcon)
#include "tst_about_icon.moc"
