// The display options in the preferences file.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "DisplayPrefs.h"
#include "IniFile.h"

namespace {

QString Write(const QTemporaryDir& dir, const QByteArray& content) {
  const QString path = dir.filePath("orvalis.ini");
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
  return path;
}

TEST(DisplayPrefsTest, WithoutFileOrSectionEverythingIsAtItsDefault) {
  QTemporaryDir dir;
  const DisplayPrefs defaults;
  EXPECT_FALSE(defaults.Filter.Active());
  EXPECT_FALSE(defaults.Details.Any());
  EXPECT_FALSE(defaults.ControllerPairs);
  EXPECT_TRUE(defaults.ClockTempo);
  EXPECT_EQ(defaults.Details.MiddleCOctave, 4);
  EXPECT_EQ(DisplayPrefs::Load(QString()), defaults);
  EXPECT_EQ(DisplayPrefs::Load(dir.filePath("none.ini")), defaults);
  EXPECT_EQ(DisplayPrefs::Load(Write(dir, "[Log]\nLogItemMax=10\n")), defaults);
}

TEST(DisplayPrefsTest, WhatIsSavedLoadsBackAndTheOtherKeysStay) {
  QTemporaryDir dir;
  const QString path = Write(dir, "[Log]\nLogItemMax=10\n[Mine]\nKey=kept\n");
  DisplayPrefs prefs;
  prefs.Filter.SetKindHidden(MessageKind::Clock, true);
  prefs.Filter.SetKindHidden(MessageKind::ActiveSensing, true);
  prefs.Filter.SetChannelHidden(10, true);
  prefs.Filter.SetChannelHidden(16, true);
  prefs.Filter.HideOut = true;
  prefs.Details.Decimal = prefs.Details.NoteName = prefs.Details.ProgramNumber = true;
  prefs.Details.MiddleCOctave = 3;
  prefs.ControllerPairs = true;
  prefs.ClockTempo = false;
  prefs.Save(path);
  EXPECT_EQ(DisplayPrefs::Load(path), prefs);

  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Display", "HiddenKinds", {}), "clock,activesensing");
  EXPECT_EQ(ini.ReadString("Display", "HiddenChannels", {}), "10,16");
  EXPECT_EQ(ini.ReadString("Display", "MiddleC", {}), "3");
  EXPECT_EQ(ini.ReadString("Log", "LogItemMax", {}), "10");
  EXPECT_EQ(ini.ReadString("Mine", "Key", {}), "kept");
}

TEST(DisplayPrefsTest, UnreadableValuesGiveTheirDefaults) {
  QTemporaryDir dir;
  const DisplayPrefs prefs = DisplayPrefs::Load(
      Write(dir, "[Display]\nHiddenKinds=Clock, nonsense,,note\nHiddenChannels=0,3,x,17\nDecimal=yes\n"
                 "MiddleC=5\nClockTempo=\nControllerPairs=2\n"));
  LogFilter expected;
  expected.SetKindHidden(MessageKind::Clock, true);
  expected.SetKindHidden(MessageKind::Note, true);
  expected.SetChannelHidden(3, true);
  EXPECT_EQ(prefs.Filter, expected);
  EXPECT_FALSE(prefs.Details.Decimal);
  EXPECT_EQ(prefs.Details.MiddleCOctave, 4);
  EXPECT_TRUE(prefs.ClockTempo);
  EXPECT_TRUE(prefs.ControllerPairs);
}

}  // namespace
