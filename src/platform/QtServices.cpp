#include "platform/QtServices.h"

#include "common/Strings.h"
#include "common/Version.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QGridLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <cstdio>
#include <unistd.h>

namespace kr {

int titleBarWidth(const QString& title)
{
    // Window managers draw titles in a bold face of about the desktop's size,
    // beside the window's icon and two or three buttons.
    QFont bold = QApplication::font();
    bold.setBold(true);
    constexpr int kIconAndButtons = 128;
    return QFontMetrics(bold).horizontalAdvance(title) + kIconAndButtons;
}

std::unique_ptr<QMessageBox> makeMessageBox(int style, const QString& text, const QString& title)
{
    auto box = std::make_unique<QMessageBox>();
    const QString shownTitle = title.isEmpty() ? appTitle() : title;
    box->setWindowTitle(shownTitle);
    box->setText(toDisplayLineBreaks(text));
    box->setTextFormat(Qt::PlainText);
    // The gate and the main window may be topmost: the question must not hide behind them.
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    switch (style & 0xF0) {
    case 16:
        box->setIcon(QMessageBox::Critical);
        break;
    case 32:
        box->setIcon(QMessageBox::Question);
        break;
    case 48:
        box->setIcon(QMessageBox::Warning);
        break;
    case 64:
        box->setIcon(QMessageBox::Information);
        break;
    default:
        box->setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((style & 0x0F) == 4) {
        QPushButton* yes = box->addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
        QPushButton* no = box->addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
        box->setDefaultButton(yes);
        box->setEscapeButton(no);
    } else {
        QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
    }
    // The box sizes itself from its layout when shown: a row of the title's
    // width keeps it from being narrower than its title bar needs. The icon
    // and the buttons rebuild the layout, so this comes last.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(titleBarWidth(shownTitle), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

MsgAnswer QtMessageBox::show(int style, const QString& text, const QString& title)
{
    const std::unique_ptr<QMessageBox> box = makeMessageBox(style, text, title);
    box->exec();
    if ((style & 0x0F) != 4)
        return MsgAnswer::Ok;
    return box->buttonRole(box->clickedButton()) == QMessageBox::YesRole ? MsgAnswer::Yes : MsgAnswer::No;
}

void ImmediateExit::endNow()
{
    std::fflush(nullptr);
    ::_exit(0);
}

void QtClipboard::clear()
{
    QGuiApplication::clipboard()->clear();
}

void QtClipboard::setText(const QString& text, bool secret)
{
    auto mime = std::make_unique<QMimeData>();
    mime->setText(text);
    if (secret) {
        // Clipboard managers (Klipper and friends) leave such entries out of their history.
        mime->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    }
    QGuiApplication::clipboard()->setMimeData(mime.release());
}

std::optional<QString> QtClipboard::text()
{
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime || !mime->hasText())
        return std::nullopt;
    return mime->text();
}

void DesktopShell::open(const QString& address)
{
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

} // namespace kr
