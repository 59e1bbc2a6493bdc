#pragma once

#include <QString>

// The program's version information, as shown by the about box.
struct TVersionInfo {
  QString ProductName;
  QString FileDescription;
  QString FileVersion;
  QString LegalCopyright;
  QString Comments;
};

// Version information of the running program; FileVersion comes from the
// build (ORVALIS_VERSION).
TVersionInfo ExeVersionInfo();
