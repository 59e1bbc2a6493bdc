#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel placeholder("Orvalis");
  placeholder.setWindowTitle("Orvalis");
  placeholder.resize(564, 442);
  placeholder.show();
  return app.exec();
}
