// A picture of the bulk window after a short sweep, written to the temporary
// directory (orvalis-screenshots/bulk.png) for the documentation.
#include <QDir>
#include <QPixmap>

#include "BulkFixture.h"

namespace {

class BulkScreenshotTest : public BulkFixture {};

TEST_F(BulkScreenshotTest, RendersTheWindowAfterASweep) {
  StartBulk();
  bulk->PresetButtons[2]->click();
  bulk->cbData0Loop->setChecked(true);
  bulk->edData0Max->SetValue(2);
  bulk->edData1Min->SetValue(0x07);
  bulk->edData1Max->SetValue(0x08);
  bulk->edData2Min->SetValue(0x7E);
  bulk->btnSendBulkStart->click();
  bulk->show();
  QCoreApplication::processEvents();

  const QPixmap picture = bulk->grab();
  ASSERT_FALSE(picture.isNull());
  const QString dir = QDir::temp().filePath("orvalis-screenshots");
  ASSERT_TRUE(QDir().mkpath(dir));
  EXPECT_TRUE(picture.save(QDir(dir).filePath("bulk.png")));
}

}  // namespace
