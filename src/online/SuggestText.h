#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kr {

// The characters each box of the suggestion window lets through.
QString nameKeyChars();
QString emailKeyChars();
QString infoKeyChars();
// What remains of the message at send time (no comma).
QString sendChars();

// The placeholder of the message box.
QString suggestPlaceholder();

// Whether a typed key (its character code) gets into a box with that set:
// Ctrl+C, Backspace, Ctrl+V, Ctrl+X and Ctrl+Z always do.
bool keyPasses(int keyAscii, const QString& allowed);

// The longest text the send-time filter and the encoding work on.
constexpr qsizetype kMaxSuggestionChars = 32767;

// Removes from str every character that is not in the send-time set, leaves
// the result in str and returns it.
QString StrForceChange(QString& str);

// sTarget with every occurrence of sSearch replaced by sNew, searching again
// from the start after each replacement.
QString ReplaceString(QString sTarget, const QString& sSearch, const QString& sNew);

// "Nom : <name>    Email : <email>" CRLF CRLF <message>.
QString withHeaderLine(const QString& name, const QString& email, const QString& message);

// "Le d mmmm yyyy  a  H M" CRLF CRLF <text>, month in the locale's language.
QString datedMessage(const QDateTime& when, const QLocale& locale, const QString& text);

// CRLF as %0D%0A, then blanks as %20; nothing else.
QString encodeMessage(const QString& message);

// The request of the suggestion service: POST with the message in the query.
QByteArray suggestionRequest(const QString& urlHost, const QString& encodedMessage);

enum class SuggestOutcome { Empty, Sent, Refused, Other };
SuggestOutcome suggestOutcome(const QString& reply);

} // namespace kr
