#include "CsvExport.h"

#include "LinkTestRun.h"
#include "LinkTestTexts.h"
#include "WholeFile.h"

namespace {

// A device's name as a value of the first line: its separators and line ends
// would cut the line, so they are replaced.
QByteArray SettingValue(const QString& text) {
  QString value = text;
  for (QChar c : {QChar(';'), QChar('\n'), QChar('\r')}) value.replace(c, QChar(' '));
  return value.toUtf8();
}

QByteArray SettingsLine(const LinkTestSettings& s, const LinkTestRoute& route) {
  const char* kind = s.Kind == LinkMessageKind::ControlChange ? "cc" : s.Kind == LinkMessageKind::Sysex ? "sysex" : "note";
  QByteArray line = "# sortie=" + SettingValue(route.Output) + ";entree=" + SettingValue(route.Input) + ";type=" + kind;
  if (s.Kind == LinkMessageKind::Sysex) line += ";longueur_sysex=" + QByteArray::number(s.SysexLength);
  line += ";messages=" + QByteArray::number(s.Count);
  line += ";rythme=" + (s.OneInFlight ? QByteArray("un_a_la_fois") : QByteArray::number(s.RatePerSecond));
  line += s.RandomMoments ? ";moments=aleatoires" : ";moments=reguliers";
  line += ";attente_ms=" + QByteArray::number(s.TimeoutMs);
  line += ";demarrage=" + QByteArray::number(s.WarmUp);
  return line + '\n';
}

}  // namespace

QByteArray LinkTestCsv(const LinkTestRun& run, const LinkTestRoute& route) {
  const auto& records = run.Records();
  QByteArray csv;
  csv.reserve(static_cast<qsizetype>(records.size()) * 40 + 256);
  csv += SettingsLine(run.Settings(), route);
  csv += "numero,envoi_us,reception_us,latence_us,etat\n";
  const uint64_t start = run.StartUs();
  const auto since = [start](uint64_t us) { return us > start ? us - start : 0; };
  for (size_t i = 0; i < records.size(); ++i) {
    const LinkTestRun::Record& r = records[i];
    csv += QByteArray::number(static_cast<qulonglong>(i + 1));
    csv += ',';
    csv += QByteArray::number(static_cast<qulonglong>(since(r.SentUs)));
    csv += ',';
    const bool answered =
        r.Status == LinkTestRun::MessageStatus::Received || r.Status == LinkTestRun::MessageStatus::OutOfOrder;
    if (answered) {
      csv += QByteArray::number(static_cast<qulonglong>(since(r.ReceivedUs)));
      csv += ',';
      csv += QByteArray::number(static_cast<qulonglong>(r.ReceivedUs > r.SentUs ? r.ReceivedUs - r.SentUs : 0));
    } else {
      csv += ',';
    }
    csv += ',';
    csv += MessageStatusText(r.Status).toUtf8();
    csv += '\n';
  }
  return csv;
}

QString SaveLinkTestCsv(const LinkTestRun& run, const LinkTestRoute& route, const QString& path) {
  return WriteWholeFile(path, LinkTestCsv(run, route));
}
