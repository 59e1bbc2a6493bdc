#pragma once
// The whole value of controllers sent in two halves, per channel, as a
// receiver puts it together:
//   - a 14-bit controller: CC 0–31 (MSB) and then its partner CC 32–63 (LSB)
//     give "CC 7/39 = 12345" when the LSB comes;
//   - a registered or non-registered parameter chosen by CC 101/100 (RPN) or
//     CC 99/98 (NRPN), then set by data entry (CC 6 MSB, CC 38 LSB) or
//     stepped (CC 96 +1, CC 97 −1): "RPN 0x0000 = 256", "NRPN 0x0123 = 8192"
//     after each data entry (the parameter's two bytes in hexadecimal, MSB
//     first; an MSB sets the LSB to 0, as the MIDI 1.0 standard asks of a
//     receiver); RPN 0x7F7F (null) ends the choice.
// Reset All Controllers (CC 121) forgets the channel's halves and parameter.
// One object per stream of messages (one direction). User-interface thread.

#include <QString>

#include <array>
#include <cstdint>

class ControllerPairs {
 public:
  // Follows one message; the text of the whole value that it completes with
  // its channel ("CC 7/39 = 12345, canal 1"), empty when it completes none.
  QString Observe(uint8_t status, uint8_t data1, uint8_t data2);
  void Reset();

 private:
  enum class TParameter : uint8_t { None, Rpn, Nrpn };
  struct TChannel {
    std::array<int8_t, 32> msb;  // last MSB of CC 0–31, -1 when none came
    int8_t rpnMsb = -1, rpnLsb = -1, nrpnMsb = -1, nrpnLsb = -1;
    TParameter parameter = TParameter::None;
    int value = -1;  // the chosen parameter's value (14 bits), -1 while unknown
    TChannel() { msb.fill(-1); }
  };

  QString ParameterText(const TChannel& c, int channel) const;

  std::array<TChannel, 16> FChannels{};
};
