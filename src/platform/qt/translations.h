#pragma once
// Qt's own texts (the buttons of standard dialogs, the file and print dialogs) in Japanese, the
// language of the program, whatever the system's language.

class QCoreApplication;
class QTranslator;

namespace vtl::platform::qt {

// Installs Qt's Japanese translations from the system's Qt translation folder; the translator,
// owned by `application`, or nullptr when they are not installed (the standard dialogs then
// speak Qt's own English).
QTranslator* InstallJapaneseTranslations(QCoreApplication& application);

} // namespace vtl::platform::qt
