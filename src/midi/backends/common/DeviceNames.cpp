#include "DeviceNames.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string ClientOf(const std::string& port) { return port.substr(0, port.find(':')); }

// RtMidi ends every ALSA name with " client:port" numbers.
std::string WithoutAlsaAddress(const std::string& port) {
  const size_t space = port.rfind(' ');
  if (space == std::string::npos) return port;
  const std::string address = port.substr(space + 1);
  const size_t colon = address.find(':');
  if (colon == std::string::npos || !AllDigits(address.substr(0, colon)) ||
      !AllDigits(address.substr(colon + 1))) {
    return port;
  }
  return port.substr(0, space);
}

}  // namespace

bool IsOwnPort(PortFamily family, const std::string& portName) {
  const std::string client = ClientOf(portName);
  if (client == kOwnClientName) return true;
  if (family != PortFamily::kJack) return false;
  const std::string prefix = std::string(kOwnClientName) + "-";
  return client.starts_with(prefix) && AllDigits(client.substr(prefix.size()));
}

std::vector<std::optional<std::string>> ProductNames(PortFamily family,
                                                     const std::vector<std::string>& portNames) {
  const char* const suffix = family == PortFamily::kAlsa ? " (ALSA)" : " (JACK)";
  std::vector<std::optional<std::string>> names;
  std::map<std::string, int> seen;
  for (const std::string& port : portNames) {
    if (IsOwnPort(family, port)) {
      names.emplace_back();
      continue;
    }
    std::string name = family == PortFamily::kAlsa ? WithoutAlsaAddress(port) : port;
    if (const int count = ++seen[name]; count > 1) name += " #" + std::to_string(count);
    names.emplace_back(name + suffix);
  }
  return names;
}

std::vector<std::string> ListedProductNames(PortFamily family,
                                            const std::vector<std::string>& portNames) {
  std::vector<std::string> listed;
  for (auto& name : ProductNames(family, portNames)) {
    if (name) listed.push_back(std::move(*name));
  }
  return listed;
}

std::optional<size_t> IndexOfProduct(PortFamily family, const std::vector<std::string>& portNames,
                                     const std::string& productName) {
  const auto names = ProductNames(family, portNames);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == productName) return i;
  }
  return std::nullopt;
}
