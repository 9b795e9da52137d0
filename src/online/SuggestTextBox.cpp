#include "online/SuggestTextBox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

namespace kr {

SuggestTextBox::SuggestTextBox(QWidget* parent) : QPlainTextEdit(parent) {}

QString SuggestTextBox::text() const
{
    QString t = toPlainText();
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return t;
}

void SuggestTextBox::setText(const QString& crlfText)
{
    QString t = crlfText;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(t);
    moveCursor(QTextCursor::End);
}

qsizetype SuggestTextBox::length() const
{
    const QString t = toPlainText();
    return t.size() + t.count(QLatin1Char('\n'));
}

qsizetype SuggestTextBox::roomLeft() const
{
    if (m_maxLength <= 0)
        return std::numeric_limits<qsizetype>::max();
    QString selected = textCursor().selectedText();
    // Paragraph breaks of a selection come back as U+2029.
    const qsizetype selectedLength = selected.size() + selected.count(QChar(0x2029));
    return qMax<qsizetype>(0, m_maxLength - length() + selectedLength);
}

void SuggestTextBox::keyPressEvent(QKeyEvent* event)
{
    const bool newLine = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString typed = event->text();
    const bool addsText = newLine || (!typed.isEmpty() && typed.at(0).isPrint());
    if (addsText && m_maxLength > 0 && roomLeft() < (newLine ? 2 : typed.size()))
        return;
    QPlainTextEdit::keyPressEvent(event);
}

void SuggestTextBox::inputMethodEvent(QInputMethodEvent* event)
{
    // Committed text counts against the limit like typed keys.
    if (m_maxLength > 0 && !event->commitString().isEmpty()) {
        const qsizetype room = roomLeft();
        if (event->commitString().size() > room)
            event->setCommitString(event->commitString().left(room), event->replacementStart(),
                                   event->replacementLength());
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void SuggestTextBox::insertFromMimeData(const QMimeData* source)
{
    if (m_maxLength <= 0 || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString t = source->text();
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    qsizetype room = roomLeft();
    qsizetype keep = 0;
    for (; keep < t.size(); ++keep) {
        const qsizetype cost = t.at(keep) == QLatin1Char('\n') ? 2 : 1;
        if (cost > room)
            break;
        room -= cost;
    }
    insertPlainText(t.left(keep));
}

} // namespace kr
