#pragma once

#include <QStatusBar>

#include <vector>

class QLabel;

// A status bar made of fixed-width text panels, from the left.
class TStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  TStatusBar(QWidget* parent, std::initializer_list<int> panelWidths);

  int PanelCount() const { return static_cast<int>(FPanels.size()); }
  QString PanelText(int index) const;
  void SetPanelText(int index, const QString& text);

 private:
  std::vector<QLabel*> FPanels;  // owned by the bar
};
