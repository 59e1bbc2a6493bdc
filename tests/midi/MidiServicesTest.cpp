#include "MidiServices.h"

#include <gtest/gtest.h>

TEST(MidiServices, WithNoBackEndInstalledThereAreNoDevicesAndOpensAreRefused) {
  ScopedMidiServices none(nullptr);
  EXPECT_EQ(midiInGetNumDevs(), 0u);
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  HMIDI handle = 0;
  EXPECT_NE(midiInOpen(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  EXPECT_NE(midiOutOpen(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  EXPECT_EQ(handle, 0u);
}
