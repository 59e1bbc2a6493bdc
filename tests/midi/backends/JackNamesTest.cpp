// Product names made from the full names of a JACK server's ports.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "backends/jack/JackNames.h"

namespace {

using Names = std::vector<std::optional<std::string>>;

struct Case {
  const char* what;
  std::vector<std::string> ports;
  Names names;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class JackNameCases : public ::testing::TestWithParam<Case> {};

TEST_P(JackNameCases, AreStableReadableAndLeaveOutTheProgramsPorts) {
  EXPECT_EQ(JackProductNames(GetParam().ports), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, JackNameCases,
    ::testing::Values(
        Case{"JackNamesKeptWhole",
             {"system:midi_capture_1", "a2j:Midi Through [14] (capture): Midi Through Port-0"},
             {"system:midi_capture_1 (JACK)",
              "a2j:Midi Through [14] (capture): Midi Through Port-0 (JACK)"}},
        Case{"JackOwnClientsLeftOut",
             {"Orvalis:MIDI In", "Orvalis-07:MIDI Out", "Orvalis-x:out", "OrvalisTest-12:in"},
             {std::nullopt, std::nullopt, "Orvalis-x:out (JACK)", "OrvalisTest-12:in (JACK)"}},
        Case{"PipeWiresBridgeOfTheAlsaSequencerNamesTheRouteAndOurAlsaPortsAreLeftOut",
             {"Midi-Bridge:Midi Through:(capture_0) Midi Through Port-0",
              "Midi-Bridge:Orvalis:(playback_0) MIDI In", "Midi-Bridge:Orvalis:(capture_1) MIDI Out",
              "Midi-Bridge:OrvalisTest:(capture_0) out"},
             {"Midi-Bridge:Midi Through:(capture_0) Midi Through Port-0 (JACK)", std::nullopt, std::nullopt,
              "Midi-Bridge:OrvalisTest:(capture_0) out (JACK)"}},
        Case{"LongNamesNotCut",
             {"a-client-with-a-rather-long-name:and-a-port-with-a-long-name-too"},
             {"a-client-with-a-rather-long-name:and-a-port-with-a-long-name-too (JACK)"}}));

TEST(JackNames, ListedNamesAreTheNamesWithoutTheProgramsPorts) {
  EXPECT_EQ(ListedJackProductNames({"Orvalis-01:MIDI In", "system:midi_capture_1"}),
            std::vector<std::string>{"system:midi_capture_1 (JACK)"});
}

TEST(JackNames, AProductIsFoundAtTheIndexOfItsPortAmongAllPortsTheProgramsIncluded) {
  const std::vector<std::string> ports = {"Orvalis:MIDI In", "system:midi_capture_1",
                                          "system:midi_capture_2"};
  EXPECT_EQ(IndexOfJackProduct(ports, "system:midi_capture_1 (JACK)"), 1u);
  EXPECT_EQ(IndexOfJackProduct(ports, "system:midi_capture_2 (JACK)"), 2u);
  EXPECT_EQ(IndexOfJackProduct(ports, "Orvalis:MIDI In (JACK)"), std::nullopt);
  EXPECT_EQ(IndexOfJackProduct(ports, "system:midi_capture_1 (ALSA)"), std::nullopt)
      << "the back end's suffix is part of the name";
}

}  // namespace
