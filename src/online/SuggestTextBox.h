#pragma once
#include <QPlainTextEdit>

namespace kr {

// The multi-line message box. Its text is handled with CRLF line breaks, and
// its length limit counts them as two characters, as the classic box does.
class SuggestTextBox final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit SuggestTextBox(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& crlfText);
    qsizetype length() const;
    // 0: no limit.
    void setMaxLength(qsizetype max) { m_maxLength = max; }
    qsizetype maxLength() const { return m_maxLength; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    qsizetype roomLeft() const;
    qsizetype m_maxLength = 0;
};

} // namespace kr
