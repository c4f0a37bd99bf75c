#include "app/language.h"

#include <QCoreApplication>
#include <QTranslator>

bool installTranslation(Language language)
{
    if (language == Language::TraditionalChinese)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/i18n/wirelark_en.qm")) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}
