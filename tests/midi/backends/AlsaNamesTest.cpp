// Which ALSA sequencer ports are listed, and the names they get, over
// successive listings while ports come and go.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/alsa/AlsaNames.h"

namespace {

constexpr unsigned kReads = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned kWrites = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kMidi = SND_SEQ_PORT_TYPE_MIDI_GENERIC;

SequencerPort Port(int client, int port, const std::string& clientName, const std::string& portName,
                   unsigned capability = kReads | kWrites, unsigned type = kMidi) {
  return {{client, port}, clientName, portName, capability, type};
}

struct FilterCase {
  const char* what;
  SequencerPort port;
  bool input;
  bool output;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.what; }

class AlsaDevicePorts : public ::testing::TestWithParam<FilterCase> {};

TEST_P(AlsaDevicePorts, AreListedByWhatTheyDo) {
  const FilterCase& c = GetParam();
  const std::vector<int> own = {130, 131};
  EXPECT_EQ(IsDevicePort(c.port, AlsaDirection::kInputs, own), c.input);
  EXPECT_EQ(IsDevicePort(c.port, AlsaDirection::kOutputs, own), c.output);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, AlsaDevicePorts,
    ::testing::Values(
        FilterCase{"BothWays", Port(24, 0, "UM-ONE", "UM-ONE MIDI 1"), true, true},
        FilterCase{"SendsOnly", Port(24, 0, "Keyboard", "out", kReads), true, false},
        FilterCase{"TakesOnly", Port(24, 0, "Synth", "in", kWrites), false, true},
        FilterCase{"ReadableButNotForConnections",
                   Port(24, 0, "Odd", "x", SND_SEQ_PORT_CAP_READ | kWrites), false, true},
        FilterCase{"NotExported", Port(24, 0, "Private", "x", kReads | kWrites | SND_SEQ_PORT_CAP_NO_EXPORT),
                   false, false},
        FilterCase{"ASynthesizer", Port(24, 0, "FluidSynth", "Synth input", kWrites, SND_SEQ_PORT_TYPE_SYNTH),
                   false, true},
        FilterCase{"AnApplication", Port(128, 0, "qsynth", "in", kWrites, SND_SEQ_PORT_TYPE_APPLICATION),
                   false, true},
        FilterCase{"TheProgramsClientsByNumber", Port(130, 0, "Orvalis device list", "announcements"), false,
                   false},
        FilterCase{"NotMidi", Port(24, 0, "Timer", "x", kReads | kWrites, SND_SEQ_PORT_TYPE_SPECIFIC), false,
                   false},
        FilterCase{"TheProgramsClientByName", Port(140, 0, "Orvalis", "MIDI In"), false, false},
        FilterCase{"ANameLikeTheProgramsKept", Port(141, 0, "Orvalis-01", "x"), true, true},
        FilterCase{"ANameStartingLikeTheProgramsKept", Port(142, 0, "OrvalisX", "y"), true, true}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.what); });

using Names = std::vector<std::string>;

TEST(AlsaNames, DropTheSequencersNumbersAndKeepTheNamesWhole) {
  AlsaNames names;
  EXPECT_EQ(names.Name({Port(14, 0, "Midi Through", "Midi Through Port-0"),
                        Port(24, 0, "UM-ONE", "UM-ONE MIDI 1"), Port(25, 3, "Synth", "Port 1:2x")}),
            (Names{"Midi Through:Midi Through Port-0 (ALSA)", "UM-ONE:UM-ONE MIDI 1 (ALSA)",
                   "Synth:Port 1:2x (ALSA)"}));
}

TEST(AlsaNames, NumberIdenticalPortsInTheSequencersOrderWhenFirstSeen) {
  AlsaNames names;
  EXPECT_EQ(names.Name({Port(24, 0, "UM-ONE", "UM-ONE MIDI 1"), Port(28, 0, "UM-ONE", "UM-ONE MIDI 1"),
                        Port(32, 0, "UM-ONE", "UM-ONE MIDI 1")}),
            (Names{"UM-ONE:UM-ONE MIDI 1 (ALSA)", "UM-ONE:UM-ONE MIDI 1 #2 (ALSA)",
                   "UM-ONE:UM-ONE MIDI 1 #3 (ALSA)"}));
}

TEST(AlsaNames, APortKeepsItsNumberWhileTheOthersComeAndGo) {
  AlsaNames names;
  const SequencerPort first = Port(24, 0, "UM-ONE", "UM-ONE MIDI 1");
  const SequencerPort second = Port(28, 0, "UM-ONE", "UM-ONE MIDI 1");
  const SequencerPort third = Port(32, 0, "UM-ONE", "UM-ONE MIDI 1");
  names.Name({first, second, third});
  // The first is unplugged: the others keep their names.
  EXPECT_EQ(names.Name({second, third}), (Names{"UM-ONE:UM-ONE MIDI 1 #2 (ALSA)", "UM-ONE:UM-ONE MIDI 1 #3 (ALSA)"}));
  // Plugged back at another number, after them: it takes the free name.
  const SequencerPort back = Port(36, 0, "UM-ONE", "UM-ONE MIDI 1");
  EXPECT_EQ(names.Name({second, third, back}),
            (Names{"UM-ONE:UM-ONE MIDI 1 #2 (ALSA)", "UM-ONE:UM-ONE MIDI 1 #3 (ALSA)", "UM-ONE:UM-ONE MIDI 1 (ALSA)"}));
  // The middle one goes, and a fourth comes before the others: the lowest free number.
  const SequencerPort fourth = Port(20, 0, "UM-ONE", "UM-ONE MIDI 1");
  EXPECT_EQ(names.Name({fourth, third, back}),
            (Names{"UM-ONE:UM-ONE MIDI 1 #2 (ALSA)", "UM-ONE:UM-ONE MIDI 1 #3 (ALSA)", "UM-ONE:UM-ONE MIDI 1 (ALSA)"}));
}

TEST(AlsaNames, APortAtAnAddressThatNowHoldsAnotherClientIsNamedAfresh) {
  AlsaNames names;
  names.Name({Port(128, 0, "Synth", "in"), Port(129, 0, "Synth", "in")});
  // The first ended and another program took its number; the second keeps "#2".
  EXPECT_EQ(names.Name({Port(128, 0, "Drums", "in"), Port(129, 0, "Synth", "in")}),
            (Names{"Drums:in (ALSA)", "Synth:in #2 (ALSA)"}));
}

TEST(AlsaNames, AreForgottenOnceThePortIsGone) {
  AlsaNames names;
  names.Name({Port(24, 0, "A", "p"), Port(28, 0, "A", "p")});
  names.Name({});
  EXPECT_EQ(names.Name({Port(28, 0, "A", "p")}), Names{"A:p (ALSA)"});
}

}  // namespace
