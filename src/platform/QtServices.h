#pragma once
#include "platform/Platform.h"

#include <memory>

class QMessageBox;

namespace kr {

// The box that QtMessageBox shows for a style, before it runs. It is at least
// as wide as the window manager's title bar needs for the whole title.
std::unique_ptr<QMessageBox> makeMessageBox(int style, const QString& text, const QString& title);
// The width a title bar needs for that title, its icon and its buttons.
int titleBarWidth(const QString& title);

class QtMessageBox final : public IMessageBox {
public:
    MsgAnswer show(int style, const QString& text, const QString& title) override;
};

class ImmediateExit final : public IProcess {
public:
    void endNow() override;
};

class QtClipboard final : public IClipboard {
public:
    void clear() override;
    void setText(const QString& text, bool secret) override;
    std::optional<QString> text() override;
};

class DesktopShell final : public IShell {
public:
    void open(const QString& address) override;
};

class SystemClock final : public IClock {
public:
    QDateTime now() override { return QDateTime::currentDateTime(); }
};

} // namespace kr
