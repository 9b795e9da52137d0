// Helper of make-shots.sh, which remakes the toolbar tutorial's two pictures:
//   keyrovia-tutorialshots grab OUT.png
//       the whole X screen (run it with QT_QPA_PLATFORM=xcb);
//   keyrovia-tutorialshots icon ICON.ico OUT.png SIZE
//       the program's icon as a PNG for the browser extension;
//   keyrovia-tutorialshots compose OUT.png WIDTH HEIGHT OP...
//       a picture on a white ground, made of these operations in order:
//       image=FILE:SX,SY,SW,SH:DX,DY      a piece of a screenshot, with a thin frame
//       circle=X,Y,W,H                    a red ellipse around a control
//       arrow=X1,Y1,X2,Y2                 a red arrow pointing at X2,Y2
//       note=X,Y,W,H:TEXT                 red text, word-wrapped in that box
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QTextStream>
#include <QtMath>
#include <cstdio>

namespace {

const QColor kRed(220, 0, 0);

bool numbers(const QString& text, int count, QList<int>& out)
{
    out.clear();
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        out << p.trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    return true;
}

int fail(const QString& message)
{
    QTextStream(stderr) << "keyrovia-tutorialshots: " << message << Qt::endl;
    return 1;
}

void drawArrow(QPainter& p, QPointF from, QPointF to)
{
    p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const qreal angle = qAtan2(to.y() - from.y(), to.x() - from.x());
    QPainterPath head;
    head.moveTo(to);
    head.lineTo(to - QPointF(qCos(angle - 0.45) * 14, qSin(angle - 0.45) * 14));
    head.lineTo(to - QPointF(qCos(angle + 0.45) * 14, qSin(angle + 0.45) * 14));
    head.closeSubpath();
    p.fillPath(head, kRed);
}

int compose(const QStringList& args)
{
    if (args.size() < 3)
        return fail(QStringLiteral("compose OUT.png WIDTH HEIGHT OP..."));
    QImage out(args[1].toInt(), args[2].toInt(), QImage::Format_RGB32);
    if (out.isNull())
        return fail(QStringLiteral("bad size"));
    out.fill(Qt::white);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (const QString& op : args.mid(3)) {
        const qsizetype eq = op.indexOf(QLatin1Char('='));
        const QString kind = op.left(eq);
        const QString value = op.mid(eq + 1);
        QList<int> n;
        if (kind == QLatin1String("image")) {
            const QStringList parts = value.split(QLatin1Char(':'));
            QList<int> dest;
            if (parts.size() != 3 || !numbers(parts[1], 4, n) || !numbers(parts[2], 2, dest))
                return fail(QStringLiteral("bad image: ") + value);
            const QImage shot(parts[0]);
            if (shot.isNull())
                return fail(QStringLiteral("cannot read ") + parts[0]);
            const QRect piece(n[0], n[1], n[2], n[3]);
            p.drawImage(QPoint(dest[0], dest[1]), shot, piece);
            p.setPen(QPen(QColor(120, 120, 120), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(dest[0], dest[1], n[2], n[3]).adjusted(0, 0, -1, -1));
        } else if (kind == QLatin1String("circle")) {
            if (!numbers(value, 4, n))
                return fail(QStringLiteral("bad circle: ") + value);
            p.setPen(QPen(kRed, 3));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRect(n[0], n[1], n[2], n[3]));
        } else if (kind == QLatin1String("arrow")) {
            if (!numbers(value, 4, n))
                return fail(QStringLiteral("bad arrow: ") + value);
            drawArrow(p, QPointF(n[0], n[1]), QPointF(n[2], n[3]));
        } else if (kind == QLatin1String("note")) {
            const qsizetype colon = value.indexOf(QLatin1Char(':'));
            if (colon < 0 || !numbers(value.left(colon), 4, n))
                return fail(QStringLiteral("bad note: ") + value);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(15);
            font.setBold(true);
            p.setFont(font);
            p.setPen(kRed);
            p.drawText(QRect(n[0], n[1], n[2], n[3]), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignVCenter,
                       value.mid(colon + 1));
        } else {
            return fail(QStringLiteral("unknown operation: ") + op);
        }
    }
    p.end();
    return out.save(args[0]) ? 0 : fail(QStringLiteral("cannot write ") + args[0]);
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("grab") && args.size() == 2) {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return fail(QStringLiteral("no screen"));
        return screen->grabWindow(0).save(args[1]) ? 0 : fail(QStringLiteral("cannot write ") + args[1]);
    }
    if (mode == QLatin1String("icon") && args.size() == 4) {
        const int size = args[3].toInt();
        const QPixmap icon = QIcon(args[1]).pixmap(size, size);
        if (icon.isNull())
            return fail(QStringLiteral("cannot read ") + args[1]);
        return icon.save(args[2]) ? 0 : fail(QStringLiteral("cannot write ") + args[2]);
    }
    if (mode == QLatin1String("compose"))
        return compose(args.mid(1));
    return fail(
        QStringLiteral("usage: grab OUT.png | icon ICON.ico OUT.png SIZE | compose OUT.png W H OP..."));
}
