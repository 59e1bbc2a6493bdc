#include "AppIcon.h"

#include <QString>

// Q_INIT_RESOURCE must be used outside any namespace.
void Widgets_InitResources() { Q_INIT_RESOURCE(widgets); }

QIcon Orvalis_AppIcon() {
  Widgets_InitResources();
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) icon.addFile(QString(":/icons/orvalis-%1.png").arg(size), QSize(size, size));
  return icon;
}
