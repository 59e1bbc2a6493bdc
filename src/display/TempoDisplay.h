#pragma once
// The receive section's reading of an incoming MIDI clock: "Horloge 120,0 BPM"
// and, below, its steadiness and the transport state ("±0,3 ms · Start"),
// shown while timing clock arrives and hidden otherwise. Updated a few times
// a second from a ClockTempo fed with every received message, whatever the
// log shows. Assistive technology reads the tempo as a value (in BPM).
//
// User-interface thread only; owned by its Qt parent (the receive panel).

#include <QLabel>

#include <cstdint>
#include <functional>
#include <optional>

#include "ClockTempo.h"

class QTimer;
struct TMyMidiEvent;

class TempoDisplay : public QLabel {
  Q_OBJECT

 public:
  static constexpr int RefreshMs = 250;

  explicit TempoDisplay(QWidget* parent);

  // Every message received (timing clock, Start, Stop, Continue are used).
  void Observe(const TMyMidiEvent& event);
  // Off: nothing shown and nothing measured.
  void SetActive(bool active);
  bool Active() const { return FActive; }
  // Shows the current reading (the timer does it a few times a second).
  void Refresh();

  // The tempo shown, none while hidden.
  std::optional<ClockTempo::Reading> Shown() const { return FShown; }
  uint8_t TransportShown() const { return FShown ? FTempo.TransportStatus() : 0; }

  // Now, in microseconds of the steady clock (the clock of the messages'
  // times); tests replace it.
  std::function<uint64_t()> NowUs;

 private:
  ClockTempo FTempo;
  QTimer* FTimer;
  bool FActive = true;
  std::optional<ClockTempo::Reading> FShown;
};

// "120,0" with the French decimal comma.
QString TempoText(double value, int decimals);
