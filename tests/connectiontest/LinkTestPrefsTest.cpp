// The connection test's section of the preferences file.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "IniFile.h"
#include "LinkTestPrefs.h"

namespace {

class LinkTestPrefsTest : public ::testing::Test {
 protected:
  QByteArray ReadAll() const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  QTemporaryDir folder;
  QString path = folder.filePath("orvalis.ini");
};

TEST_F(LinkTestPrefsTest, WithoutAFileOrASectionEverythingHasItsDefault) {
  EXPECT_EQ(LinkTestPrefs::Load(QString()), LinkTestPrefs{});
  const LinkTestPrefs defaults = LinkTestPrefs::Load(path);
  EXPECT_EQ(defaults.Settings.Kind, LinkMessageKind::NoteOnOff);
  EXPECT_EQ(defaults.Settings.Count, 1000);
  EXPECT_EQ(defaults.Settings.RatePerSecond, 100);
  EXPECT_FALSE(defaults.Settings.OneInFlight);
  EXPECT_EQ(defaults.Settings.TimeoutMs, 1000);
  EXPECT_EQ(defaults.Settings.SysexLength, 128);
  EXPECT_EQ(defaults.Settings.WarmUp, 10);
  EXPECT_TRUE(defaults.Settings.RandomMoments);
  EXPECT_EQ(defaults.CsvFolder, "");
}

TEST_F(LinkTestPrefsTest, SavedValuesComeBackInTheirOwnSectionAndTheRestStays) {
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[MidiDevice]\nMidiInDevName=Keyboard\n");
  }
  LinkTestPrefs prefs;
  prefs.Settings.Kind = LinkMessageKind::Sysex;
  prefs.Settings.SysexLength = 65000;
  prefs.Settings.Count = 1000000;
  prefs.Settings.RatePerSecond = 250;
  prefs.Settings.OneInFlight = true;
  prefs.Settings.TimeoutMs = 60000;
  prefs.Settings.WarmUp = 0;
  prefs.Settings.RandomMoments = false;
  prefs.CsvFolder = QString::fromUtf8("/home/user/mesures é");
  prefs.Save(path);
  EXPECT_EQ(LinkTestPrefs::Load(path), prefs);
  EXPECT_EQ(ReadAll(), QByteArray("[MidiDevice]\nMidiInDevName=Keyboard\n"
                                  "[LinkTest]\nMessageKind=2\nSysexLength=65000\nMessageCount=1000000\n"
                                  "MessagesPerSecond=250\nOneInFlight=1\nTimeoutMs=60000\nWarmUp=0\nRandomMoments=0\n"
                                  "CsvFolder=/home/user/mesures \xC3\xA9\n"));
}

struct StoredCase {
  const char* name;
  const char* key;
  const char* stored;
  LinkTestSettings expected;
};

LinkTestSettings With(void (*change)(LinkTestSettings&)) {
  LinkTestSettings s;
  change(s);
  return s;
}

class LinkTestPrefsValue : public LinkTestPrefsTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(LinkTestPrefsValue, IsBroughtIntoItsRangeOrGivesTheDefault) {
  TIniFile(path).WriteString("LinkTest", GetParam().key, GetParam().stored);
  EXPECT_EQ(LinkTestPrefs::Load(path).Settings, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LinkTestPrefsValue,
    ::testing::Values(
        StoredCase{"KindControlChange", "MessageKind", "1", With([](LinkTestSettings& s) { s.Kind = LinkMessageKind::ControlChange; })},
        StoredCase{"UnknownKind", "MessageKind", "7", LinkTestSettings{}},
        StoredCase{"NegativeKind", "MessageKind", "-1", LinkTestSettings{}},
        StoredCase{"SysexTooShort", "SysexLength", "2", With([](LinkTestSettings& s) { s.SysexLength = 6; })},
        StoredCase{"SysexTooLong", "SysexLength", "70000", With([](LinkTestSettings& s) { s.SysexLength = 65000; })},
        StoredCase{"NoMessages", "MessageCount", "0", With([](LinkTestSettings& s) { s.Count = 1; })},
        StoredCase{"TooManyMessages", "MessageCount", "2000000", With([](LinkTestSettings& s) { s.Count = 1000000; })},
        StoredCase{"RateTooHigh", "MessagesPerSecond", "50000", With([](LinkTestSettings& s) { s.RatePerSecond = 10000; })},
        StoredCase{"AnyNonZeroIsOneInFlight", "OneInFlight", "5", With([](LinkTestSettings& s) { s.OneInFlight = true; })},
        StoredCase{"WarmUpTooHigh", "WarmUp", "2000000", With([](LinkTestSettings& s) { s.WarmUp = LinkTestSettings::MaxWarmUp; })},
        StoredCase{"NegativeWarmUp", "WarmUp", "-3", With([](LinkTestSettings& s) { s.WarmUp = 0; })},
        StoredCase{"EvenMoments", "RandomMoments", "0", With([](LinkTestSettings& s) { s.RandomMoments = false; })},
        StoredCase{"NoTimeOut", "TimeoutMs", "0", With([](LinkTestSettings& s) { s.TimeoutMs = 1; })},
        StoredCase{"CountNotANumber", "MessageCount", "mille", LinkTestSettings{}},
        StoredCase{"RateEmpty", "MessagesPerSecond", "", LinkTestSettings{}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
