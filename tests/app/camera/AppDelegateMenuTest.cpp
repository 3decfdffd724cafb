#include <QAction>

#include "CameraManagerFixture.h"
#include "shell/AppDelegate.h"

using corvane::ConnectMode;

TEST_F(CameraManagerTest, EditItemsFollowTheCameraState) {
  plugCamera();
  makeManager();
  corvane::AppDelegate delegate(*manager);
  QAction* items[] = {delegate.menuAutoDetect(), delegate.menuDetectOnce(),
                      delegate.menuAutoTrack(),  delegate.menuRemoveAll(),
                      delegate.menuLoadRoi(),    delegate.menuSaveRoi()};
  for (QAction* item : items) EXPECT_FALSE(item->isEnabled());

  settings.newDetectLayout = true;
  manager->isFaceAutoTracking->setValue(true);
  connect();
  // Connected with face tracking on: everything but detect-once is enabled.
  EXPECT_TRUE(delegate.menuAutoTrack()->isChecked());
  EXPECT_TRUE(delegate.menuAutoDetect()->isChecked());  // face tracking switched detection on
  EXPECT_FALSE(delegate.menuDetectOnce()->isEnabled());
  for (QAction* item : {items[0], items[2], items[3], items[4], items[5]})
    EXPECT_TRUE(item->isEnabled());

  manager->isFaceAutoTracking->setValue(false);
  settle();
  EXPECT_TRUE(delegate.menuDetectOnce()->isEnabled());
  EXPECT_FALSE(delegate.menuAutoTrack()->isChecked());

  manager->stopConnection();
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  for (QAction* item : items) EXPECT_FALSE(item->isEnabled());
  // The check marks stay as they were.
  EXPECT_FALSE(delegate.menuAutoTrack()->isChecked());
}
