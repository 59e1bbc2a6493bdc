// Product names made from the port names that RtMidi reports.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "backends/common/DeviceNames.h"

namespace {

using Names = std::vector<std::optional<std::string>>;

struct Case {
  const char* what;
  PortFamily family;
  std::vector<std::string> ports;
  Names names;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class ProductNameCases : public ::testing::TestWithParam<Case> {};

TEST_P(ProductNameCases, AreStableReadableAndLeaveOutTheProgramsPorts) {
  EXPECT_EQ(ProductNames(GetParam().family, GetParam().ports), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ProductNameCases,
    ::testing::Values(
        Case{"AlsaNumbersDropped",
             PortFamily::kAlsa,
             {"Midi Through:Midi Through Port-0 14:0", "UM-ONE:UM-ONE MIDI 1 24:0"},
             {"Midi Through:Midi Through Port-0 (ALSA)", "UM-ONE:UM-ONE MIDI 1 (ALSA)"}},
        Case{"AlsaNameWithoutNumbersKept",
             PortFamily::kAlsa,
             {"Synth:Port 1:2x", "Synth:Port A"},
             {"Synth:Port 1:2x (ALSA)", "Synth:Port A (ALSA)"}},
        Case{"AlsaSameNameTwice",
             PortFamily::kAlsa,
             {"UM-ONE:UM-ONE MIDI 1 24:0", "UM-ONE:UM-ONE MIDI 1 28:0"},
             {"UM-ONE:UM-ONE MIDI 1 (ALSA)", "UM-ONE:UM-ONE MIDI 1 #2 (ALSA)"}},
        Case{"AlsaOwnClientLeftOut",
             PortFamily::kAlsa,
             {"Orvalis:MIDI In 130:0", "Orvalis-01:x 131:0", "OrvalisX:y 132:0"},
             {std::nullopt, "Orvalis-01:x (ALSA)", "OrvalisX:y (ALSA)"}},
        Case{"JackNamesKeptWhole",
             PortFamily::kJack,
             {"system:midi_capture_1", "a2j:Midi Through [14] (capture): Midi Through Port-0"},
             {"system:midi_capture_1 (JACK)",
              "a2j:Midi Through [14] (capture): Midi Through Port-0 (JACK)"}},
        Case{"JackOwnClientsLeftOut",
             PortFamily::kJack,
             {"Orvalis:MIDI In", "Orvalis-07:MIDI Out", "Orvalis-x:out", "OrvalisTest-12:in"},
             {std::nullopt, std::nullopt, "Orvalis-x:out (JACK)", "OrvalisTest-12:in (JACK)"}},
        Case{"LongNamesNotCut",
             PortFamily::kJack,
             {"a-client-with-a-rather-long-name:and-a-port-with-a-long-name-too"},
             {"a-client-with-a-rather-long-name:and-a-port-with-a-long-name-too (JACK)"}}));

TEST(ProductNames, ListedNamesAreTheNamesWithoutTheProgramsPorts) {
  EXPECT_EQ(ListedProductNames(PortFamily::kJack, {"Orvalis-01:MIDI In", "system:midi_capture_1"}),
            std::vector<std::string>{"system:midi_capture_1 (JACK)"});
}

TEST(ProductNames, AProductIsFoundAtTheIndexOfItsPortAmongAllPortsTheProgramsIncluded) {
  const std::vector<std::string> ports = {"Orvalis:MIDI In 130:0", "UM-ONE:UM-ONE MIDI 1 24:0",
                                          "UM-ONE:UM-ONE MIDI 1 28:0"};
  EXPECT_EQ(IndexOfProduct(PortFamily::kAlsa, ports, "UM-ONE:UM-ONE MIDI 1 (ALSA)"), 1u);
  EXPECT_EQ(IndexOfProduct(PortFamily::kAlsa, ports, "UM-ONE:UM-ONE MIDI 1 #2 (ALSA)"), 2u);
  EXPECT_EQ(IndexOfProduct(PortFamily::kAlsa, ports, "Orvalis:MIDI In (ALSA)"), std::nullopt);
  EXPECT_EQ(IndexOfProduct(PortFamily::kJack, ports, "UM-ONE:UM-ONE MIDI 1 (ALSA)"), std::nullopt)
      << "the family's suffix is part of the name";
}

}  // namespace
