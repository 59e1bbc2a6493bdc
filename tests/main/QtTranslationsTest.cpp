// Qt's own texts in French: what the file dialogs, the fields' context menus
// and the message boxes show once Qt's French catalogue is installed, and
// what happens when the catalogue is missing.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QTranslator>

#include <memory>
#include <string>

#include "QtTranslations.h"

namespace {

// A text as a screen reader says it: without its mnemonic mark, nor the
// shortcut that a menu entry shows after a tab.
QString Spoken(QString text) { return text.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&')); }

// Every text a user can read in a file dialog: labels, buttons, hints.
QSet<QString> VisibleTexts(const QWidget& dialog) {
  QSet<QString> texts;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) texts.insert(Spoken(label->text()));
  for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
    texts.insert(Spoken(button->text()));
    texts.insert(button->toolTip());
  }
  texts.remove(QString());
  return texts;
}

QSet<QString> ActionTexts(const QMenu& menu) {
  QSet<QString> texts;
  for (const QAction* action : menu.actions()) {
    if (!action->isSeparator()) texts.insert(Spoken(action->text()));
  }
  return texts;
}

// Records whatever Qt would print while it is alive.
class TMessageRecorder {
 public:
  TMessageRecorder() { FPrevious = qInstallMessageHandler(&Record); }
  ~TMessageRecorder() { qInstallMessageHandler(FPrevious); }
  static inline QStringList Messages;

 private:
  static void Record(QtMsgType, const QMessageLogContext&, const QString& message) { Messages.append(message); }
  QtMessageHandler FPrevious;
};

class QtTranslationsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Installed.reset();  // removes it from the application
    QLocale::setDefault(QLocale::system());
  }

  void InstallFrench() {
    Installed.reset(InstallQtFrenchTexts(*QCoreApplication::instance()));
    ASSERT_NE(Installed, nullptr) << "qtbase_fr.qm is missing from " << QtTranslationsFolder().toStdString()
                                  << " (Debian's qt6-translations-l10n)";
  }

  std::unique_ptr<QTranslator> Installed;
};

struct TFileDialogCase {
  QFileDialog::AcceptMode Mode;
  const char* AcceptButton;
};

class QtTranslationsFileDialogTest : public QtTranslationsTest,
                                     public ::testing::WithParamInterface<TFileDialogCase> {};

TEST_P(QtTranslationsFileDialogTest, ShowsQtsWidgetDialogInFrench) {
  InstallFrench();
  QFileDialog dialog(nullptr, QStringLiteral("Envoyer un fichier SysEx"), QDir::tempPath(),
                     QStringLiteral("Fichiers SysEx (*.syx);;Tous les fichiers (*)"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(GetParam().Mode);

  const auto* buttons = dialog.findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  QStringList buttonTexts;
  for (const QAbstractButton* button : buttons->buttons()) buttonTexts.append(Spoken(button->text()));
  buttonTexts.sort();
  QStringList expectedButtons{QString::fromUtf8(GetParam().AcceptButton), QStringLiteral("Annuler")};
  expectedButtons.sort();
  EXPECT_EQ(buttonTexts, expectedButtons);

  const QSet<QString> texts = VisibleTexts(dialog);
  for (const char* french : {"Voir dans :", "Nom de fichier :", "Fichiers de type :", "Précédent", "Suivant",
                             "Dossier parent", "Créer un nouveau dossier", "Vue en liste", "Vue détaillée"}) {
    EXPECT_TRUE(texts.contains(QString::fromUtf8(french))) << french;
  }
  for (const char* english : {"Look in:", "File name:", "Files of type:", "Open", "Save", "Cancel", "Back",
                              "Forward", "Parent Directory", "Create New Folder", "List View", "Detail View"}) {
    EXPECT_FALSE(texts.contains(QString::fromLatin1(english))) << english;
  }
}

INSTANTIATE_TEST_SUITE_P(OpenAndSave, QtTranslationsFileDialogTest,
                         ::testing::Values(TFileDialogCase{QFileDialog::AcceptOpen, "Ouvrir"},
                                           TFileDialogCase{QFileDialog::AcceptSave, "Enregistrer"}),
                         [](const ::testing::TestParamInfo<TFileDialogCase>& info) {
                           return std::string(info.param.Mode == QFileDialog::AcceptOpen ? "Open" : "Save");
                         });

TEST_F(QtTranslationsTest, FieldsContextMenusAreFrench) {
  InstallFrench();
  QLineEdit line;
  line.setText(QStringLiteral("F0 7F F7"));
  QPlainTextEdit memo;
  memo.setPlainText(QStringLiteral("F0 7F F7"));
  const std::unique_ptr<QMenu> menus[] = {std::unique_ptr<QMenu>(line.createStandardContextMenu()),
                                          std::unique_ptr<QMenu>(memo.createStandardContextMenu())};
  for (const auto& menu : menus) {
    ASSERT_NE(menu, nullptr);
    const QSet<QString> texts = ActionTexts(*menu);
    for (const char* french : {"Annuler", "Rétablir", "Couper", "Copier", "Coller", "Supprimer", "Tout sélectionner"}) {
      EXPECT_TRUE(texts.contains(QString::fromUtf8(french))) << french;
    }
    for (const char* english : {"Undo", "Redo", "Cut", "Copy", "Paste", "Delete", "Select All"}) {
      EXPECT_FALSE(texts.contains(QString::fromLatin1(english))) << english;
    }
  }
}

TEST_F(QtTranslationsTest, MessageBoxStandardButtonsAreFrench) {
  InstallFrench();
  const struct {
    QMessageBox::StandardButton Button;
    const char* Text;
  } cases[] = {{QMessageBox::Ok, "OK"},         {QMessageBox::Cancel, "Annuler"}, {QMessageBox::Yes, "Oui"},
               {QMessageBox::No, "Non"},        {QMessageBox::Save, "Enregistrer"}, {QMessageBox::Close, "Fermer"},
               {QMessageBox::Open, "Ouvrir"}};
  for (const auto& c : cases) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Orvalis"), QStringLiteral("Texte"), c.Button);
    const QAbstractButton* button = box.button(c.Button);
    ASSERT_NE(button, nullptr) << c.Text;
    EXPECT_EQ(Spoken(button->text()), QString::fromUtf8(c.Text));
  }
}

TEST_F(QtTranslationsTest, FrenchWhateverTheDesktopsLanguage) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  InstallFrench();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuler"));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("&Ouvrir"));
}

TEST_F(QtTranslationsTest, TranslatorBelongsToTheApplication) {
  InstallFrench();
  EXPECT_EQ(Installed->parent(), QCoreApplication::instance());
  // Deleted, it takes its texts away: Qt's English ones are back.
  Installed.reset();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

TEST_F(QtTranslationsTest, MissingCatalogueLeavesQtsEnglishTextsSilently) {
  QTemporaryDir empty;
  ASSERT_TRUE(empty.isValid());
  const int translatorsBefore = static_cast<int>(QCoreApplication::instance()->findChildren<QTranslator*>().size());
  TMessageRecorder::Messages.clear();
  {
    TMessageRecorder recorder;
    Installed.reset(InstallQtFrenchTexts(*QCoreApplication::instance(), empty.path()));
  }
  EXPECT_EQ(Installed, nullptr);
  EXPECT_TRUE(TMessageRecorder::Messages.isEmpty()) << TMessageRecorder::Messages.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(QCoreApplication::instance()->findChildren<QTranslator*>().size(), translatorsBefore);
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Orvalis"), QStringLiteral("Texte"), QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
}

}  // namespace
