#include "LinkTestOptions.h"

#include <QCommandLineParser>

#include <limits>

namespace {

// A plain decimal (digits only) from `lowest` to `highest`; none otherwise.
std::optional<uint64_t> Decimal(const QString& text, uint64_t lowest, uint64_t highest) {
  if (text.isEmpty() || text.size() > 20) return std::nullopt;
  for (const QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
  }
  bool ok = false;
  const qulonglong value = text.toULongLong(&ok);
  if (!ok || value < lowest || value > highest) return std::nullopt;
  return value;
}

QString RangeError(const QString& option, int lowest, int highest, const QString& given) {
  return QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"")
      .arg(option)
      .arg(lowest)
      .arg(highest)
      .arg(given);
}

}  // namespace

std::variant<LinkTestOptions, QString> ParseLinkTestOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const auto flag = [&](const char* name) { parser.addOption(QCommandLineOption(QString::fromLatin1(name))); };
  const auto valued = [&](const char* name, const char* valueName) {
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QString::fromLatin1(valueName)));
  };
  parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
  flag("version");
  flag("list");
  flag("json");
  valued("out", "name");
  valued("in", "name");
  valued("kind", "kind");
  valued("sysex-length", "bytes");
  valued("count", "messages");
  valued("rate", "per-second");
  flag("one-at-a-time");
  flag("even");
  valued("seed", "number");
  valued("timeout", "ms");
  valued("warmup", "answers");
  valued("csv", "file");

  if (!parser.parse(arguments)) return parser.errorText();
  if (!parser.positionalArguments().isEmpty()) {
    return QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
  }

  LinkTestOptions options;
  if (parser.isSet(QStringLiteral("help"))) {
    options.What = LinkTestOptions::Action::Help;
    return options;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    options.What = LinkTestOptions::Action::Version;
    return options;
  }
  options.Json = parser.isSet(QStringLiteral("json"));
  const QStringList runOptions = {QStringLiteral("out"),     QStringLiteral("in"),      QStringLiteral("kind"),
                                  QStringLiteral("sysex-length"), QStringLiteral("count"), QStringLiteral("rate"),
                                  QStringLiteral("one-at-a-time"), QStringLiteral("even"), QStringLiteral("seed"),
                                  QStringLiteral("timeout"), QStringLiteral("warmup"),  QStringLiteral("csv")};
  if (parser.isSet(QStringLiteral("list"))) {
    for (const QString& name : runOptions) {
      if (parser.isSet(name)) return QStringLiteral("--list does not go with --%1").arg(name);
    }
    options.What = LinkTestOptions::Action::List;
    return options;
  }

  options.Output = parser.value(QStringLiteral("out"));
  options.Input = parser.value(QStringLiteral("in"));
  if (!parser.isSet(QStringLiteral("out")) || !parser.isSet(QStringLiteral("in"))) {
    return QStringLiteral("a test needs --out NAME and --in NAME (--list shows the names)");
  }
  if (options.Output.isEmpty() || options.Input.isEmpty()) {
    return QStringLiteral("--%1 needs a device name (--list shows the names)")
        .arg(options.Output.isEmpty() ? QStringLiteral("out") : QStringLiteral("in"));
  }

  LinkTestSettings& s = options.Settings;
  if (parser.isSet(QStringLiteral("kind"))) {
    const QString kind = parser.value(QStringLiteral("kind"));
    if (kind == QLatin1String("note")) {
      s.Kind = LinkMessageKind::NoteOnOff;
    } else if (kind == QLatin1String("cc")) {
      s.Kind = LinkMessageKind::ControlChange;
    } else if (kind == QLatin1String("sysex")) {
      s.Kind = LinkMessageKind::Sysex;
    } else {
      return QStringLiteral("--kind is note, cc or sysex, not \"%1\"").arg(kind);
    }
  }

  // Each whole-number option into its field, within its range.
  struct Whole {
    const char* name;
    int lowest;
    int highest;
    int* field;
  };
  const Whole wholes[] = {
      {"sysex-length", LinkTestSettings::MinSysexLength, LinkTestSettings::MaxSysexLength, &s.SysexLength},
      {"count", LinkTestSettings::MinCount, LinkTestSettings::MaxCount, &s.Count},
      {"rate", LinkTestSettings::MinRate, LinkTestSettings::MaxRate, &s.RatePerSecond},
      {"timeout", LinkTestSettings::MinTimeoutMs, LinkTestSettings::MaxTimeoutMs, &s.TimeoutMs},
      {"warmup", 0, LinkTestSettings::MaxWarmUp, &s.WarmUp},
  };
  for (const Whole& whole : wholes) {
    const QString name = QString::fromLatin1(whole.name);
    if (!parser.isSet(name)) continue;
    const QString text = parser.value(name);
    const auto value = Decimal(text, static_cast<uint64_t>(whole.lowest), static_cast<uint64_t>(whole.highest));
    if (!value) return RangeError(name, whole.lowest, whole.highest, text);
    *whole.field = static_cast<int>(*value);
  }
  if (parser.isSet(QStringLiteral("sysex-length")) && s.Kind != LinkMessageKind::Sysex) {
    return QStringLiteral("--sysex-length goes with --kind sysex");
  }
  s.OneInFlight = parser.isSet(QStringLiteral("one-at-a-time"));
  if (s.OneInFlight && parser.isSet(QStringLiteral("rate"))) {
    return QStringLiteral("--rate and --one-at-a-time do not go together");
  }
  s.RandomMoments = !parser.isSet(QStringLiteral("even"));

  if (parser.isSet(QStringLiteral("seed"))) {
    const QString text = parser.value(QStringLiteral("seed"));
    options.Seed = Decimal(text, 0, std::numeric_limits<uint64_t>::max());
    if (!options.Seed) return QStringLiteral("--seed takes a whole number from 0 to 18446744073709551615, not \"%1\"").arg(text);
  }
  if (parser.isSet(QStringLiteral("csv"))) {
    options.CsvPath = parser.value(QStringLiteral("csv"));
    if (options.CsvPath.isEmpty()) return QStringLiteral("--csv needs a file name");
  }
  return options;
}

QString LinkTestUsage() {
  return QStringLiteral(
      "Usage: orvalis-linktest --list [--json]\n"
      "       orvalis-linktest --out NAME --in NAME [options]\n"
      "\n"
      "Sends numbered MIDI messages to the output NAME, expects each one back on\n"
      "the input NAME (a cable, a MIDI thru, an echoing program), and reports what\n"
      "came back and the round-trip latency.\n"
      "\n"
      "  --list                 list the MIDI outputs and inputs, named as in Orvalis\n"
      "  --out NAME             the output the messages leave by\n"
      "  --in NAME              the input they come back on\n"
      "  --kind KIND            note (Note On / Note Off, the default), cc (Control\n"
      "                         Change) or sysex\n"
      "  --sysex-length N       bytes of each SysEx, F0 and F7 included (6 to 65000;\n"
      "                         128)\n"
      "  --count N              messages to send (1 to 1000000; 1000)\n"
      "  --rate N               messages per second (1 to 10000; 100)\n"
      "  --one-at-a-time        send each message once the one before came back or\n"
      "                         was given up, instead of at a rate\n"
      "  --even                 send at even intervals (by default each message\n"
      "                         leaves at a random moment of its share of the pace)\n"
      "  --seed N               the random moments of an earlier run, again\n"
      "  --timeout MS           how long to wait for each answer (1 to 60000; 1000)\n"
      "  --warmup N             first answers left out of the latency figures (still\n"
      "                         counted as received; 0 to 100000; 10)\n"
      "  --csv FILE             also write every message's figures to FILE\n"
      "  --json                 print one JSON object instead of text\n"
      "  -h, --help             print this help\n"
      "  --version              print the version\n"
      "\n"
      "Latencies are in milliseconds (microseconds in JSON), from the moment a\n"
      "message left the output to the moment the input's driver received it.\n"
      "\n"
      "Exit status: 0 when every message came back intact and in order; 1 when a\n"
      "message was lost, changed, doubled or came out of order; 2 for a bad\n"
      "argument, a device that cannot be opened or goes away, or a file that\n"
      "cannot be written.\n");
}
