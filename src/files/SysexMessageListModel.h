#pragma once
// The messages of a system-exclusive file as a list for a view, one row per
// message: "12 : 4 096 octets  F0 41 10 … F7". Rows are made when the view
// asks for them, so a file of a million messages costs no more to show than
// one of ten. User-interface thread only.

#include <QAbstractListModel>

#include <memory>

class SysexFile;

class SysexMessageListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit SysexMessageListModel(QObject* parent = nullptr);

  // Shows the messages of `file` (none for a null pointer).
  void SetFile(std::shared_ptr<const SysexFile> file);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // The row's text.
  QString RowText(int row) const;

 private:
  std::shared_ptr<const SysexFile> FFile;
};
