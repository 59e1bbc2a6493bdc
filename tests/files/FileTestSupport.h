#pragma once
// Bytes and files for the file commands' tests.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A system-exclusive message of `size` bytes (at least 2) whose data bytes
// tell it apart from others by `tag`.
inline Bytes SysexMessage(size_t size, unsigned tag) {
  Bytes message(size);
  message.front() = 0xF0;
  message.back() = 0xF7;
  for (size_t i = 1; i + 1 < size; ++i) message[i] = static_cast<uint8_t>((tag * 31 + i * 7) % 128);
  return message;
}

// The messages one after the other, as a .syx file holds them.
inline QByteArray Joined(const std::vector<Bytes>& messages) {
  QByteArray joined;
  for (const Bytes& message : messages) joined.append(reinterpret_cast<const char*>(message.data()), qsizetype(message.size()));
  return joined;
}

inline QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
