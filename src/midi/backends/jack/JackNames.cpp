#include "JackNames.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "backends/common/DeviceNames.h"

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

bool IsOwnJackPort(const std::string& portName) {
  const size_t colon = portName.find(':');
  const std::string client = portName.substr(0, colon);
  if (client == kOwnClientName) return true;
  // PipeWire's bridge of the ALSA sequencer names each ALSA port
  // "<bridge>:<ALSA client>:(capture_N) <port>": the program's own ALSA ports
  // come back that way.
  if (colon != std::string::npos &&
      std::string_view(portName).substr(colon + 1).starts_with(std::string(kOwnClientName) + ":(")) {
    return true;
  }
  const std::string prefix = std::string(kOwnClientName) + "-";
  return client.starts_with(prefix) && AllDigits(client.substr(prefix.size()));
}

std::vector<std::optional<std::string>> JackProductNames(const std::vector<std::string>& portNames) {
  std::vector<std::optional<std::string>> names;
  for (const std::string& port : portNames) {
    if (IsOwnJackPort(port)) {
      names.emplace_back();
    } else {
      names.emplace_back(port + " (JACK)");
    }
  }
  return names;
}

std::vector<std::string> ListedJackProductNames(const std::vector<std::string>& portNames) {
  std::vector<std::string> listed;
  for (auto& name : JackProductNames(portNames)) {
    if (name) listed.push_back(std::move(*name));
  }
  return listed;
}

std::optional<size_t> IndexOfJackProduct(const std::vector<std::string>& portNames,
                                         const std::string& productName) {
  const auto names = JackProductNames(portNames);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == productName) return i;
  }
  return std::nullopt;
}
