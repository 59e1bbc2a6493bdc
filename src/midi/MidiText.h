#pragma once
// MIDI bytes as the user sees them: each byte as two upper-case hexadecimal
// digits with a leading zero ("90 3C 40"). Every text of bytes in the program
// is made here. Any thread; nothing is shared.

#include <QString>

#include <cstdint>
#include <span>
#include <string>

// Appends the bytes, separated by single spaces (none before the first).
void AppendHexBytes(QString& text, std::span<const uint8_t> bytes);
void AppendHexBytes(std::string& text, std::span<const uint8_t> bytes);

// The bytes separated by single spaces; empty for none.
QString HexBytesText(std::span<const uint8_t> bytes);
// One byte: "0A".
QString HexByteText(uint8_t byte);
