#include "frmAbout.h"

#include "AppIcon.h"
#include "ScrollText.h"
#include "VersionInfo.h"

#include <QApplication>
#include <QFrame>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kSilver(0xC0, 0xC0, 0xC0);

// Background of the whole box: aqua at the top to blue at the bottom.
class TGradient : public QWidget {
public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, QColor(0x00, 0xFF, 0xFF));
    gradient.setColorAt(1, QColor(0x00, 0x00, 0xFF));
    p.fillRect(rect(), gradient);
  }
};

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  const QColor* colour = nullptr) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  if (colour) {
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, *colour);
    label->setPalette(colours);
  }
  label->move(left, top);
  label->adjustSize();
  return label;
}

void MakeBevel(QWidget* parent, const char* name, int left, int top, int width) {
  auto* line = new QFrame(parent);
  line->setObjectName(name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(left, top, width, 2);
}

}  // namespace

TfmAbout::TfmAbout(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("A propos..."));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(305, 193);
  QFont face("Arial");
  face.setStyleHint(QFont::SansSerif);
  face.setPixelSize(11);  // 8 points at 96 dpi, independent of the screen
  setFont(face);
  BuildControls();
  if (const QScreen* screen = this->screen()) {
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  FormCreate();
}

void TfmAbout::BuildControls() {
  auto* gradient = new TGradient(this);
  gradient->setObjectName("VrGradient1");
  gradient->setGeometry(rect());

  Widgets_InitResources();
  ProgramIcon = new QLabel(this);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setGeometry(16, 16, 32, 32);
  ProgramIcon->setScaledContents(true);

  RTFLabel1 = new QLabel(this);
  RTFLabel1->setObjectName("RTFLabel1");
  RTFLabel1->setTextFormat(Qt::RichText);
  RTFLabel1->setWordWrap(false);
  RTFLabel1->setText(QStringLiteral(
      "<span style=\"font-family:Arial; font-size:22px; font-weight:bold; font-style:italic; color:#000080\">"
      "Orvalis</span>"));
  RTFLabel1->setGeometry(120, 8, 177, 33);
  RTFLabel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  Label2 = MakeLabel(this, "Label2", QStringLiteral("Testeur MIDI rapide"), 0, 40);
  Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label2->setGeometry(289 - 200, 40, 200, Label2->height());

  MakeBevel(this, "Bevel2", 16, 56, 273);

  const QPixmap bullet(QStringLiteral(":/icons/bullet.png"));
  const char* bulletNames[] = {"Image1", "Image2", "Image3"};
  const char* captionNames[] = {"Version", "Copyright", "Comments"};
  const QString captions[] = {QStringLiteral("Version :"), QStringLiteral("Copyright :"),
                              QStringLiteral("Commentaires :")};
  const char* valueNames[] = {"lblVersion", "lblCopyright", "lblComments"};
  QLabel* values[3] = {};
  for (int i = 0; i < 3; ++i) {
    const int top = 72 + 16 * i;
    auto* image = new QLabel(this);
    image->setObjectName(bulletNames[i]);
    image->setPixmap(bullet);
    image->setGeometry(16, top, 12, 12);
    MakeLabel(this, captionNames[i], captions[i], 32, top, &kMaroon);
    values[i] = MakeLabel(this, valueNames[i], QString(), 112, top, &kYellow);
  }
  lblVersion = values[0];
  lblCopyright = values[1];
  lblComments = values[2];

  MakeBevel(this, "Bevel1", 8, 136, 289);
  lblThanks = MakeLabel(this, "lblThanks", QStringLiteral("Remerciements"), 8, 144, &kSilver);

  JvScrollText1 = new TScrollText(this);
  JvScrollText1->setObjectName("JvScrollText1");
  JvScrollText1->setGeometry(8, 160, 200, 25);
  JvScrollText1->SetLines({QString::fromUtf8("- à l'auteur d'un autre outil MIDI"),
                           QString::fromUtf8("- à la communauté Qt"),
                           QStringLiteral("- aux utilisateurs")});

  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName("btnOK");
  btnOK->setGeometry(216, 160, 81, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TfmAbout::FormCreate() {
  JvScrollText1->Start();
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = Orvalis_AppIcon();
  ProgramIcon->setPixmap(icon.pixmap(QSize(32, 32)));
  const TVersionInfo info = ExeVersionInfo();
  lblVersion->setText(info.FileVersion);
  lblCopyright->setText(info.LegalCopyright);
  lblComments->setText(info.Comments);
  for (QLabel* label : {lblVersion, lblCopyright, lblComments}) label->adjustSize();
}

void TfmAbout::FormClose() { JvScrollText1->Stop(); }

void TfmAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!JvScrollText1->Active()) JvScrollText1->Start();  // shown again after a close
}

void TfmAbout::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) FormClose();
  QDialog::hideEvent(event);
}
