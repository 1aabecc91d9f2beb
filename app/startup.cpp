#include "startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace KavroStartup {

int installTranslations(const QLocale& locale, QObject* owner)
{
    int installed = 0;
    const auto install = [&](const QString& name, const QString& folder) {
        auto* translator = new QTranslator(owner);
        if (translator->load(locale, name, QStringLiteral("_"), folder)
            && QCoreApplication::installTranslator(translator)) {
            ++installed;
        } else {
            delete translator;
        }
    };
    install(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    // Compiled in from translations/ (see app/CMakeLists.txt).
    install(QStringLiteral("kavro"), QStringLiteral(":/i18n"));
    return installed;
}

}  // namespace KavroStartup
