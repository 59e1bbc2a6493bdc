#include "AppIcon.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(AppIcon, HasEverySizeFromTheResources) {
  const QIcon icon = Orvalis_AppIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QImage image(QString(":/icons/orvalis-%1.png").arg(size));
    EXPECT_EQ(image.size(), QSize(size, size)) << size;
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
  }
}

TEST(AppIcon, BulletIsTwelvePixelsSquare) {
  Widgets_InitResources();
  EXPECT_EQ(QImage(":/icons/bullet.png").size(), QSize(12, 12));
}
