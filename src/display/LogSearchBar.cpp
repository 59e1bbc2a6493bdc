#include "LogSearchBar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "LogSearch.h"
#include "LogView.h"

LogSearchBar::LogSearchBar(TLogView& log, QWidget* parent) : QWidget(parent), FLog(log) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 3, 6, 3);
  layout->setSpacing(6);
  lblFind = new QLabel(QStringLiteral("Rec&hercher :"), this);
  edFind = new QLineEdit(this);
  edFind->setPlaceholderText(QStringLiteral("texte ou octets (90 3C)"));
  lblFind->setBuddy(edFind);
  btnFindPrevious = new QPushButton(QStringLiteral("&Précédent"), this);
  btnFindNext = new QPushButton(QStringLiteral("&Suivant"), this);
  lblFindResult = new QLabel(this);
  lblFindResult->setStyleSheet(QStringLiteral("color: #C00000;"));
  btnFindClose = new QPushButton(QStringLiteral("Fer&mer"), this);
  btnFindPrevious->setToolTip(QStringLiteral("Ligne précédente qui contient le texte (Maj+F3)"));
  btnFindNext->setToolTip(QStringLiteral("Ligne suivante qui contient le texte (F3)"));
  btnFindClose->setToolTip(QStringLiteral("Fermer la recherche (Echap)"));
  btnFindClose->setAccessibleName(QStringLiteral("Fermer la recherche"));
  for (QPushButton* button : {btnFindPrevious, btnFindNext, btnFindClose}) button->setAutoDefault(true);
  layout->addWidget(lblFind);
  layout->addWidget(edFind, 1);
  layout->addWidget(btnFindPrevious);
  layout->addWidget(btnFindNext);
  layout->addWidget(lblFindResult);
  layout->addWidget(btnFindClose);
  setTabOrder(edFind, btnFindPrevious);
  setTabOrder(btnFindPrevious, btnFindNext);
  setTabOrder(btnFindNext, btnFindClose);

  connect(btnFindPrevious, &QPushButton::clicked, this, &LogSearchBar::FindPrevious);
  connect(btnFindNext, &QPushButton::clicked, this, &LogSearchBar::FindNext);
  connect(btnFindClose, &QPushButton::clicked, this, &LogSearchBar::Close);
  connect(edFind, &QLineEdit::textChanged, lblFindResult, &QLabel::clear);
  edFind->installEventFilter(this);
  FLog.installEventFilter(this);
  hide();
}

void LogSearchBar::Open() {
  FOpen = true;
  if (!FLog.isHidden()) show();
  edFind->setFocus(Qt::ShortcutFocusReason);
  edFind->selectAll();
}

void LogSearchBar::Close() {
  const bool hadFocus = isAncestorOf(QWidget::focusWidget());
  FOpen = false;
  hide();
  if (hadFocus) FLog.setFocus(Qt::OtherFocusReason);
}

bool LogSearchBar::FindNext() { return Find(true); }

bool LogSearchBar::FindPrevious() { return Find(false); }

bool LogSearchBar::Find(bool forward) {
  const LogSearch search(edFind->text());
  if (search.IsEmpty()) {
    Open();
    return false;
  }
  const int line = search.Find(*FLog.Model(), FLog.CurrentLine(), forward);
  if (line < 0) {
    lblFindResult->setText(QStringLiteral("Introuvable"));
    return false;
  }
  lblFindResult->clear();
  FLog.SelectLines(line, line);
  return true;
}

bool LogSearchBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &FLog) {
    // The bar goes with the log and comes back with it when it was open.
    if (event->type() == QEvent::HideToParent) hide();
    if (event->type() == QEvent::ShowToParent && FOpen) show();
  } else if (watched == edFind && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      Close();
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Find(!(key->modifiers() & Qt::ShiftModifier));
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
