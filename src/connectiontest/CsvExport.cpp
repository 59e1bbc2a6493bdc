#include "CsvExport.h"

#include "LinkTestRun.h"
#include "LinkTestTexts.h"
#include "WholeFile.h"

QByteArray LinkTestCsv(const LinkTestRun& run) {
  const auto& records = run.Records();
  QByteArray csv;
  csv.reserve(static_cast<qsizetype>(records.size()) * 40 + 64);
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

QString SaveLinkTestCsv(const LinkTestRun& run, const QString& path) { return WriteWholeFile(path, LinkTestCsv(run)); }
