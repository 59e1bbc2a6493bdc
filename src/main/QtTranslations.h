#pragma once
// Qt's own texts in French: the file dialogs, the context menus of the
// fields, the standard buttons of message boxes. The user interface is French
// whatever the desktop's language, so the catalogue is French whatever the
// locale, not the one the desktop asks for.
//
// The catalogue is Qt's (Debian's qt6-translations-l10n), from Qt's
// translations folder. When it is missing, nothing is installed and nothing
// is said: Qt's English texts simply stay.

#include <QString>

class QCoreApplication;
class QTranslator;

// Qt's translations folder (QLibraryInfo::TranslationsPath).
QString QtTranslationsFolder();

// Loads "qtbase_fr" from `folder` into a translator owned by `app` and
// installs it; the translator, or nullptr when the catalogue cannot be read.
QTranslator* InstallQtFrenchTexts(QCoreApplication& app, const QString& folder = QtTranslationsFolder());
