#include "app/Language.h"

#include <QCoreApplication>
#include <QTranslator>

// The translations live in a static library: register its resources before the first load.
static void registerTranslations()
{
    Q_INIT_RESOURCE(translations);
}

namespace hvk32 {

namespace {
const char* const kTranslationPath = ":/translations/hvk32_%1.qm";
}

QStringList availableLanguages()
{
    return {QStringLiteral("en")};
}

bool installLanguage(QCoreApplication& app, const QString& language, QString* error)
{
    if (language.isEmpty())
        return true;
    registerTranslations();
    auto* translator = new QTranslator(&app);
    if (!availableLanguages().contains(language) || !translator->load(QString::fromLatin1(kTranslationPath).arg(language))) {
        delete translator;
        if (error)
            *error = QStringLiteral("no translation for language '%1' (available: %2)")
                         .arg(language, availableLanguages().join(QStringLiteral(", ")));
        return false;
    }
    app.installTranslator(translator);
    return true;
}

} // namespace hvk32
