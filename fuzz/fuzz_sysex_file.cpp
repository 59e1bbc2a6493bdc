// The SysEx file reader (SysexFile): a .syx file or hexadecimal text, taken
// whole or refused whole, against a model of what it must accept.
//
// Input: the file's bytes. An input that begins with the byte FF and one more
// byte n is a long message first: F0, then 65 520 + n % 32 bytes in all
// (its F7 included), so that messages around the largest one allowed (65 535
// bytes) are tried; the rest of the input follows it. Every input is read
// both from memory (Parse) and from a file (Load), which must agree.
//
// The model: text is a file (without a UTF-8 byte-order mark) whose every
// byte is printable ASCII, a tab or a line break; its tokens between blanks,
// tabs, line breaks and commas are pairs of hexadecimal digits, each token
// with an optional "0x", "0X" or "$" before its pairs. The bytes (the text's
// pairs, or the file itself) must be one or more messages F0, data bytes
// (below 80), F7, each at most 65 535 bytes, and nothing else. Accepted: the
// messages, in order, are exactly those; refused: an error text and no
// message. Once at start, a file just above the largest size allowed (64 Mo)
// is refused without being read.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <unistd.h>

#include "SysexFile.h"

namespace {

using Messages = std::vector<QByteArray>;

[[noreturn]] void Fail(const char* what, const QByteArray& input) {
  std::fprintf(stderr, "fuzz_sysex_file: %s\n  input (%lld bytes): %s\n", what, static_cast<long long>(input.size()),
               input.left(200).toHex(' ').constData());
  __builtin_trap();
}

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// In memory when the system offers it; ORVALIS_FUZZ_TMPDIR (set by
// scripts/fuzz.sh) overrides the choice.
QString ScratchBase() {
  const QString chosen = qEnvironmentVariable("ORVALIS_FUZZ_TMPDIR");
  if (!chosen.isEmpty()) return chosen;
  return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

QTemporaryDir* scratch = nullptr;

bool IsText(const QByteArray& bytes) {
  if (bytes.isEmpty()) return false;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!((b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r')) return false;
  }
  return true;
}

int Hex(char c) {
  const QByteArray digits = "0123456789abcdef";
  const qsizetype at = digits.indexOf(static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c));
  return at < 0 ? -1 : static_cast<int>(at);
}

// The bytes the text stands for; none when a token is not pairs of digits.
std::optional<QByteArray> TextBytes(const QByteArray& text) {
  QByteArray bytes;
  QByteArray normal = text;
  for (char& c : normal) {
    if (c == '\t' || c == '\n' || c == '\r' || c == ',') c = ' ';
  }
  for (QByteArray token : normal.split(' ')) {
    if (token.isEmpty()) continue;
    if (token.startsWith("0x") || token.startsWith("0X")) {
      token = token.mid(2);
    } else if (token.startsWith('$')) {
      token = token.mid(1);
    }
    if (token.isEmpty() || token.size() % 2 != 0) return std::nullopt;
    for (qsizetype i = 0; i < token.size(); i += 2) {
      const int high = Hex(token[i]);
      const int low = Hex(token[i + 1]);
      if (high < 0 || low < 0) return std::nullopt;
      bytes.append(static_cast<char>(high * 16 + low));
    }
  }
  return bytes;
}

// The messages the file must give; none when it must be refused.
std::optional<Messages> Model(const QByteArray& file) {
  const QByteArray bom = "\xEF\xBB\xBF";
  const QByteArray afterBom = file.startsWith(bom) ? file.mid(3) : file;
  QByteArray bytes = file;
  if (IsText(afterBom)) {
    const std::optional<QByteArray> decoded = TextBytes(afterBom);
    if (!decoded) return std::nullopt;
    bytes = *decoded;
  }
  Messages messages;
  QByteArray current;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (current.isEmpty()) {
      if (b != 0xF0) return std::nullopt;
      current.append(c);
    } else if (b < 0x80) {
      current.append(c);
    } else if (b == 0xF7) {
      current.append(c);
      if (current.size() > SysexFile::MaxMessageBytes) return std::nullopt;
      messages.push_back(current);
      current.clear();
    } else {
      return std::nullopt;
    }
  }
  if (!current.isEmpty() || messages.empty()) return std::nullopt;
  return messages;
}

void Check(const SysexFile& file, const std::optional<Messages>& expected, const QByteArray& input, const char* how) {
  if (!expected) {
    if (file.Ok() || file.Error().isEmpty()) {
      std::fprintf(stderr, "%s\n", how);
      Fail("a file that must be refused was taken", input);
    }
    if (file.MessageCount() != 0 || file.TotalBytes() != 0) Fail("a refused file still has messages", input);
    return;
  }
  if (!file.Ok()) {
    std::fprintf(stderr, "%s: %s\n", how, file.Error().toUtf8().constData());
    Fail("a file that must be taken was refused", input);
  }
  if (file.MessageCount() != static_cast<qsizetype>(expected->size())) Fail("not as many messages", input);
  QByteArray all;
  for (qsizetype i = 0; i < file.MessageCount(); ++i) {
    const std::span<const uint8_t> message = file.Message(i);
    const QByteArray& want = (*expected)[static_cast<size_t>(i)];
    if (file.MessageSize(i) != want.size() ||
        QByteArray(reinterpret_cast<const char*>(message.data()), static_cast<qsizetype>(message.size())) != want) {
      Fail("a message is not the file's", input);
    }
    all += want;
  }
  if (file.Bytes() != all || file.TotalBytes() != all.size()) Fail("the bytes are not the messages'", input);
}

QByteArray Expand(const uint8_t* data, size_t size) {
  const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (size < 2 || data[0] != 0xFF) return raw;
  const qsizetype length = 65520 + data[1] % 32;
  QByteArray file(length, '\0');
  file[0] = static_cast<char>(0xF0);
  for (qsizetype i = 1; i + 1 < length; ++i) file[i] = static_cast<char>(i % 128);
  file[length - 1] = static_cast<char>(0xF7);
  return file + raw.mid(2);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qInstallMessageHandler(Quiet);
  new QCoreApplication(*argc, *argv);  // lives as long as the process
  scratch = new QTemporaryDir(ScratchBase() + QStringLiteral("/orvalis-sysex-XXXXXX"));
  std::atexit([] { delete scratch; });
  if (!scratch->isValid()) Fail("no scratch folder", {});
  // Just above the largest file: refused without being read (a sparse file).
  const QString huge = scratch->filePath(QStringLiteral("huge.syx"));
  {
    QFile file(huge);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(SysexFile::MaxFileBytes + 1)) Fail("no huge file", {});
  }
  if (SysexFile::Load(huge).Ok()) Fail("a file above the largest size was taken", {});
  QFile::remove(huge);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input = Expand(data, size);
  const std::optional<Messages> expected = Model(input);
  Check(SysexFile::Parse(input), expected, input, "Parse");

  const QString path = scratch->filePath(QStringLiteral("input.syx"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size()) Fail("cannot write the file", input);
  }
  Check(SysexFile::Load(path), expected, input, "Load");
  return 0;
}
