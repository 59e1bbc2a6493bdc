#pragma once
// The event log's lines, oldest first, as a list model.

#include <QAbstractListModel>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>

// Every line enters through AppendLines (under a line limit) or AppendLine
// (beyond it); besides them only Clear and SetText change the lines. A line
// never holds a line break: a text that does becomes one line per piece.
// Lines carry serial numbers, counted from the first line ever added, so that
// a line can be followed while older ones leave.
// User-interface thread only; owned by its Qt parent.
class TLogModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit TLogModel(QObject* parent = nullptr);

  int LineCount() const { return static_cast<int>(FLines.size()); }
  // The line at an index, 0 to LineCount() - 1.
  const QString& Line(int index) const { return FLines[static_cast<size_t>(index)]; }
  // The lines from first to last (indexes, included), joined by '\n'.
  QString Text(int first, int last) const;
  // The whole log, lines joined by '\n'; empty when there is no line.
  QString Text() const { return LineCount() > 0 ? Text(0, LineCount() - 1) : QString(); }

  // Appends the lines in order. Each one first removes the oldest line when
  // the log already holds at least `limit` lines: one removal per added line,
  // so a lowered limit keeps the current length; a limit of 0 or less keeps
  // only the newest line. The result is the same as appending one by one,
  // done as one removal and one insertion.
  void AppendLines(const QStringList& lines, int limit);
  // Appends one line whatever the limit.
  void AppendLine(const QString& line);
  void Clear();
  // Replaces the whole log by the lines of a text (as a pasted text would).
  void SetText(const QString& text);

  // Serial number of the line at index 0 (of the next line when empty).
  int64_t FirstSerial() const { return FFirstSerial; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 signals:
  // Once after each of the operations above that changed the lines, after
  // all of its row signals: a view redraws here, once per batch.
  void LinesChanged();

 private:
  void Insert(const QStringList& lines, qsizetype from);

  std::deque<QString> FLines;  // taken from the front, added at the back
  int64_t FFirstSerial = 0;
};
