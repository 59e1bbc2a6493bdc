#include "FileDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

FileDialogs::FileDialogs()
    : AskSavePath([](QWidget* parent, const QString& caption, const QString& proposedPath, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, caption, proposedPath, filter);
      }),
      AskOpenPath([](QWidget* parent, const QString& caption, const QString& folder, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter);
      }),
      Confirm([](QWidget* parent, const QString& text, const QString& goOnCaption) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Orvalis"), text, QMessageBox::NoButton, parent);
        QPushButton* goOn = box.addButton(goOnCaption, QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
        box.setDefaultButton(goOn);
        box.exec();
        return box.clickedButton() == goOn;
      }),
      Warn([](QWidget* parent, const QString& text) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Orvalis"), text, QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
      }) {}
