#pragma once
#include <QString>
#include <optional>

namespace kr {

// The three on/off settings of PARAM.ini. A value is a check-box state:
// 0 not ticked, 1 ticked, 2 greyed.
enum class SettingKey { AfficherIE, TjsVisible, RecupAuto };

QString settingKeyName(SettingKey key); // "AFFICHERIE", "TJSVISIBLE", "RECUPAUTO"

struct ProgramSettings {
    int afficherIE = 1;
    int tjsVisible = 1;
    int recupAuto = 1;
};

// Reads one value from the whole text of PARAM.ini: the text between
// "%%KEY%%=" and "=%%ENDKEY%%", found anywhere. Absent markers give 0; a text
// that is not a number fails (std::nullopt); fractions round half to even;
// anything but 0, 1 or 2 fails.
std::optional<int> ReadSettingValue(const QString& text, SettingKey key);

// The file's text as it is written: three lines (WriteTextFile adds the last CRLF).
QString SettingsFileText(const ProgramSettings& settings);

QString paramIniPath();

} // namespace kr
