#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TScrollText;

// The about box: program name, description, version fields and a scrolling
// list of acknowledgements. Created by the main window for one modal showing
// and destroyed afterwards. The scrolling runs while the box is open: it starts
// at creation and stops however the box is closed (OK, Enter, Escape, the
// window's close button). Controls are owned by the dialog.
class TfmAbout : public QDialog {
  Q_OBJECT

public:
  explicit TfmAbout(QWidget* owner = nullptr);

  QLabel* ProgramIcon = nullptr;
  QLabel* RTFLabel1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* lblCopyright = nullptr;
  QLabel* lblComments = nullptr;
  QLabel* lblThanks = nullptr;
  TScrollText* JvScrollText1 = nullptr;
  QPushButton* btnOK = nullptr;

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void BuildControls();
  void FormCreate();
  void FormClose();
};
