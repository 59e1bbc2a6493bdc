// Pictures of the transmit panel in each send mode, written to the temporary
// directory (orvalis-screenshots/transmit-<mode>.png) for the documentation.
#include <QDir>
#include <QPixmap>
#include <QRadioButton>

#include "HexSpinBox.h"

#include "TransmitFixture.h"

namespace {

class TransmitScreenshotTest : public TransmitFixture {};

TEST_F(TransmitScreenshotTest, EachModeRendersThePanel) {
  Start();
  window->resize(560, window->height());
  const QString dir = QDir::temp().filePath("orvalis-screenshots");
  ASSERT_TRUE(QDir().mkpath(dir));
  const std::pair<QRadioButton*, const char*> modes[] = {{window->rbSendNote, "note"},
                                                         {window->rbSendCC, "cc"},
                                                         {window->rbSendPC, "pc"},
                                                         {window->rbSendOther, "autre"}};
  for (const auto& [button, name] : modes) {
    button->click();
    if (button == window->rbSendNote) window->edData22->setValue(0x3E);  // shows the warning
    QCoreApplication::processEvents();
    const QPixmap picture = window->pnlMidiTx->grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.save(QDir(dir).filePath(QStringLiteral("transmit-%1.png").arg(name))));
  }
}

}  // namespace
