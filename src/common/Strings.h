#pragma once
#include <QString>
#include <optional>

namespace kr {

// The text between the first start marker and the first end marker after it.
// std::nullopt ("no value") when the start marker is absent or no end marker
// follows it; an empty text when the two markers stand next to each other.
std::optional<QString> StrBetween(const QString& source, const QString& startMarker,
                                  const QString& endMarker);

// Replaces CRLF by LF, for display in platform widgets.
QString toDisplayLineBreaks(const QString& text);

// Overwrites a secret's characters where they lie, for every copy that shares
// them (a box's text, ProgramPassword), then empties the text.
void WipeText(QString& text);

} // namespace kr
