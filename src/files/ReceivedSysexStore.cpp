#include "ReceivedSysexStore.h"

#include <algorithm>

#include "MidiType.h"
#include "WholeFile.h"

ReceivedSysexStore::ReceivedSysexStore(qint64 capacity, QObject* parent)
    : QObject(parent), FCapacity(capacity) {}

void ReceivedSysexStore::Feed(const TMyMidiEvent& event) {
  if (event.MidiMessage != 0xF0 || !event.Sysex || event.SysexLength == 0) return;
  const uint8_t* piece = event.Sysex.get();
  const size_t length = event.SysexLength;
  if (piece[0] == 0xF0) {
    FPartial.clear();  // a message under way was cut short
    FAssembling = true;
  } else if (!FAssembling || event.AfterLoss) {
    // The rest of a message whose start was not seen, or one that lost a piece.
    FPartial.clear();
    FAssembling = false;
    return;
  }
  if (static_cast<qint64>(FPartial.size() + length) > FCapacity) {
    // Too large to keep even alone.
    FPartial.clear();
    FAssembling = false;
    CountDrop();
    return;
  }
  FPartial.insert(FPartial.end(), piece, piece + length);
  if (piece[length - 1] != 0xF7) return;
  FAssembling = false;
  const bool valid = FPartial.size() >= 2 &&
                     std::all_of(FPartial.begin() + 1, FPartial.end() - 1, [](uint8_t b) { return b < 0x80; });
  if (valid) Keep(FPartial);
  FPartial.clear();
}

void ReceivedSysexStore::Keep(const std::vector<uint8_t>& message) {
  while (FCount > 0 && static_cast<qint64>(FBytes.size() + message.size()) > FCapacity) DropOldest();
  FBytes.insert(FBytes.end(), message.begin(), message.end());
  ++FCount;
}

void ReceivedSysexStore::DropOldest() {
  const auto end = std::find(FBytes.begin(), FBytes.end(), uint8_t{0xF7});
  FBytes.erase(FBytes.begin(), end == FBytes.end() ? end : end + 1);
  --FCount;
  CountDrop();
}

void ReceivedSysexStore::CountDrop() {
  if (FDroppedCount++ == 0) emit OldestDropped();
}

void ReceivedSysexStore::Clear() {
  FBytes.clear();
  FBytes.shrink_to_fit();
  FCount = 0;
  FDroppedCount = 0;
  FPartial.clear();
  FPartial.shrink_to_fit();
  FAssembling = false;
}

QByteArray ReceivedSysexStore::Contents() const {
  QByteArray contents(static_cast<qsizetype>(FBytes.size()), Qt::Uninitialized);
  std::copy(FBytes.begin(), FBytes.end(), reinterpret_cast<uint8_t*>(contents.data()));
  return contents;
}

QString ReceivedSysexStore::SaveTo(const QString& path) const { return WriteWholeFile(path, Contents()); }
