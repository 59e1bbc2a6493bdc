// The sixteen presets: buttons, recall, storing each changed control, the
// preferences file, and the output list kept in step with the main window's.

#include "BulkFixture.h"

#include <QButtonGroup>
#include <QFile>

#include "IniFile.h"
#include "uUserPrefs.h"

namespace {

class PresetTest : public BulkFixture {
 protected:
  TSendBulkPreset& Preset(int i) { return UserPrefs.SendBulkPresets[static_cast<size_t>(i)]; }
  void Press(int caption) { bulk->PresetButtons[static_cast<size_t>(caption - 1)]->click(); }
};

TEST_F(PresetTest, SixteenExclusiveButtonsNamedAsTheTableNoneDownAtStart) {
  StartBulk();
  const int component[16] = {1, 2, 3, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 16};
  for (int tag = 0; tag < 16; ++tag) {
    QToolButton* button = bulk->PresetButtons[static_cast<size_t>(tag)];
    EXPECT_EQ(button->objectName(), QString("AdvToolButton%1").arg(component[tag]));
    EXPECT_EQ(button->text(), QString::number(tag + 1));
    EXPECT_EQ(button->property("tag").toInt(), tag);
    EXPECT_FALSE(button->isChecked());
    EXPECT_EQ(button->geometry(), QRect(16 + 24 * tag, 16, 23, 22));
  }
  EXPECT_TRUE(bulk->PresetGroup->exclusive());
  EXPECT_EQ(UserPrefs.PresetIndex, 0);

  Press(3);
  Press(7);
  EXPECT_FALSE(bulk->PresetButtons[2]->isChecked());
  EXPECT_TRUE(bulk->PresetButtons[6]->isChecked());
  Press(7);  // pressing the current one again recalls it; it stays down
  EXPECT_TRUE(bulk->PresetButtons[6]->isChecked());
  EXPECT_EQ(UserPrefs.PresetIndex, 6);
}

TEST_F(PresetTest, StartUpShowsInitialValuesAndStoresOnlyTheDeviceIntoPreset0) {
  StartBulk();
  EXPECT_EQ(Preset(0).MidiOutDevName, "Synth A");
  EXPECT_EQ(bulk->edData0Min->text(), "1");
  EXPECT_EQ(bulk->edData1Min->text(), "0x0");
  EXPECT_EQ(bulk->edData1Max->text(), "0x7F");
  EXPECT_EQ(bulk->edLoopDelay->value(), 100);
  EXPECT_TRUE(bulk->rbControlChange->isChecked());
  EXPECT_EQ(bulk->cbMIDIOut->count(), 3);
  EXPECT_EQ(bulk->cbMIDIOut->currentIndex(), window->cbMIDIOut->currentIndex());

  bulk->edLoopDelay->SetValue(321);
  EXPECT_EQ(Preset(0).LoopDelay, 321);
  EXPECT_EQ(Preset(0).Data1Max, 127);  // the default loaded, untouched
}

TEST_F(PresetTest, PressingThreeMakesPreset2CurrentAndCloseSavesItsSection) {
  StartBulk();
  Press(3);
  EXPECT_EQ(UserPrefs.PresetIndex, 2);
  bulk->edData1Min->SetValue(0x15);
  bulk->rbNote->setChecked(true);
  bulk->cbLoopInfinite->setChecked(true);
  bulk->cbMIDIOut->setCurrentIndex(2);
  EXPECT_EQ(Preset(0).Data1Min, 0);
  EXPECT_EQ(Preset(0).EventTypeIndex, 0);

  ASSERT_TRUE(window->close());
  const TIniFile ini(PrefsFileName);
  const QString section = QString::asprintf("ToolsSendBulkPreset%.2d", 2);
  EXPECT_EQ(ini.ReadString(section, "Data1Min", ""), "21");
  EXPECT_EQ(ini.ReadString(section, "EventTypeIndex", ""), "2");
  EXPECT_EQ(ini.ReadString(section, "LoopInfinite", ""), "1");
  EXPECT_EQ(ini.ReadString(section, "MidiOutDevName", ""), "Synth C");
  EXPECT_EQ(ini.ReadString("ToolsSendBulkPreset00", "Data1Min", ""), "0");
  EXPECT_EQ(ini.ReadString("ToolsSendBulkPreset00", "MidiOutDevName", ""), "Synth A");
}

TEST_F(PresetTest, RecallRestoresEveryFieldAndTheDevice) {
  StartBulk();
  Preset(4) = TSendBulkPreset{"synth b", true, false, true, 3, 9, 0x10, 0x20, 0x30, 0x40, true, 777, 2};
  const TSendBulkPreset stored = Preset(4);
  Press(5);

  EXPECT_TRUE(bulk->cbData0Loop->isChecked());
  EXPECT_FALSE(bulk->cbData1Loop->isChecked());
  EXPECT_TRUE(bulk->cbData2Loop->isChecked());
  EXPECT_TRUE(bulk->cbLoopInfinite->isChecked());
  EXPECT_EQ(bulk->edData0Min->value(), 3);
  EXPECT_EQ(bulk->edData0Max->value(), 9);
  EXPECT_EQ(bulk->edData1Min->text(), "0x10");
  EXPECT_EQ(bulk->edData1Max->text(), "0x20");
  EXPECT_EQ(bulk->edData2Min->text(), "0x30");
  EXPECT_EQ(bulk->edData2Max->text(), "0x40");
  EXPECT_EQ(bulk->edLoopDelay->value(), 777);
  EXPECT_TRUE(bulk->rbNote->isChecked());
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth B");
  EXPECT_EQ(bulk->cbMIDIOut->currentText(), "Synth B");
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth B");
  // The handlers stored the same values back; the name now as the list spells it.
  EXPECT_EQ(Preset(4).MidiOutDevName, "Synth B");
  EXPECT_EQ(Preset(4).LoopDelay, stored.LoopDelay);
  EXPECT_EQ(Preset(4).Data2Max, stored.Data2Max);
  EXPECT_EQ(Preset(4).EventTypeIndex, 2);
  // The enabling rules ran.
  EXPECT_EQ(bulk->lblData1Min->text(), "Fixe");
  EXPECT_FALSE(bulk->edData1Max->isEnabled());
  EXPECT_TRUE(bulk->edData0Max->isEnabled());
}

TEST_F(PresetTest, UnknownOrEmptyDeviceAndBadEventTypeLeaveThoseAlone) {
  StartBulk();
  bulk->cbMIDIOut->setCurrentIndex(1);
  bulk->rbProgramChange->setChecked(true);
  Preset(8) = TSendBulkPreset{"Gone", false, true, true, 1, 16, 0, 127, 0, 127, false, 100, 7};
  Preset(9) = TSendBulkPreset{};
  Press(9);
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth B");
  EXPECT_TRUE(bulk->rbProgramChange->isChecked());
  Press(10);  // never used: zero-filled
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth B");
  EXPECT_EQ(Preset(9).MidiOutDevName, "");
  bulk->cbMIDIOut->setCurrentIndex(0);
  EXPECT_EQ(Preset(9).MidiOutDevName, "Synth A");
}

TEST_F(PresetTest, PresetButtonDuringSweepStopsItAndRecallsAtOnce) {
  StartBulk();
  FixAll(1, 0, 0);
  bulk->cbLoopInfinite->setChecked(true);
  Preset(1).LoopDelay = 250;
  Preset(1).LoopInfinite = true;
  bool stoppedAtOnce = false;
  bool startWaitsForTheSweep = false;
  int delayAtPress = 0;
  sweepClock.OnWait = [&] {
    if (sweepClock.Waits.size() != 1) return;
    Press(2);
    stoppedAtOnce = !SendBulkRunning && !bulk->btnSendBulkStop->isEnabled();
    startWaitsForTheSweep = !bulk->btnSendBulkStart->isEnabled();
    delayAtPress = bulk->edLoopDelay->value();
  };
  bulk->btnSendBulkStart->click();

  EXPECT_TRUE(stoppedAtOnce);
  EXPECT_TRUE(startWaitsForTheSweep);
  EXPECT_EQ(delayAtPress, 250);
  EXPECT_EQ(MemoLines().last(), kEndLine);
  EXPECT_FALSE(SendBulkRunning);
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
}

TEST_F(PresetTest, HandEditedFileRecallsIntoTheBoxesRanges) {
  {
    TIniFile ini(prefsDir.filePath("orvalis.ini"));
    ini.WriteString("ToolsSendBulkPreset03", "Data0Min", "0");
    ini.WriteString("ToolsSendBulkPreset03", "Data0Max", "40");
    ini.WriteString("ToolsSendBulkPreset03", "Data1Max", "200");
    ini.WriteString("ToolsSendBulkPreset03", "LoopDelay", "0");
    ini.WriteString("ToolsSendBulkPreset03", "EventTypeIndex", "1");
  }
  StartBulk();
  Press(4);
  EXPECT_EQ(bulk->edData0Min->text(), "1");
  EXPECT_EQ(bulk->edData0Max->text(), "16");
  EXPECT_EQ(bulk->edData1Max->text(), "0xC8");
  EXPECT_EQ(bulk->edLoopDelay->text(), "1");
  EXPECT_TRUE(bulk->rbProgramChange->isChecked());
  EXPECT_EQ(Preset(3).Data1Max, 200);
}

TEST_F(PresetTest, ChoosingADeviceInEitherWindowWritesOnlyTheCurrentPresetsName) {
  StartBulk();
  Press(6);
  std::vector<QString> before;
  for (int i = 0; i < 16; ++i) before.push_back(Preset(i).MidiOutDevName);

  const int opens = midi->CallCount("midiOutOpen");
  bulk->cbMIDIOut->setCurrentIndex(1);
  EXPECT_EQ(midi->CallCount("midiOutOpen"), opens + 1);  // reopened once, not twice
  EXPECT_EQ(window->cbMIDIOut->currentIndex(), 1);
  EXPECT_EQ(Preset(5).MidiOutDevName, "Synth B");

  window->cbMIDIOut->setCurrentIndex(2);
  EXPECT_EQ(midi->CallCount("midiOutOpen"), opens + 2);
  EXPECT_EQ(bulk->cbMIDIOut->currentIndex(), 2);
  EXPECT_EQ(Preset(5).MidiOutDevName, "Synth C");
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth C");
  for (int i = 0; i < 16; ++i) {
    if (i != 5) {
      EXPECT_EQ(Preset(i).MidiOutDevName, before[static_cast<size_t>(i)]) << "preset " << i;
    }
  }
}

TEST_F(PresetTest, EachControlStoresOnlyItsOwnField) {
  StartBulk();
  Press(12);
  const TSendBulkPreset start = Preset(11);
  struct TCase {
    const char* name;
    std::function<void()> change;
    std::function<bool(const TSendBulkPreset&)> stored;
  };
  const std::vector<TCase> cases = {
      {"cbData0Loop", [&] { bulk->cbData0Loop->setChecked(true); }, [](auto& p) { return p.Data0Loop; }},
      {"cbData1Loop", [&] { bulk->cbData1Loop->setChecked(false); }, [](auto& p) { return !p.Data1Loop; }},
      {"cbData2Loop", [&] { bulk->cbData2Loop->setChecked(false); }, [](auto& p) { return !p.Data2Loop; }},
      {"cbLoopInfinite", [&] { bulk->cbLoopInfinite->setChecked(true); }, [](auto& p) { return p.LoopInfinite; }},
      {"edData0Min", [&] { bulk->edData0Min->SetValue(4); }, [](auto& p) { return p.Data0Min == 4; }},
      {"edData0Max", [&] { bulk->edData0Max->SetValue(5); }, [](auto& p) { return p.Data0Max == 5; }},
      {"edData1Min", [&] { bulk->edData1Min->SetValue(6); }, [](auto& p) { return p.Data1Min == 6; }},
      {"edData1Max", [&] { bulk->edData1Max->SetValue(7); }, [](auto& p) { return p.Data1Max == 7; }},
      {"edData2Min", [&] { bulk->edData2Min->SetValue(8); }, [](auto& p) { return p.Data2Min == 8; }},
      {"edData2Max", [&] { bulk->edData2Max->SetValue(9); }, [](auto& p) { return p.Data2Max == 9; }},
      {"edLoopDelay", [&] { bulk->edLoopDelay->SetValue(10); }, [](auto& p) { return p.LoopDelay == 10; }},
      {"rbProgramChange", [&] { bulk->rbProgramChange->setChecked(true); },
       [](auto& p) { return p.EventTypeIndex == 1; }},
  };
  for (const TCase& c : cases) {
    const TSendBulkPreset before = Preset(11);
    c.change();
    TSendBulkPreset after = Preset(11);
    EXPECT_TRUE(c.stored(after)) << c.name;
    // Everything else as before: put the changed field back and compare all.
    after.MidiOutDevName = before.MidiOutDevName;
    int changedFields = 0;
    changedFields += after.Data0Loop != before.Data0Loop;
    changedFields += after.Data1Loop != before.Data1Loop;
    changedFields += after.Data2Loop != before.Data2Loop;
    changedFields += after.LoopInfinite != before.LoopInfinite;
    changedFields += after.Data0Min != before.Data0Min;
    changedFields += after.Data0Max != before.Data0Max;
    changedFields += after.Data1Min != before.Data1Min;
    changedFields += after.Data1Max != before.Data1Max;
    changedFields += after.Data2Min != before.Data2Min;
    changedFields += after.Data2Max != before.Data2Max;
    changedFields += after.LoopDelay != before.LoopDelay;
    changedFields += after.EventTypeIndex != before.EventTypeIndex;
    EXPECT_EQ(changedFields, 1) << c.name;
  }
  EXPECT_EQ(Preset(11).MidiOutDevName, start.MidiOutDevName);
}

TEST_F(PresetTest, TypingStoresOnEveryChange) {
  StartBulk();
  Type(bulk->edLoopDelay, "250", false);
  EXPECT_EQ(Preset(0).LoopDelay, 250);
  Type(bulk->edData1Max, "3", false);
  EXPECT_EQ(Preset(0).Data1Max, 3);
}

}  // namespace
