#include "VersionInfo.h"

TVersionInfo ExeVersionInfo() {
  return {
      .ProductName = QStringLiteral("Orvalis"),
      .FileDescription = QStringLiteral("Orvalis"),
      .FileVersion = QStringLiteral(ORVALIS_VERSION),
      .LegalCopyright = QString::fromUtf8("\u00A9 Les auteurs d'Orvalis"),
      .Comments = QString::fromUtf8("Test des liaisons MIDI"),
  };
}
