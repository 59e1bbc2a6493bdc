#pragma once
// What to look for in the event log's lines: a text, found whatever its
// letter case, and, when it reads as hexadecimal bytes ("90 3C", "903c"),
// those bytes one after the other among a line's bytes (after " - ", before
// the message's name), whatever the blanks between them. A plain value;
// user-interface thread (it reads the log's model).

#include <QString>

class TLogModel;

class LogSearch {
 public:
  explicit LogSearch(const QString& query = QString());

  bool IsEmpty() const { return FText.isEmpty(); }
  bool Matches(const QString& line) const;
  // The first line that matches after `from` going forward (before it going
  // back), round the end of the log; `from` -1 starts at the first line
  // forward, at the last one back. -1 when no line matches.
  int Find(const TLogModel& log, int from, bool forward) const;

 private:
  QString FText;   // the query, trimmed
  QString FBytes;  // as bytes, " 90 3C ": each upper-case byte followed by a blank; empty when it is no bytes
};
