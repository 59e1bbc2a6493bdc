#include "ControllerPairs.h"

#include <algorithm>

namespace {

constexpr uint8_t kDataEntry = 6;
constexpr uint8_t kDataEntryLsb = 38;
constexpr uint8_t kIncrement = 96;
constexpr uint8_t kDecrement = 97;
constexpr uint8_t kNrpnLsb = 98;
constexpr uint8_t kNrpnMsb = 99;
constexpr uint8_t kRpnLsb = 100;
constexpr uint8_t kRpnMsb = 101;
constexpr uint8_t kResetAllControllers = 121;

QString Hex2(int byte) { return QStringLiteral("%1").arg(std::max(byte, 0), 2, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

void ControllerPairs::Reset() { FChannels.fill(TChannel{}); }

QString ControllerPairs::ParameterText(const TChannel& c, int channel) const {
  const bool rpn = c.parameter == TParameter::Rpn;
  return QStringLiteral("%1 0x%2%3 = %4, canal %5")
      .arg(rpn ? QLatin1String("RPN") : QLatin1String("NRPN"), Hex2(rpn ? c.rpnMsb : c.nrpnMsb),
           Hex2(rpn ? c.rpnLsb : c.nrpnLsb))
      .arg(c.value)
      .arg(channel);
}

QString ControllerPairs::Observe(uint8_t status, uint8_t data1, uint8_t data2) {
  if ((status & 0xF0) != 0xB0) return QString();
  const int channel = (status & 0x0F) + 1;
  TChannel& c = FChannels[status & 0x0F];
  const auto controller = static_cast<uint8_t>(data1 & 0x7F);
  const auto value = static_cast<int8_t>(data2 & 0x7F);
  const bool parameterChosen = c.parameter != TParameter::None;

  switch (controller) {
    case kRpnMsb:
    case kRpnLsb:
      (controller == kRpnMsb ? c.rpnMsb : c.rpnLsb) = value;
      c.parameter = c.rpnMsb == 0x7F && c.rpnLsb == 0x7F ? TParameter::None : TParameter::Rpn;
      c.value = -1;
      return QString();
    case kNrpnMsb:
    case kNrpnLsb:
      (controller == kNrpnMsb ? c.nrpnMsb : c.nrpnLsb) = value;
      c.parameter = TParameter::Nrpn;
      c.value = -1;
      return QString();
    case kResetAllControllers:
      c = TChannel{};
      return QString();
    default:
      break;
  }

  if (parameterChosen) {
    switch (controller) {
      case kDataEntry:
        c.value = 128 * value;
        return ParameterText(c, channel);
      case kDataEntryLsb:
        c.value = (c.value < 0 ? 0 : c.value & ~0x7F) | value;
        return ParameterText(c, channel);
      case kIncrement:
      case kDecrement: {
        const int step = controller == kIncrement ? 1 : -1;
        if (c.value < 0) {
          const bool rpn = c.parameter == TParameter::Rpn;
          return QStringLiteral("%1 0x%2%3 %4, canal %5")
              .arg(rpn ? QLatin1String("RPN") : QLatin1String("NRPN"), Hex2(rpn ? c.rpnMsb : c.nrpnMsb),
                   Hex2(rpn ? c.rpnLsb : c.nrpnLsb), step > 0 ? QLatin1String("+1") : QLatin1String("-1"))
              .arg(channel);
        }
        c.value = std::clamp(c.value + step, 0, 16383);
        return ParameterText(c, channel);
      }
      default:
        break;
    }
  }

  if (controller < 32) {
    c.msb[controller] = value;
  } else if (controller < 64 && c.msb[controller - 32] >= 0) {
    return QStringLiteral("CC %1/%2 = %3, canal %4")
        .arg(controller - 32)
        .arg(controller)
        .arg(128 * c.msb[controller - 32] + value)
        .arg(channel);
  }
  return QString();
}
