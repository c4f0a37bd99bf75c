#include "console/language.h"

namespace console
{

QString languageChoices()
{
    return QStringLiteral("en, or zh_TW (also zh)");
}

std::optional<Language> languageNamed(const QString &text)
{
    if (text == QLatin1String("en"))
        return Language::English;
    if (text == QLatin1String("zh_TW") || text == QLatin1String("zh"))
        return Language::TraditionalChinese;
    return std::nullopt;
}

} // namespace console
