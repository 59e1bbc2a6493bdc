#include "MidiText.h"

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

template <typename Text, typename Char>
void AppendTo(Text& text, std::span<const uint8_t> bytes, Char (*make)(char)) {
  bool first = true;
  for (uint8_t byte : bytes) {
    if (!first) text += make(' ');
    first = false;
    text += make(kDigits[byte >> 4]);
    text += make(kDigits[byte & 0x0F]);
  }
}

QLatin1Char Latin1(char c) { return QLatin1Char(c); }
char Plain(char c) { return c; }

}  // namespace

void AppendHexBytes(QString& text, std::span<const uint8_t> bytes) {
  text.reserve(text.size() + static_cast<qsizetype>(3 * bytes.size()));
  AppendTo(text, bytes, &Latin1);
}

void AppendHexBytes(std::string& text, std::span<const uint8_t> bytes) {
  text.reserve(text.size() + 3 * bytes.size());
  AppendTo(text, bytes, &Plain);
}

QString HexBytesText(std::span<const uint8_t> bytes) {
  QString text;
  AppendHexBytes(text, bytes);
  return text;
}

QString HexByteText(uint8_t byte) { return HexBytesText(std::span<const uint8_t>(&byte, 1)); }
