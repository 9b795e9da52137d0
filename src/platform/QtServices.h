#pragma once
#include "platform/Platform.h"

namespace kr {

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
