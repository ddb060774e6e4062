#include "platform/qt/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace vtl::platform::qt {

QTranslator* InstallJapaneseTranslations(QCoreApplication& application)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    if (!QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    // The application keeps it for as long as it runs.
    translator->setParent(&application);
    return translator.release();
}

} // namespace vtl::platform::qt
