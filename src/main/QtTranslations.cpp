#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

QString QtTranslationsFolder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

QTranslator* InstallQtFrenchTexts(QCoreApplication& app, const QString& folder) {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"),
                        folder)) {
    return nullptr;
  }
  translator->setParent(&app);
  QCoreApplication::installTranslator(translator.get());
  return translator.release();
}
