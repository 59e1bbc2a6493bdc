#include "DisplayAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <cmath>

#include "TempoDisplay.h"

namespace {

class TAccessibleTempo : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit TAccessibleTempo(TempoDisplay* tempo) : QAccessibleWidget(tempo, QAccessible::StaticText) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  QString text(QAccessible::Text t) const override {
    const std::optional<ClockTempo::Reading> shown = Tempo()->Shown();
    switch (t) {
      case QAccessible::Value:
        return shown ? QStringLiteral("%1 BPM").arg(TempoText(shown->Bpm, 1)) : QStringLiteral("pas d'horloge");
      case QAccessible::Description: {
        if (!shown) return QStringLiteral("pas d'horloge");
        QString description = QStringLiteral("régularité ±%1 ms").arg(TempoText(shown->SpreadMs, 1));
        switch (Tempo()->TransportShown()) {
          case 0xFA: description += QStringLiteral(", Start"); break;
          case 0xFB: description += QStringLiteral(", Continue"); break;
          case 0xFC: description += QStringLiteral(", Stop"); break;
          default: break;
        }
        return description;
      }
      default:
        return QAccessibleWidget::text(t);
    }
  }

  QVariant currentValue() const override {
    const std::optional<ClockTempo::Reading> shown = Tempo()->Shown();
    return shown ? QVariant(std::round(shown->Bpm * 10) / 10) : QVariant(0.0);
  }
  void setCurrentValue(const QVariant&) override {}  // shows a measure; not set from outside
  QVariant maximumValue() const override { return QVariant(1000.0); }
  QVariant minimumValue() const override { return QVariant(0.0); }
  QVariant minimumStepSize() const override { return QVariant(0.1); }

 private:
  const TempoDisplay* Tempo() const { return static_cast<const TempoDisplay*>(widget()); }
};

QAccessibleInterface* CreateInterface(const QString&, QObject* object) {
  if (auto* tempo = qobject_cast<TempoDisplay*>(object)) return new TAccessibleTempo(tempo);
  return nullptr;
}

}  // namespace

void DisplayAccessibility_Install() {
  static const bool installed = [] {
    QAccessible::installFactory(CreateInterface);
    return true;
  }();
  (void)installed;
}
