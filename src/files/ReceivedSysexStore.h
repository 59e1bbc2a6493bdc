#pragma once
// The system-exclusive messages received since start or the last Clear, whole
// (F0 … F7) and in the order they arrived, to be saved as a .syx file.
//
// The input port hands a long message over in pieces of at most one of its
// buffers; Feed joins the pieces again. A message that arrives cut short (a
// piece without F7 followed by a new F0, a piece that continues nothing, or
// one that comes after pieces the input queue lost)
// or that holds a status byte inside is left out: only whole, valid messages
// are kept.
//
// Memory is bounded: when a new message would take the total beyond the
// capacity, the oldest messages go first (a message larger than the capacity
// is not kept at all); DroppedCount counts what went, and OldestDropped is
// emitted the first time it happens after start or Clear.
//
// User-interface thread only.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <vector>

struct TMyMidiEvent;

class ReceivedSysexStore : public QObject {
  Q_OBJECT

 public:
  static constexpr qint64 DefaultCapacity = 64LL * 1024 * 1024;

  explicit ReceivedSysexStore(qint64 capacity = DefaultCapacity, QObject* parent = nullptr);

  // One event as the input port delivers it; anything but a system-exclusive
  // piece is ignored.
  void Feed(const TMyMidiEvent& event);
  // Forgets every message, the piece of one under way and what was dropped.
  void Clear();

  qint64 Capacity() const { return FCapacity; }
  qsizetype Count() const { return FCount; }
  qint64 TotalBytes() const { return static_cast<qint64>(FBytes.size()); }
  // Messages left out to keep within the capacity since start or Clear.
  qsizetype DroppedCount() const { return FDroppedCount; }
  // Every message kept, one after the other.
  QByteArray Contents() const;
  // Writes Contents to the file, replacing it only once the whole content is
  // written; the error text (French) on failure, empty on success.
  QString SaveTo(const QString& path) const;

 signals:
  void OldestDropped();

 private:
  void Keep(const std::vector<uint8_t>& message);
  void DropOldest();
  void CountDrop();

  const qint64 FCapacity;
  std::deque<uint8_t> FBytes;  // the kept messages; each ends with its only F7
  qsizetype FCount = 0;
  qsizetype FDroppedCount = 0;
  std::vector<uint8_t> FPartial;  // pieces of the message under way
  bool FAssembling = false;       // FPartial holds the start of a message
};
