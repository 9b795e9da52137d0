#include "settings/ParamIni.h"

#include "common/Strings.h"
#include "common/TextFiles.h"

#include <cmath>

namespace kr {

QString settingKeyName(SettingKey key)
{
    switch (key) {
    case SettingKey::AfficherIE:
        return QStringLiteral("AFFICHERIE");
    case SettingKey::TjsVisible:
        return QStringLiteral("TJSVISIBLE");
    case SettingKey::RecupAuto:
        return QStringLiteral("RECUPAUTO");
    }
    return {};
}

namespace {

// The classic runtime's text-to-number conversion, as far as a settings value
// needs it: blanks around, an optional sign, digits with an optional fraction
// and exponent. Anything else is not a number.
std::optional<double> toNumber(const QString& raw)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        if (!(c.isDigit() && c.unicode() < 128) && c != u'.' && c != u'+' && c != u'-' && c != u'e' &&
            c != u'E')
            return std::nullopt;
    }
    bool ok = false;
    const double value = text.toDouble(&ok); // C locale: '.' is the decimal point
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<int> ReadSettingValue(const QString& text, SettingKey key)
{
    const QString name = settingKeyName(key);
    const std::optional<QString> between =
        StrBetween(text, QStringLiteral("%%") + name + QStringLiteral("%%="),
                   QStringLiteral("=%%END") + name + QStringLiteral("%%"));
    if (!between)
        return 0;
    const std::optional<double> number = toNumber(*between);
    if (!number)
        return std::nullopt;
    // Halves go to the even neighbour (banker's rounding).
    const double rounded = std::nearbyint(*number);
    if (rounded != 0.0 && rounded != 1.0 && rounded != 2.0)
        return std::nullopt;
    return static_cast<int>(rounded);
}

QString SettingsFileText(const ProgramSettings& s)
{
    return QStringLiteral("%%AFFICHERIE%%=%1=%%ENDAFFICHERIE%%\r\n"
                          "%%TJSVISIBLE%%=%2=%%ENDTJSVISIBLE%%\r\n"
                          "%%RECUPAUTO%%=%3=%%ENDRECUPAUTO%%\r\n")
        .arg(s.afficherIE)
        .arg(s.tjsVisible)
        .arg(s.recupAuto);
}

QString paramIniPath()
{
    return AppDir() + QStringLiteral("PARAM.ini");
}

} // namespace kr
