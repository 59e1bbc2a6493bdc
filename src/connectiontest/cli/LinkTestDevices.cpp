#include "LinkTestDevices.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>
#include <vector>

#include "MidiDevices.h"

namespace {

QString Indented(const QStringList& names) {
  QString text;
  for (const QString& name : names) text += QStringLiteral("  ") + name + QLatin1Char('\n');
  return text;
}

}  // namespace

QStringList LinkTestDeviceNames(LinkTestPort port) {
  const std::vector<std::string> names = port == LinkTestPort::Output ? MidiOutDeviceNames() : MidiInDeviceNames();
  QStringList list;
  for (const std::string& name : names) list << QString::fromStdString(name);
  return list;
}

QString LinkTestDeviceListText(const QStringList& outputs, const QStringList& inputs) {
  return QStringLiteral("Outputs:\n") + Indented(outputs) + QStringLiteral("Inputs:\n") + Indented(inputs);
}

QString LinkTestDeviceListJson(const QStringList& outputs, const QStringList& inputs) {
  const QJsonObject list{{QStringLiteral("outputs"), QJsonArray::fromStringList(outputs)},
                         {QStringLiteral("inputs"), QJsonArray::fromStringList(inputs)}};
  return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

QString UnknownDeviceText(LinkTestPort port, const QString& name, const QStringList& names) {
  const bool output = port == LinkTestPort::Output;
  const QString start = QStringLiteral("no %1 is named \"%2\"; ").arg(output ? QStringLiteral("output") : QStringLiteral("input"), name);
  if (names.isEmpty()) return start + (output ? QStringLiteral("there are no outputs\n") : QStringLiteral("there are no inputs\n"));
  return start + (output ? QStringLiteral("the outputs are:\n") : QStringLiteral("the inputs are:\n")) + Indented(names);
}
