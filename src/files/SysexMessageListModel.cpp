#include "SysexMessageListModel.h"

#include <algorithm>
#include <climits>
#include <span>

#include "FileTexts.h"
#include "MidiText.h"
#include "SysexFile.h"

namespace {

// Bytes shown at the start of a row; the manufacturer and device bytes are
// what tells one message from another.
constexpr size_t kShownBytes = 6;

}  // namespace

SysexMessageListModel::SysexMessageListModel(QObject* parent) : QAbstractListModel(parent) {}

void SysexMessageListModel::SetFile(std::shared_ptr<const SysexFile> file) {
  beginResetModel();
  FFile = std::move(file);
  endResetModel();
}

int SysexMessageListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !FFile) return 0;
  return static_cast<int>(std::min<qsizetype>(FFile->MessageCount(), INT_MAX));
}

QVariant SysexMessageListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return RowText(index.row());
}

QString SysexMessageListModel::RowText(int row) const {
  const std::span<const uint8_t> message = FFile->Message(row);
  QString text = QStringLiteral("%1 : %2  ").arg(GroupedNumber(row + 1), ByteCountText(static_cast<qint64>(message.size())));
  if (message.size() <= kShownBytes + 1) {
    AppendHexBytes(text, message);
  } else {
    AppendHexBytes(text, message.first(kShownBytes));
    text += QStringLiteral(" \u2026 F7");
  }
  return text;
}
