#pragma once
// Recording doubles of the message boxes, the process end, the clipboard and the clock.
#include "platform/Platform.h"

#include <QDateTime>
#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace kr::test {

struct ShownMessage {
    int style;
    QString text;
    QString title;
};

// Records every message box and answers questions from a script (Yes when the
// script is empty). onShow runs while the "box" is open, like a modal loop would.
class RecordingMessageBox final : public IMessageBox {
public:
    MsgAnswer show(int style, const QString& text, const QString& title) override
    {
        shown.push_back({style, text, title});
        if (onShow)
            onShow(shown.back());
        if ((style & 0x0F) != 4)
            return MsgAnswer::Ok;
        if (answers.empty())
            return MsgAnswer::Yes;
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<ShownMessage> shown;
    std::deque<MsgAnswer> answers;
    std::function<void(const ShownMessage&)> onShow;
};

class RecordingProcess final : public IProcess {
public:
    void endNow() override { ++ended; }
    int ended = 0;
};

class MemoryClipboard final : public IClipboard {
public:
    void clear() override
    {
        content.reset();
        secret = false;
        ++clears;
    }
    void setText(const QString& text, bool isSecret) override
    {
        content = text;
        secret = isSecret;
    }
    std::optional<QString> text() override { return content; }
    std::optional<QString> content;
    bool secret = false;
    int clears = 0;
};

class FixedClock final : public IClock {
public:
    explicit FixedClock(QDateTime t) : time(std::move(t)) {}
    QDateTime now() override { return time; }
    QDateTime time;
};

} // namespace kr::test
