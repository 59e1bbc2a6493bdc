#include "frmAbout.h"
#include "ScrollText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QColor TextColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

TEST(TfmAbout, WindowAndFixedTexts) {
  TfmAbout box;
  EXPECT_EQ(box.windowTitle(), "A propos...");
  EXPECT_EQ(box.size(), QSize(305, 193));
  EXPECT_TRUE(box.RTFLabel1->text().contains("Orvalis"));
  EXPECT_EQ(box.RTFLabel1->textFormat(), Qt::RichText);
  EXPECT_EQ(box.Label2->text(), "Testeur MIDI rapide");
  EXPECT_EQ(box.Label2->geometry().right() + 1, 289);
  EXPECT_EQ(box.lblThanks->text(), "Remerciements");
  EXPECT_EQ(box.btnOK->text(), "OK");
  EXPECT_TRUE(box.btnOK->isDefault());
  EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());
  EXPECT_EQ(box.ProgramIcon->geometry(), QRect(16, 16, 32, 32));
}

TEST(TfmAbout, VersionFieldsInYellowBesideMaroonCaptions) {
  TfmAbout box;
  EXPECT_EQ(box.lblVersion->text(), "2.5.0.0");
  EXPECT_FALSE(box.lblCopyright->text().isEmpty());
  EXPECT_FALSE(box.lblComments->text().isEmpty());
  const struct {
    const char* caption;
    const char* text;
    QLabel* value;
  } rows[] = {{"Version", "Version :", box.lblVersion},
              {"Copyright", "Copyright :", box.lblCopyright},
              {"Comments", "Commentaires :", box.lblComments}};
  for (const auto& row : rows) {
    const auto* caption = box.findChild<QLabel*>(row.caption);
    ASSERT_NE(caption, nullptr) << row.caption;
    EXPECT_EQ(caption->text(), row.text);
    EXPECT_EQ(TextColour(caption), QColor(0x80, 0x00, 0x00));
    EXPECT_EQ(TextColour(row.value), QColor(0xFF, 0xFF, 0x00));
    EXPECT_EQ(row.value->y(), caption->y());
    const auto* bullet = box.findChild<QLabel*>(QString("Image%1").arg(&row - rows + 1));
    ASSERT_NE(bullet, nullptr);
    EXPECT_EQ(bullet->pixmap().size(), QSize(12, 12));
    EXPECT_EQ(bullet->y(), caption->y());
  }
}

TEST(TfmAbout, ThreeAcknowledgementLinesEndingWithTheUsers) {
  TfmAbout box;
  const QStringList lines = box.JvScrollText1->Lines();
  ASSERT_EQ(lines.size(), 3);
  for (const QString& line : lines) EXPECT_TRUE(line.startsWith("- ")) << line.toStdString();
  EXPECT_EQ(lines[2], "- aux utilisateurs");
}

TEST(TfmAbout, ScrollingRunsOnlyWhileOpen) {
  struct Way {
    const char* name;
    void (*close)(TfmAbout&);
  };
  const Way ways[] = {
      {"OK button", [](TfmAbout& b) { b.btnOK->click(); }},
      {"Enter", [](TfmAbout& b) {
         QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
         QApplication::sendEvent(&b, &enter);
       }},
      {"Escape", [](TfmAbout& b) {
         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&b, &escape);
       }},
      {"close button", [](TfmAbout& b) { b.close(); }},
  };
  for (const Way& way : ways) {
    TfmAbout box;
    box.show();
    EXPECT_TRUE(box.JvScrollText1->Active()) << way.name;
    way.close(box);
    EXPECT_FALSE(box.isVisible()) << way.name;
    EXPECT_FALSE(box.JvScrollText1->Active()) << way.name;
    box.show();
    EXPECT_TRUE(box.JvScrollText1->Active()) << way.name << ", shown again";
  }
}

TEST(TfmAbout, EnterAndOkAcceptEscapeRejects) {
  TfmAbout ok;
  ok.show();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&ok, &enter);
  EXPECT_EQ(ok.result(), QDialog::Accepted);

  TfmAbout cancel;
  cancel.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&cancel, &escape);
  EXPECT_EQ(cancel.result(), QDialog::Rejected);
}

TEST(TfmAbout, EachTickMovesTheTextUpOnePixel) {
  TfmAbout box;
  const int top = box.JvScrollText1->TextTop();
  box.JvScrollText1->Tick();
  EXPECT_EQ(box.JvScrollText1->TextTop(), top - 1);
  box.JvScrollText1->Tick();
  EXPECT_EQ(box.JvScrollText1->TextTop(), top - 2);
}

}  // namespace
