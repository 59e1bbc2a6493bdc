#include "IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::function<void(QSaveFile&)>& BeforeCommitHook() {
  static std::function<void(QSaveFile&)> hook;
  return hook;
}

std::function<void()>& BeforeWriteHook() {
  static std::function<void()> hook;
  return hook;
}

// A raw line without its line ending, decoded.
QString Text(const QByteArray& raw) {
  QByteArray body = raw;
  while (body.endsWith('\n') || body.endsWith('\r')) body.chop(1);
  if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);  // byte-order mark
  return QString::fromUtf8(body);
}

bool IsComment(const QString& trimmed) { return trimmed.startsWith(';') || trimmed.startsWith('#'); }

// The section name of a "[Name]" line, or a null string.
QString SectionName(const QString& text) {
  const QString trimmed = text.trimmed();
  if (!trimmed.startsWith('[')) return {};
  const qsizetype close = trimmed.indexOf(']');
  if (close < 0) return {};
  return trimmed.mid(1, close - 1).trimmed();
}

// Splits a "Key=Value" line; false for anything else.
bool SplitEntry(const QString& text, QString& key, QString& value) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty() || IsComment(trimmed) || trimmed.startsWith('[')) return false;
  const qsizetype equals = trimmed.indexOf('=');
  if (equals <= 0) return false;
  key = trimmed.left(equals).trimmed();
  value = trimmed.mid(equals + 1).trimmed();
  return !key.isEmpty();
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QByteArray OneLine(const QString& text) {
  QString flat = text;
  flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
  flat.replace('\r', ' ');
  flat.replace('\n', ' ');
  return flat.toUtf8();
}

}  // namespace

EIniWriteError::EIniWriteError(const QString& path)
    : std::runtime_error(QString::fromUtf8("Impossible d'écrire dans %1").arg(path).toStdString()),
      FText(QString::fromUtf8("Impossible d'écrire dans %1").arg(path)) {}

void TIniFile::SetBeforeCommitHook(std::function<void(QSaveFile&)> hook) { BeforeCommitHook() = std::move(hook); }

void TIniFile::SetBeforeWriteHook(std::function<void()> hook) { BeforeWriteHook() = std::move(hook); }

TIniFile::TIniFile(QString path) : FPath(std::move(path)) {
  QFile file(FPath);
  if (!file.open(QIODevice::ReadOnly)) return;
  const QByteArray content = file.readAll();
  qsizetype start = 0;
  while (start < content.size()) {
    qsizetype end = content.indexOf('\n', start);
    end = end < 0 ? content.size() : end + 1;
    FLines.append(Parse(content.mid(start, end - start)));
    start = end;
  }
  for (const Line& line : std::as_const(FLines))
    if (line.raw.endsWith('\n')) {
      FNewline = line.raw.endsWith("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
      break;
    }
}

TIniFile::Line TIniFile::Parse(QByteArray raw) {
  Line line;
  const QString text = Text(raw);
  line.section = SectionName(text);
  if (line.section.isNull()) SplitEntry(text, line.key, line.value);
  line.raw = std::move(raw);
  return line;
}

int TIniFile::FindSection(const QString& section) const {
  for (int i = 0; i < FLines.size(); ++i)
    if (!FLines[i].section.isNull() && SameName(FLines[i].section, section)) return i;
  return -1;
}

int TIniFile::SectionEnd(int headerLine) const {
  int i = headerLine + 1;
  while (i < FLines.size() && FLines[i].section.isNull()) ++i;
  return i;
}

int TIniFile::FindKey(int headerLine, const QString& key) const {
  const int end = SectionEnd(headerLine);
  for (int i = headerLine + 1; i < end; ++i)
    if (!FLines[i].key.isEmpty() && SameName(FLines[i].key, key)) return i;
  return -1;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const {
  const int header = FindSection(section);
  if (header < 0) return defaultValue;
  const int line = FindKey(header, key);
  if (line < 0) return defaultValue;
  QString value = FLines[line].value;
  if (value.size() > MaxValueLength) {
    qsizetype length = MaxValueLength;
    if (value.at(length - 1).isHighSurrogate()) --length;  // never half a character
    value.truncate(length);
  }
  return value;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value, bool evenIfUnchanged) {
  QList<Line> lines = FLines;
  const QByteArray entry = OneLine(key) + '=' + OneLine(value);
  const int header = FindSection(section);
  bool unchanged = false;
  if (header < 0) {
    if (!lines.isEmpty() && !lines.last().raw.endsWith('\n')) lines.last().raw.append(FNewline);
    lines.append(Parse('[' + OneLine(section) + ']' + FNewline));
    lines.append(Parse(entry + FNewline));
  } else if (const int line = FindKey(header, key); line >= 0) {
    // The key keeps its spelling in the file.
    const QByteArray& old = lines[line].raw;
    const QByteArray ending = old.endsWith("\r\n") ? "\r\n" : old.endsWith('\n') ? "\n" : "";
    const QByteArray replaced = OneLine(lines[line].key) + '=' + OneLine(value) + ending;
    unchanged = old == replaced;
    if (!unchanged) lines[line] = Parse(replaced);
  } else {
    // After the section's last entry, or its header when it has none; blank
    // lines and comments that lead into the next section stay before it.
    int last = header;
    for (int i = header + 1, end = SectionEnd(header); i < end; ++i)
      if (!lines[i].key.isEmpty()) last = i;
    if (!lines[last].raw.endsWith('\n')) lines[last].raw.append(FNewline);
    lines.insert(last + 1, Parse(entry + FNewline));
  }
  if (FUpdating) {
    FUpdateForced = FUpdateForced || evenIfUnchanged;
    FLines = std::move(lines);
    return;
  }
  if (unchanged && !evenIfUnchanged && QFileInfo::exists(FPath)) return;
  Save(lines);
  FLines = std::move(lines);
}

void TIniFile::BeginUpdate() {
  if (FUpdating) return;
  FUpdating = true;
  FUpdateForced = false;
  FLinesBefore = FLines;
}

bool TIniFile::Changed() const {
  return FUpdating && !std::equal(FLines.cbegin(), FLines.cend(), FLinesBefore.cbegin(), FLinesBefore.cend(),
                                  [](const Line& a, const Line& b) { return a.raw == b.raw; });
}

void TIniFile::UpdateFile() {
  if (!FUpdating) return;
  const bool unchanged = !Changed();
  FUpdating = false;
  QList<Line> before = std::exchange(FLinesBefore, {});
  if (unchanged && !FUpdateForced && QFileInfo::exists(FPath)) return;
  try {
    Save(FLines);
  } catch (...) {
    FLines = std::move(before);  // memory follows the file
    throw;
  }
}

void TIniFile::Save(const QList<Line>& lines) const {
  if (const auto& hook = BeforeWriteHook()) hook();
  const QFileInfo info(FPath);
  if (info.exists() && (!info.isFile() || !info.isWritable())) throw EIniWriteError(FPath);
  QByteArray content;
  for (const Line& line : lines) content += line.raw;
  QSaveFile file(FPath);
  if (!file.open(QIODevice::WriteOnly)) {
    // No temporary file beside it: the folder refuses new files.
    if (info.exists()) {
      SaveInPlace(content);
      return;
    }
    throw EIniWriteError(FPath);
  }
  // The content must be on the disk before it may replace the old file. Qt
  // 6.4's commit() overlooks a failure of its final flush (where a full disk
  // shows) and of its sync, and would put a truncated file in place.
  if (file.write(content) != content.size() || !file.flush() || fsync(file.handle()) != 0) file.cancelWriting();
  if (const auto& hook = BeforeCommitHook()) hook(file);
  if (!file.commit()) throw EIniWriteError(FPath);
}

void TIniFile::SaveInPlace(const QByteArray& content) const {
  QFile file(FPath);
  if (!file.open(QIODevice::ReadWrite)) throw EIniWriteError(FPath);
  const int fd = file.handle();
  // The blocks for the whole new content first, the file's size unchanged: on
  // a full disk this fails before a byte of the old content is overwritten.
  // A file system that cannot reserve goes on without.
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, content.size()) != 0 && errno != EOPNOTSUPP) {
    throw EIniWriteError(FPath);
  }
  if (file.write(content) != content.size() || !file.flush() || !file.resize(content.size()) || fsync(fd) != 0) {
    throw EIniWriteError(FPath);
  }
}
