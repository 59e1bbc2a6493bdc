#include "MessageDetails.h"

#include <array>

namespace {

// The names of the controllers 0 to 31 and 64 to 127 that the MIDI 1.0
// standard defines; 32 to 63 are the LSB of 0 to 31.
const std::array<const char*, 128>& ControllerNames() {
  static const std::array<const char*, 128> names = [] {
    std::array<const char*, 128> n{};
    n[0] = "Bank Select";
    n[1] = "Modulation";
    n[2] = "Breath Controller";
    n[4] = "Foot Controller";
    n[5] = "Portamento Time";
    n[6] = "Data Entry";
    n[7] = "Volume";
    n[8] = "Balance";
    n[10] = "Pan";
    n[11] = "Expression";
    n[12] = "Effect Control 1";
    n[13] = "Effect Control 2";
    n[16] = "General Purpose 1";
    n[17] = "General Purpose 2";
    n[18] = "General Purpose 3";
    n[19] = "General Purpose 4";
    static const char* const lsb[32] = {
        "Bank Select LSB",   "Modulation LSB",      "Breath Controller LSB", nullptr,
        "Foot Controller LSB", "Portamento Time LSB", "Data Entry LSB",       "Volume LSB",
        "Balance LSB",       nullptr,               "Pan LSB",               "Expression LSB",
        "Effect Control 1 LSB", "Effect Control 2 LSB", nullptr,             nullptr,
        "General Purpose 1 LSB", "General Purpose 2 LSB", "General Purpose 3 LSB", "General Purpose 4 LSB",
    };
    for (int i = 0; i < 32; ++i) n[32 + i] = lsb[i];
    n[64] = "Sustain Pedal";
    n[65] = "Portamento";
    n[66] = "Sostenuto";
    n[67] = "Soft Pedal";
    n[68] = "Legato Footswitch";
    n[69] = "Hold 2";
    n[70] = "Sound Variation";
    n[71] = "Resonance";
    n[72] = "Release Time";
    n[73] = "Attack Time";
    n[74] = "Brightness";
    n[75] = "Decay Time";
    n[76] = "Vibrato Rate";
    n[77] = "Vibrato Depth";
    n[78] = "Vibrato Delay";
    n[79] = "Sound Controller 10";
    n[80] = "General Purpose 5";
    n[81] = "General Purpose 6";
    n[82] = "General Purpose 7";
    n[83] = "General Purpose 8";
    n[84] = "Portamento Control";
    n[88] = "High Resolution Velocity";
    n[91] = "Reverb";
    n[92] = "Tremolo";
    n[93] = "Chorus";
    n[94] = "Detune";
    n[95] = "Phaser";
    n[96] = "Data Increment";
    n[97] = "Data Decrement";
    n[98] = "NRPN LSB";
    n[99] = "NRPN MSB";
    n[100] = "RPN LSB";
    n[101] = "RPN MSB";
    n[120] = "All Sound Off";
    n[121] = "Reset All Controllers";
    n[122] = "Local Control";
    n[123] = "All Notes Off";
    n[124] = "Omni Off";
    n[125] = "Omni On";
    n[126] = "Mono On";
    n[127] = "Poly On";
    return n;
  }();
  return names;
}

class TParts {
 public:
  explicit TParts(QString& text) : FText(text) {}
  TParts& operator<<(const QString& part) {
    if (!FText.isEmpty()) FText += QLatin1String(", ");
    FText += part;
    return *this;
  }
  TParts& Add(const char* label, int value) {
    return *this << QString::fromUtf8(label) + QLatin1Char(' ') + QString::number(value);
  }

 private:
  QString& FText;
};

}  // namespace

QString NoteName(uint8_t note, int middleCOctave) {
  static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  const int n = note & 0x7F;
  return QLatin1String(names[n % 12]) + QString::number(n / 12 + middleCOctave - 5);
}

const char* ControllerName(uint8_t controller) { return ControllerNames()[controller & 0x7F]; }

QString MessageDetails(uint8_t status, uint8_t data1, uint8_t data2, const DetailOptions& o) {
  QString text;
  if (!o.Any()) return text;
  TParts parts(text);
  const int d1 = data1 & 0x7F;
  const int d2 = data2 & 0x7F;
  if (status >= 0x80 && status < 0xF0 && o.Channel) parts.Add("canal", (status & 0x0F) + 1);
  switch (status >> 4) {
    case 0x8:
    case 0x9:
    case 0xA:
      if (o.Decimal) parts.Add("note", d1);
      if (o.NoteName) parts << NoteName(data1, o.MiddleCOctave);
      if (o.Decimal) parts.Add((status >> 4) == 0xA ? "pression" : "vel.", d2);
      break;
    case 0xB:
      if (o.Decimal) parts.Add("ctrl", d1);
      if (o.ControllerName) {
        if (const char* name = ControllerName(data1)) parts << QLatin1String(name);
      }
      if (o.Decimal) parts.Add("val.", d2);
      break;
    case 0xC:
      if (o.ProgramNumber) parts.Add("programme", d1 + 1);
      if (o.Decimal) parts.Add("valeur", d1);
      break;
    case 0xD:
      if (o.Decimal) parts.Add("pression", d1);
      break;
    case 0xE:
      if (o.Decimal) {
        const int value = d1 + 128 * d2;
        parts << QStringLiteral("valeur %1 (%2%3)").arg(value).arg(value >= 8192 ? "+" : "").arg(value - 8192);
      }
      break;
    default:
      if (!o.Decimal) break;
      if (status == 0xF1) {
        parts.Add("type", d1 >> 4).Add("valeur", d1 & 0x0F);
      } else if (status == 0xF2) {
        parts.Add("position", d1 + 128 * d2);
      } else if (status == 0xF3) {
        parts.Add("morceau", d1);
      }
      break;
  }
  return text;
}
