// The command line of orvalis-linktest: what each accepted line sets, and the
// exact reason given for each line that is refused.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <variant>

#include "LinkTestOptions.h"

namespace {

std::variant<LinkTestOptions, QString> Parse(const QStringList& arguments) {
  return ParseLinkTestOptions(QStringList{QStringLiteral("orvalis-linktest")} + arguments);
}

const QStringList kRoute = {"--out", "Synth", "--in", "Interface"};

// The options of a run on that route with the window's defaults, then changed.
LinkTestOptions Route(const std::function<void(LinkTestOptions&)>& change = nullptr) {
  LinkTestOptions o;
  o.Output = "Synth";
  o.Input = "Interface";
  if (change) change(o);
  return o;
}

struct Accepted {
  const char* name;
  QStringList arguments;
  LinkTestOptions expected;
};

class LinkTestOptionsAccepted : public ::testing::TestWithParam<Accepted> {};

TEST_P(LinkTestOptionsAccepted, SetsWhatTheLineSays) {
  const auto parsed = Parse(GetParam().arguments);
  ASSERT_TRUE(std::holds_alternative<LinkTestOptions>(parsed)) << std::get<QString>(parsed).toStdString();
  EXPECT_EQ(std::get<LinkTestOptions>(parsed), GetParam().expected);
}

LinkTestOptions Action(LinkTestOptions::Action what, bool json = false) {
  LinkTestOptions o;
  o.What = what;
  o.Json = json;
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LinkTestOptionsAccepted,
    ::testing::Values(
        Accepted{"RouteOnlyTakesTheWindowsDefaults", kRoute, Route()},
        Accepted{"NamesWithSpacesAndEqualSigns",
                 {"--out=Midi Through:Midi Through Port-0 (ALSA)", "--in", "Orvalis Loopback"},
                 Route([](LinkTestOptions& o) {
                   o.Output = "Midi Through:Midi Through Port-0 (ALSA)";
                   o.Input = "Orvalis Loopback";
                 })},
        Accepted{"ControlChanges", kRoute + QStringList{"--kind", "cc"},
                 Route([](LinkTestOptions& o) { o.Settings.Kind = LinkMessageKind::ControlChange; })},
        Accepted{"SysexOfAGivenLength", kRoute + QStringList{"--kind", "sysex", "--sysex-length", "65000"},
                 Route([](LinkTestOptions& o) {
                   o.Settings.Kind = LinkMessageKind::Sysex;
                   o.Settings.SysexLength = 65000;
                 })},
        Accepted{"EveryNumberAtItsLowest",
                 kRoute + QStringList{"--kind", "sysex", "--sysex-length", "6", "--count", "1", "--rate", "1",
                                      "--timeout", "1", "--warmup", "0", "--seed", "0"},
                 Route([](LinkTestOptions& o) {
                   o.Settings.Kind = LinkMessageKind::Sysex;
                   o.Settings.SysexLength = 6;
                   o.Settings.Count = 1;
                   o.Settings.RatePerSecond = 1;
                   o.Settings.TimeoutMs = 1;
                   o.Settings.WarmUp = 0;
                   o.Seed = 0;
                 })},
        Accepted{"EveryNumberAtItsHighest",
                 kRoute + QStringList{"--count", "1000000", "--rate", "10000", "--timeout", "60000", "--warmup",
                                      "100000", "--seed", "18446744073709551615"},
                 Route([](LinkTestOptions& o) {
                   o.Settings.Count = 1000000;
                   o.Settings.RatePerSecond = 10000;
                   o.Settings.TimeoutMs = 60000;
                   o.Settings.WarmUp = 100000;
                   o.Seed = UINT64_MAX;
                 })},
        Accepted{"OneAtATimeEvenlyWithCsvAndJson",
                 kRoute + QStringList{"--one-at-a-time", "--even", "--csv", "out/run.csv", "--json"},
                 Route([](LinkTestOptions& o) {
                   o.Settings.OneInFlight = true;
                   o.Settings.RandomMoments = false;
                   o.CsvPath = "out/run.csv";
                   o.Json = true;
                 })},
        Accepted{"AnOptionGivenTwiceTakesItsLastValue", kRoute + QStringList{"--count", "5", "--count", "7"},
                 Route([](LinkTestOptions& o) { o.Settings.Count = 7; })},
        Accepted{"List", {"--list"}, Action(LinkTestOptions::Action::List)},
        Accepted{"ListAsJson", {"--json", "--list"}, Action(LinkTestOptions::Action::List, true)},
        Accepted{"HelpWinsOverEverythingElse", {"--count", "0", "--help"}, Action(LinkTestOptions::Action::Help)},
        Accepted{"ShortHelp", {"-h"}, Action(LinkTestOptions::Action::Help)},
        Accepted{"Version", {"--version"}, Action(LinkTestOptions::Action::Version)}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refused {
  const char* name;
  QStringList arguments;
  const char* reason;
};

class LinkTestOptionsRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(LinkTestOptionsRefused, SaysWhy) {
  const auto parsed = Parse(GetParam().arguments);
  ASSERT_TRUE(std::holds_alternative<QString>(parsed));
  EXPECT_EQ(std::get<QString>(parsed).toStdString(), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LinkTestOptionsRefused,
    ::testing::Values(
        Refused{"Nothing", {}, "a test needs --out NAME and --in NAME (--list shows the names)"},
        Refused{"NoInput", {"--out", "Synth"}, "a test needs --out NAME and --in NAME (--list shows the names)"},
        Refused{"EmptyOutputName", {"--out", "", "--in", "Interface"}, "--out needs a device name (--list shows the names)"},
        Refused{"EmptyInputName", {"--out", "Synth", "--in="}, "--in needs a device name (--list shows the names)"},
        Refused{"UnknownOption", kRoute + QStringList{"--cuont", "5"}, "Unknown option 'cuont'."},
        Refused{"MissingValue", {"--in", "Interface", "--out"}, "Missing value after '--out'."},
        Refused{"StrayArgument", kRoute + QStringList{"1000"}, "unexpected argument \"1000\""},
        Refused{"UnknownKind", kRoute + QStringList{"--kind", "Note"}, "--kind is note, cc or sysex, not \"Note\""},
        Refused{"CountOfZero", kRoute + QStringList{"--count", "0"},
                "--count takes a whole number from 1 to 1000000, not \"0\""},
        Refused{"CountTooHigh", kRoute + QStringList{"--count", "1000001"},
                "--count takes a whole number from 1 to 1000000, not \"1000001\""},
        Refused{"NegativeCount", kRoute + QStringList{"--count=-5"},
                "--count takes a whole number from 1 to 1000000, not \"-5\""},
        Refused{"SignedCount", kRoute + QStringList{"--count", "+5"},
                "--count takes a whole number from 1 to 1000000, not \"+5\""},
        Refused{"CountWithSpace", kRoute + QStringList{"--count", " 5"},
                "--count takes a whole number from 1 to 1000000, not \" 5\""},
        Refused{"CountInHex", kRoute + QStringList{"--count", "0x10"},
                "--count takes a whole number from 1 to 1000000, not \"0x10\""},
        Refused{"CountBeyondSixtyFourBits", kRoute + QStringList{"--count", "99999999999999999999"},
                "--count takes a whole number from 1 to 1000000, not \"99999999999999999999\""},
        Refused{"RateOfZero", kRoute + QStringList{"--rate", "0"},
                "--rate takes a whole number from 1 to 10000, not \"0\""},
        Refused{"FractionalRate", kRoute + QStringList{"--rate", "1.5"},
                "--rate takes a whole number from 1 to 10000, not \"1.5\""},
        Refused{"TimeoutTooLong", kRoute + QStringList{"--timeout", "60001"},
                "--timeout takes a whole number from 1 to 60000, not \"60001\""},
        Refused{"WarmUpTooLong", kRoute + QStringList{"--warmup", "100001"},
                "--warmup takes a whole number from 0 to 100000, not \"100001\""},
        Refused{"SysexTooShort", kRoute + QStringList{"--kind", "sysex", "--sysex-length", "5"},
                "--sysex-length takes a whole number from 6 to 65000, not \"5\""},
        Refused{"SysexLengthWithoutSysex", kRoute + QStringList{"--sysex-length", "100"},
                "--sysex-length goes with --kind sysex"},
        Refused{"RateAndOneAtATime", kRoute + QStringList{"--rate", "10", "--one-at-a-time"},
                "--rate and --one-at-a-time do not go together"},
        Refused{"SeedBeyondSixtyFourBits", kRoute + QStringList{"--seed", "18446744073709551616"},
                "--seed takes a whole number from 0 to 18446744073709551615, not \"18446744073709551616\""},
        Refused{"EmptyCsvName", kRoute + QStringList{"--csv", ""}, "--csv needs a file name"},
        Refused{"ListWithARoute", {"--list", "--out", "Synth"}, "--list does not go with --out"},
        Refused{"ListWithACount", {"--list", "--count", "5"}, "--list does not go with --count"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkTestUsage, NamesEveryOptionAndTheExitStatuses) {
  const QString usage = LinkTestUsage();
  for (const char* option : {"--list", "--out NAME", "--in NAME", "--kind", "--sysex-length", "--count", "--rate",
                             "--one-at-a-time", "--even", "--seed", "--timeout", "--warmup", "--csv", "--json",
                             "--help", "--version", "Exit status: 0"}) {
    EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
  }
}

}  // namespace
