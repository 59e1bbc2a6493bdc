#pragma once
// The command line of orvalis-linktest, read into a plain value, or the
// reason it cannot be (an English sentence, without the program's name).
//
//   orvalis-linktest --list [--json]
//   orvalis-linktest --out NAME --in NAME [--kind note|cc|sysex] [--sysex-length N]
//                    [--count N] [--rate N | --one-at-a-time] [--even] [--seed N]
//                    [--timeout MS] [--warmup N] [--csv FILE] [--json]
//   orvalis-linktest --help | --version
//
// Every number is a plain decimal within the range that the window offers
// (LinkTestSettings); an option given twice takes its last value. Any thread.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>

#include "LinkTestSettings.h"

struct LinkTestOptions {
  enum class Action { Run, List, Help, Version };

  Action What = Action::Run;
  QString Output;  // device names, as --list shows them
  QString Input;
  LinkTestSettings Settings;  // the window's defaults unless told
  std::optional<uint64_t> Seed;  // of the random moments; a new one each run unless given
  QString CsvPath;  // empty: no CSV
  bool Json = false;

  friend bool operator==(const LinkTestOptions&, const LinkTestOptions&) = default;
};

// `arguments` as QCoreApplication::arguments() gives them, the program first.
std::variant<LinkTestOptions, QString> ParseLinkTestOptions(const QStringList& arguments);

// The text of --help.
QString LinkTestUsage();
