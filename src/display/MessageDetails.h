#pragma once
// What the log can add to a message's line, each part on or off: the data
// bytes in decimal, the channel counted 1 to 16, the note's name (middle C,
// note 60, as C4 or as C3), the controller's name, the program counted 1 to
// 128. For instance "canal 1, note 60, C4, vel. 64" for 90 3C 40 with all of
// them. The texts are plain ASCII, as the line formats are: the log lays such
// lines out and draws them from the font's glyphs, without the text engine
// (LogView.h), which keeps a flood of detailed lines cheap. Any thread;
// nothing is shared.

#include <QString>

#include <cstdint>

struct DetailOptions {
  bool Decimal = false;
  bool Channel = false;
  bool NoteName = false;
  bool ControllerName = false;
  bool ProgramNumber = false;
  int MiddleCOctave = 4;  // the octave that note 60 is named in: 4 (C4) or 3 (C3)

  bool Any() const { return Decimal || Channel || NoteName || ControllerName || ProgramNumber; }
  friend bool operator==(const DetailOptions&, const DetailOptions&) = default;
};

// The chosen details of a message (its status byte and up to two data
// bytes), parts separated by ", "; empty when none applies (a system-exclusive
// message has none).
QString MessageDetails(uint8_t status, uint8_t data1, uint8_t data2, const DetailOptions& options);

// "C4", "C#4", "C-1": a note by name and octave, note 60 in middleCOctave.
QString NoteName(uint8_t note, int middleCOctave);

// The name of a defined controller ("Volume", "Sustain Pedal", "Volume LSB"),
// nullptr for an undefined one.
const char* ControllerName(uint8_t controller);
