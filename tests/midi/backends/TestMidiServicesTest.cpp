// The scriptable test back end of the port tests under the contract of the
// services, so that it keeps behaving as the program's back ends do. Its loop
// is its own Loop: what the output device accepts arrives at the input device
// before the send returns.

#include <gtest/gtest.h>

#include "MidiServicesContract.h"
#include "TestMidiServices.h"

namespace {

class TestBackEndLoop final : public ServicesUnderTest {
 public:
  static constexpr const char* kDevice = "Test Loop";

  static std::unique_ptr<ServicesUnderTest> Make(std::string*) {
    return std::make_unique<TestBackEndLoop>();
  }

  std::unique_ptr<MidiServices> TakeServices() override {
    auto midi = std::make_unique<TestMidiServices>();
    midi->AddInputDevice(kDevice);
    midi->AddOutputDevice(kDevice);
    midi->Loop(0, 0);
    return midi;
  }
  std::string LoopOutput() const override { return kDevice; }
  std::string LoopInput() const override { return kDevice; }
  void Settle(MidiServices&, HMIDI) override {}  // delivered before the send returned
  Split LargeSysex() const override { return {60000, 4096, 15, 60000 - 14 * 4096}; }

  std::string WhyNot(Claim claim) const override {
    switch (claim) {
      case Claim::kRefusesShortMessagesItCannotSend:
        return "the test back end accepts every short message, as the port tests expect";
      case Claim::kJoinsASysexSentInPieces:
        return "the test back end hands each long message to the input as a whole message";
      case Claim::kWordsErrorsAsUsersReadThem:
        return "the test back end keeps the wording the port tests expect for most codes";
    }
    return {};
  }
};

INSTANTIATE_TEST_SUITE_P(TestBackEnd, MidiServicesContract,
                         ::testing::Values(BackEnd{"TestBackEnd", &TestBackEndLoop::Make}));

}  // namespace
