#include "platform/QtServices.h"

#include "common/Strings.h"
#include "common/Version.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <cstdio>
#include <unistd.h>

namespace kr {

MsgAnswer QtMessageBox::show(int style, const QString& text, const QString& title)
{
    QMessageBox box;
    box.setWindowTitle(title.isEmpty() ? appTitle() : title);
    box.setText(toDisplayLineBreaks(text));
    box.setTextFormat(Qt::PlainText);
    // The gate and the main window may be topmost: the question must not hide behind them.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const int icon = style & 0xF0;
    switch (icon) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case 48:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((style & 0x0F) == 4) {
        QPushButton* yes = box.addButton(QStringLiteral("&Oui"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&Non"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return MsgAnswer::Ok;
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
