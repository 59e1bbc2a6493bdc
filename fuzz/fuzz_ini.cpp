// The ini layer as reader and writer, and the preferences read from any file.
//
// Input: the file's bytes, then, split off at the last three NUL bytes, the
// section, key and value to write ("<file>\0<section>\0<key>\0<value>"). With
// fewer NUL bytes the whole input is the file and a fixed entry is written.
//
// Every section and key the file names is read; the entry is written; the
// file is opened again and must read as the object that wrote it. The write
// may change one line and add at most two; the rest of the file stays byte
// for byte. For a section and key the layer can write as such, the written
// value must read back (line breaks as spaces, surrounding blanks dropped, at
// most MaxValueLength characters) and every other entry as before.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "IniFile.h"
#include "uUserPrefs.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_ini: %s\n", what);
  __builtin_trap();
}

// A folder of this process, in memory when the system offers one; the
// ORVALIS_FUZZ_TMPDIR variable (set by scripts/fuzz.sh) overrides the choice.
QString ScratchFile() {
  static const std::unique_ptr<QTemporaryDir> dir = [] {
    QString base = qEnvironmentVariable("ORVALIS_FUZZ_TMPDIR");
    if (base.isEmpty()) base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    auto made = std::make_unique<QTemporaryDir>(base + QStringLiteral("/fuzz_ini-XXXXXX"));
    if (!made->isValid()) Fail("no temporary folder");
    return made;
  }();
  return dir->filePath(QStringLiteral("fuzz.ini"));
}

void PutFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
    Fail("cannot write the input file");
}

QByteArray FileContent(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) Fail("cannot read the file back");
  return file.readAll();
}

// Lines with their own endings, as the layer splits them.
QList<QByteArray> Lines(const QByteArray& content) {
  QList<QByteArray> lines;
  qsizetype start = 0;
  while (start < content.size()) {
    qsizetype end = content.indexOf('\n', start);
    end = end < 0 ? content.size() : end + 1;
    lines.append(content.mid(start, end - start));
    start = end;
  }
  return lines;
}

struct Entry {
  QString section;
  QString key;
};

// The entries the file names, by a rough reading: every "[...]" line opens a
// section and every other line with a '=' names a key in it. The layer's own
// rules then decide what each of them reads.
QList<Entry> NamedEntries(const QByteArray& content) {
  constexpr qsizetype kMaxEntries = 256;  // keeps each run short
  QList<Entry> entries;
  QString section;
  for (const QByteArray& raw : Lines(content)) {
    const QString text = QString::fromUtf8(raw).trimmed();
    if (text.startsWith(QLatin1Char('['))) {
      const qsizetype close = text.indexOf(QLatin1Char(']'));
      section = text.mid(1, close < 0 ? -1 : close - 1).trimmed();
      continue;
    }
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0) continue;
    entries.append({section, text.left(equals).trimmed()});
    if (entries.size() >= kMaxEntries) break;
  }
  return entries;
}

const QString kMissing = QStringLiteral("\x01missing\x01");

QList<QString> ReadAll(const TIniFile& ini, const QList<Entry>& entries) {
  QList<QString> values;
  values.reserve(entries.size());
  for (const Entry& e : entries) values.append(ini.ReadString(e.section, e.key, kMissing));
  return values;
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// A name the layer can write and find again: not blank-padded, on one line,
// and not read as something else (a section end inside a section name; an
// equals sign, comment or section mark in a key; a leading byte-order mark,
// which the reader drops from each line).
bool WritableSection(const QString& name) {
  return !name.isEmpty() && name == name.trimmed() && !name.contains(QLatin1Char(']')) &&
         !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r'));
}
bool WritableKey(const QString& name) {
  return !name.isEmpty() && name == name.trimmed() && !name.contains(QLatin1Char('=')) &&
         !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r')) &&
         !name.startsWith(QLatin1Char('[')) && !name.startsWith(QLatin1Char(';')) &&
         !name.startsWith(QLatin1Char('#')) && !name.startsWith(QChar(0xFEFF));
}

// What a written value reads back as.
QString ReadBackOf(const QString& value) {
  QString flat = value;
  flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
  flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
  flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
  flat = flat.trimmed();
  if (flat.size() > TIniFile::MaxValueLength) {
    qsizetype length = TIniFile::MaxValueLength;
    if (flat.at(length - 1).isHighSurrogate()) --length;
    flat.truncate(length);
  }
  return flat;
}

// The write changes at most one line of the old file (the replaced entry, or
// the line that gains a line ending) and adds at most two.
void CheckOnlyNearbyLinesChanged(const QByteArray& before, const QByteArray& after) {
  const QList<QByteArray> a = Lines(before);
  const QList<QByteArray> b = Lines(after);
  qsizetype prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  qsizetype suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
    ++suffix;
  const qsizetype changedOld = a.size() - prefix - suffix;
  const qsizetype changedNew = b.size() - prefix - suffix;
  if (changedOld > 1 || changedNew > 3 || b.size() < a.size() || b.size() > a.size() + 2)
    Fail("the write changed lines it does not touch");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QByteArray file = input;
  QString section = QStringLiteral("Fuzz");
  QString key = QStringLiteral("Key");
  QString value = QStringLiteral("Value");
  const qsizetype third = input.lastIndexOf('\0');
  const qsizetype second = third > 0 ? input.lastIndexOf('\0', third - 1) : -1;
  const qsizetype first = second > 0 ? input.lastIndexOf('\0', second - 1) : -1;
  if (first >= 0) {
    file = input.left(first);
    section = QString::fromUtf8(input.mid(first + 1, second - first - 1));
    key = QString::fromUtf8(input.mid(second + 1, third - second - 1));
    value = QString::fromUtf8(input.mid(third + 1));
  }

  const QString path = ScratchFile();
  PutFile(path, file);

  Prefs_Load(path);  // any content gives values, never a crash

  QList<Entry> entries = NamedEntries(file);
  entries.append({section, key});
  TIniFile ini(path);
  const QList<QString> before = ReadAll(ini, entries);

  try {
    ini.WriteString(section, key, value);
  } catch (const EIniWriteError&) {
    Fail("the write failed");
  }
  const QByteArray written = FileContent(path);
  CheckOnlyNearbyLinesChanged(file, written);

  const TIniFile reopened(path);
  const QList<QString> afterInMemory = ReadAll(ini, entries);
  const QList<QString> after = ReadAll(reopened, entries);
  if (after != afterInMemory) Fail("the file on disk reads differently from the object that wrote it");

  // A name the layer cannot write as such (the program writes none) gives a
  // line that reads as some other entry, or as none.
  if (!WritableSection(section) || !WritableKey(key)) return 0;

  for (qsizetype i = 0; i < entries.size(); ++i) {
    const bool isWritten = SameName(entries[i].section, section) && SameName(entries[i].key, key);
    if (isWritten) {
      if (after[i] != ReadBackOf(value)) Fail("the written value does not read back");
    } else if (after[i] != before[i]) {
      Fail("another entry changed its value");
    }
  }

  // Writing the value again, unchanged, leaves the file alone.
  TIniFile again(path);
  again.WriteString(section, key, value);
  if (FileContent(path) != written) Fail("an unchanged write changed the file");
  return 0;
}
