// How the back ends split a MIDI byte stream into messages, as a receiving
// driver does.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "MidiBytes.h"
#include "backends/common/MidiParser.h"

namespace {

// Writes what the parser reports as text: "903C40" for a short message,
// "F0 01 F7" for a complete system-exclusive message, "F0 01 cut" for one cut short.
class TextSink final : public MidiParser::Sink {
 public:
  void OnShortMessage(uint32_t packed) override {
    char text[8];
    const int length = ShortMessageLength(static_cast<uint8_t>(packed));
    std::string hex;
    for (int i = 0; i < length; ++i) {
      std::snprintf(text, sizeof text, "%02X", (packed >> (8 * i)) & 0xFF);
      hex += text;
    }
    events.push_back(hex);
  }
  void OnSysexByte(uint8_t byte) override {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    sysex += sysex.empty() ? text : std::string(" ") + text;
  }
  void OnSysexEnd(bool complete) override {
    events.push_back(complete ? sysex : sysex + " cut");
    sysex.clear();
  }

  std::vector<std::string> events;
  std::string sysex;
};

struct Case {
  const char* what;
  std::vector<uint8_t> bytes;
  std::vector<std::string> events;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class MidiParserCases : public ::testing::TestWithParam<Case> {};

TEST_P(MidiParserCases, SplitsTheStreamIntoMessages) {
  MidiParser parser;
  TextSink sink;
  for (uint8_t byte : GetParam().bytes) parser.Feed(byte, sink);
  EXPECT_EQ(sink.events, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, MidiParserCases,
    ::testing::Values(
        Case{"note on", {0x90, 0x3C, 0x40}, {"903C40"}},
        Case{"running status", {0x90, 0x3C, 0x40, 0x3E, 0x00}, {"903C40", "903E00"}},
        Case{"two data bytes for a program change are two messages", {0xC2, 0x05, 0x06}, {"C205", "C206"}},
        Case{"real-time byte between status and data", {0x90, 0xF8, 0x3C, 0x40}, {"F8", "903C40"}},
        Case{"data without any status is dropped", {0x3C, 0x40, 0xF6}, {"F6"}},
        Case{"system common ends running status", {0x90, 0x3C, 0x40, 0xF3, 0x01, 0x3E}, {"903C40", "F301"}},
        Case{"song position", {0xF2, 0x01, 0x02}, {"F20102"}},
        Case{"sysex", {0xF0, 0x7E, 0x7F, 0xF7}, {"F0 7E 7F F7"}},
        Case{"real-time byte inside sysex", {0xF0, 0x01, 0xFE, 0x02, 0xF7}, {"FE", "F0 01 02 F7"}},
        Case{"sysex cut short by a status", {0xF0, 0x01, 0x90, 0x3C, 0x40}, {"F0 01 cut", "903C40"}},
        Case{"sysex cut short by another sysex", {0xF0, 0x01, 0xF0, 0x02, 0xF7}, {"F0 01 cut", "F0 02 F7"}},
        Case{"end of exclusive without a start", {0xF7, 0x90, 0x3C, 0x40}, {"903C40"}},
        Case{"sysex ends running status", {0x90, 0x3C, 0x40, 0xF0, 0xF7, 0x3E, 0x00}, {"903C40", "F0 F7"}}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name;
      for (const char* c = info.param.what; *c != '\0'; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      }
      return name;
    });

TEST(MidiParser, ResetForgetsAPartialMessageAndTheRunningStatus) {
  MidiParser parser;
  TextSink sink;
  for (uint8_t byte : {0x90, 0x3C, 0x40, 0x3E}) parser.Feed(byte, sink);
  parser.Reset();
  for (uint8_t byte : {0x00, 0xF0, 0x01}) parser.Feed(byte, sink);
  EXPECT_TRUE(parser.InSysex());
  parser.Reset();
  EXPECT_FALSE(parser.InSysex());
  for (uint8_t byte : {0x02, 0xF7}) parser.Feed(byte, sink);
  EXPECT_EQ(sink.events, std::vector<std::string>{"903C40"});
}

}  // namespace
