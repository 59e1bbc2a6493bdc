#include "LogModel.h"

#include <algorithm>

namespace {

bool HasLineBreak(const QStringList& lines) {
  return std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) { return line.contains(QLatin1Char('\n')); });
}

// The lines, each piece between line breaks as a line of its own.
QStringList Pieces(const QStringList& lines) {
  if (!HasLineBreak(lines)) return lines;
  QStringList pieces;
  for (const QString& line : lines) pieces << line.split(QLatin1Char('\n'));
  return pieces;
}

}  // namespace

TLogModel::TLogModel(QObject* parent) : QAbstractListModel(parent) {}

QString TLogModel::Text(int first, int last) const {
  qsizetype size = 0;
  for (int i = first; i <= last; ++i) size += Line(i).size() + 1;
  QString text;
  text.reserve(size);
  for (int i = first; i <= last; ++i) {
    if (i > first) text += QLatin1Char('\n');
    text += Line(i);
  }
  return text;
}

void TLogModel::AppendLines(const QStringList& lines, int limit) {
  const QStringList pieces = Pieces(lines);
  if (pieces.isEmpty()) return;

  // Which existing lines and which of the new ones the limit removes.
  const int existing = LineCount();
  int count = existing;
  int removeExisting = 0;
  qsizetype skipNew = 0;
  for (qsizetype i = 0; i < pieces.size(); ++i) {
    if (count > 0 && count >= limit) {
      if (removeExisting < existing) {
        ++removeExisting;
      } else {
        ++skipNew;
      }
      --count;
    }
    ++count;
  }

  if (removeExisting > 0) {
    beginRemoveRows(QModelIndex(), 0, removeExisting - 1);
    FLines.erase(FLines.begin(), FLines.begin() + removeExisting);
    FFirstSerial += removeExisting;
    endRemoveRows();
  }
  FFirstSerial += skipNew;
  Insert(pieces, skipNew);
  emit LinesChanged();
}

void TLogModel::AppendLine(const QString& line) {
  Insert(Pieces({line}), 0);
  emit LinesChanged();
}

void TLogModel::Insert(const QStringList& lines, qsizetype from) {
  if (from >= lines.size()) return;
  const int first = LineCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size() - from) - 1);
  FLines.insert(FLines.end(), lines.cbegin() + from, lines.cend());
  endInsertRows();
}

void TLogModel::Clear() {
  beginResetModel();
  FFirstSerial += LineCount();
  FLines.clear();
  endResetModel();
  emit LinesChanged();
}

void TLogModel::SetText(const QString& text) {
  beginResetModel();
  FFirstSerial += LineCount();
  FLines.clear();
  if (!text.isEmpty()) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    FLines.assign(lines.cbegin(), lines.cend());
  }
  endResetModel();
  emit LinesChanged();
}

int TLogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : LineCount(); }

QVariant TLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= LineCount() || role != Qt::DisplayRole) return {};
  return Line(index.row());
}
