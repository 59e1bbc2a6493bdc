#include "TempoDisplay.h"

#include <QAccessible>
#include <QLocale>
#include <QTimer>

#include <chrono>

#include "MidiType.h"

namespace {

uint64_t SteadyNowUs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

const char* TransportName(uint8_t status) {
  switch (status) {
    case 0xFA: return "Start";
    case 0xFB: return "Continue";
    case 0xFC: return "Stop";
    default: return nullptr;
  }
}

}  // namespace

QString TempoText(double value, int decimals) {
  static const QLocale french = [] {
    QLocale locale(QLocale::French, QLocale::France);
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
  }();
  return french.toString(value, 'f', decimals);
}

TempoDisplay::TempoDisplay(QWidget* parent) : QLabel(parent), NowUs(SteadyNowUs), FTimer(new QTimer(this)) {
  setAccessibleName(QStringLiteral("Tempo de l'horloge reçue"));
  setTextFormat(Qt::PlainText);
  FTimer->setInterval(RefreshMs);
  connect(FTimer, &QTimer::timeout, this, &TempoDisplay::Refresh);
  hide();
}

void TempoDisplay::Observe(const TMyMidiEvent& event) {
  if (!FActive) return;
  switch (event.MidiMessage) {
    case 0xF8:
      FTempo.Clock(event.TimeUs != 0 ? event.TimeUs : NowUs());
      if (!FTimer->isActive()) {
        FTimer->start();
        Refresh();
      }
      break;
    case 0xFA:
    case 0xFB:
    case 0xFC:
      FTempo.Transport(event.MidiMessage);
      break;
    default:
      break;
  }
}

void TempoDisplay::SetActive(bool active) {
  FActive = active;
  if (!active) FTempo.Reset();
  Refresh();
}

void TempoDisplay::Refresh() {
  const std::optional<ClockTempo::Reading> reading = FActive ? FTempo.Read(NowUs()) : std::nullopt;
  if (!reading) {
    FTimer->stop();
    if (FShown) {
      FShown.reset();
      hide();
    }
    return;
  }
  const bool appeared = !FShown;
  const bool bpmChanged = appeared || TempoText(FShown->Bpm, 1) != TempoText(reading->Bpm, 1);
  FShown = reading;
  QString second = QStringLiteral("±%1 ms").arg(TempoText(reading->SpreadMs, 1));
  if (const char* transport = TransportName(FTempo.TransportStatus())) {
    second += QStringLiteral(" · ") + QLatin1String(transport);
  }
  const QString shown = QStringLiteral("Horloge %1 BPM\n%2").arg(TempoText(reading->Bpm, 1), second);
  if (shown != text()) setText(shown);
  if (appeared) show();
  // Told when the tempo as shown changes, not at every reading.
  if (bpmChanged) {
    QAccessibleValueChangeEvent event(this, reading->Bpm);
    QAccessible::updateAccessibility(&event);
  }
}
