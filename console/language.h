#pragma once

#include <QString>
#include <optional>

namespace console
{

// The language of the window's captions, tool tips and accessible names. The window is
// designed in Traditional Chinese; English comes from the translation built into the program.
// The console programs take --lang as the window does and print English in both.
enum class Language { TraditionalChinese, English };

// What --lang takes, for messages and help.
inline constexpr char kLanguageChoices[] = "en, or zh_TW (also zh)";

// The language that the text of --lang names: "en", "zh_TW" or "zh". Nothing for any other
// text, a locale such as "en_US" included.
inline std::optional<Language> languageNamed(const QString &text)
{
    if (text == QLatin1String("en"))
        return Language::English;
    if (text == QLatin1String("zh_TW") || text == QLatin1String("zh"))
        return Language::TraditionalChinese;
    return std::nullopt;
}

} // namespace console
