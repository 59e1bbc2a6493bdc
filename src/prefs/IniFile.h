#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <stdexcept>

class QSaveFile;

// Raised when the ini file cannot be written: "Impossible d'écrire dans <path>".
class EIniWriteError : public std::runtime_error {
public:
  explicit EIniWriteError(const QString& path);
  const QString& Text() const { return FText; }

private:
  QString FText;
};

// A small ini file in UTF-8: "[Section]" lines open sections, "Key=Value"
// lines hold entries, lines beginning with ';' or '#' are comments. Section
// and key names match without letter case; the first occurrence wins.
//
// The file is read once when the object is made. Each WriteString goes to the
// disk at once, unless BeginUpdate has gathered the writes for UpdateFile to
// write in one go. Either way the whole new content is written to a temporary
// file in the same folder, which then replaces the old file, so a failed write
// leaves the previous file whole. Where the folder refuses the temporary file
// (a program installed in a folder the user cannot write, beside a file the
// user can), the file is written in place instead, once the room for the new
// content is reserved: a full disk still leaves it whole. Everything the
// writes do not touch stays byte for byte: other sections and keys, comments,
// blank lines, order, line endings. User-interface thread only; one object per
// use.
class TIniFile {
public:
  static constexpr int MaxValueLength = 2047;

  explicit TIniFile(QString path);

  const QString& FileName() const { return FPath; }

  // The value of `key` in `section` without surrounding blanks, at most
  // MaxValueLength characters; `defaultValue` when the key is missing.
  QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;

  // Sets `key` in `section` to `value` and writes the file; a new key goes to
  // the end of its section, a new section to the end of the file. Line breaks
  // in the value become spaces. Raises EIniWriteError on failure, also for an
  // existing file that is not writable. A write that would leave the file as
  // it is is skipped (each write is synced to the disk, which is slow), unless
  // `evenIfUnchanged` asks for it, as a test of whether the file is writable.
  // Between BeginUpdate and UpdateFile it changes only the content in memory.
  void WriteString(const QString& section, const QString& key, const QString& value, bool evenIfUnchanged = false);

  // Gathers the following writes in memory, for UpdateFile to write at once.
  void BeginUpdate();
  // Between BeginUpdate and UpdateFile: true when the gathered writes changed
  // the content.
  bool Changed() const;
  // Ends what BeginUpdate began: writes the gathered content as one
  // replacement of the file, or nothing when the writes left it as it is
  // (unless one of them asked evenIfUnchanged). Raises EIniWriteError on
  // failure; the file and the content in memory are then as they were before
  // BeginUpdate. An object destroyed before UpdateFile writes nothing.
  void UpdateFile();

  // For tests: called with the temporary file after the new content is
  // written and before it replaces the old file.
  static void SetBeforeCommitHook(std::function<void(QSaveFile&)> hook);
  // For tests: called as each write of the file begins, before the file is
  // checked and the temporary file opened. (A file system cannot be made
  // read-only while that file is open for writing.)
  static void SetBeforeWriteHook(std::function<void()> hook);

private:
  // One line of the file as read, with what it means.
  struct Line {
    QByteArray raw;   // with its own line ending
    QString section;  // the name for a "[Name]" line, else null
    QString key;      // the key for a "Key=Value" line, else empty
    QString value;
  };
  static Line Parse(QByteArray raw);
  int FindSection(const QString& section) const;  // line of the header, or -1
  int SectionEnd(int headerLine) const;           // first line after the section
  int FindKey(int headerLine, const QString& key) const;
  void Save(const QList<Line>& lines) const;
  // Replaces the file's content where it is; raises EIniWriteError.
  void SaveInPlace(const QByteArray& content) const;

  QString FPath;
  QList<Line> FLines;
  QByteArray FNewline = "\n";
  bool FUpdating = false;       // between BeginUpdate and UpdateFile
  bool FUpdateForced = false;   // a gathered write asked evenIfUnchanged
  QList<Line> FLinesBefore;     // the content when BeginUpdate was called
};
