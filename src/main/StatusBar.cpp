#include "StatusBar.h"

#include <QLabel>

TStatusBar::TStatusBar(QWidget* parent, std::initializer_list<int> panelWidths) : QStatusBar(parent) {
  setSizeGripEnabled(true);
  int remaining = static_cast<int>(panelWidths.size());
  for (int width : panelWidths) {
    auto* panel = new QLabel(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    // The last panel may be wider than the window; it shrinks with it instead
    // of widening the window.
    if (--remaining > 0) {
      panel->setFixedWidth(width);
      addWidget(panel);
    } else {
      panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
      panel->setMaximumWidth(width);
      addWidget(panel, 1);
    }
    FPanels.push_back(panel);
  }
}

QString TStatusBar::PanelText(int index) const { return FPanels.at(index)->text(); }

void TStatusBar::SetPanelText(int index, const QString& text) { FPanels.at(index)->setText(text); }
