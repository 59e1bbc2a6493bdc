#pragma once
// A file of system-exclusive messages to send: a standard .syx file (the raw
// bytes, F0 … F7, one message after the other) or the same bytes written as
// hexadecimal text ("F0 7E 7F 06 01 F7", pairs of digits separated by blanks,
// commas or line breaks, each pair optionally written 0x.. or $..). A file is
// taken whole or not at all: anything but a sequence of whole, valid messages
// is refused with a French text saying what and where, so that nothing is
// sent from a damaged file.
//
// Any thread; an object is a plain value.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

class SysexFile {
 public:
  // Far beyond any firmware or patch bank, and small enough to hold in memory
  // together with its list of messages.
  static constexpr qint64 MaxFileBytes = 64LL * 1024 * 1024;
  // The send routine takes at most this many bytes per message.
  static constexpr qsizetype MaxMessageBytes = 65535;

  // No messages and no error.
  SysexFile() = default;

  // Reads the file and checks it as Parse does. Refused without reading: a
  // path that is not a regular file and a file above MaxFileBytes.
  static SysexFile Load(const QString& path);
  // Takes the bytes of a file: hexadecimal text when every byte is printable
  // ASCII, a tab or a line break, the raw bytes otherwise.
  static SysexFile Parse(const QByteArray& content);

  bool Ok() const { return FError.isEmpty(); }
  // What is wrong with the file; empty when it is fine.
  const QString& Error() const { return FError; }
  bool IsHexText() const { return FHexText; }

  qsizetype MessageCount() const { return static_cast<qsizetype>(FEnds.size()); }
  std::span<const uint8_t> Message(qsizetype index) const;
  qsizetype MessageSize(qsizetype index) const;
  qint64 TotalBytes() const { return FBytes.size(); }
  // All messages, one after the other: the file as a .syx file.
  const QByteArray& Bytes() const { return FBytes; }

 private:
  static SysexFile Failed(QString error);
  // Splits FBytes into messages; the error text on failure.
  QString Split(const QByteArray& source);
  // Where byte `index` of FBytes came from, for an error text.
  QString Where(const QByteArray& source, qsizetype index) const;

  QByteArray FBytes;
  std::vector<quint32> FEnds;  // where each message ends in FBytes
  QString FError;
  bool FHexText = false;
};
