#include "shell/AppDelegate.h"

#include <QAction>
#include <QMenu>

#include "camera/CameraManager.h"

namespace corvane {

namespace {

QAction* addItem(QMenu* menu, const char* name, bool checkable) {
  QAction* action = menu->addAction(QString());
  action->setObjectName(QString::fromLatin1(name));
  action->setCheckable(checkable);
  action->setEnabled(false);
  return action;
}

}  // namespace

AppDelegate::AppDelegate(CameraManager& camera, QObject* parent)
    : QObject(parent), camera_(camera) {
  menuEdit_ = new QMenu();
  menuEdit_->setObjectName("menuEdit");
  menuAutoDetect_ = addItem(menuEdit_, "menuAutoDetect", true);
  menuDetectOnce_ = addItem(menuEdit_, "menuDetectOnce", false);
  menuAutoTrack_ = addItem(menuEdit_, "menuAutoTrack", true);
  menuRemoveAll_ = addItem(menuEdit_, "menuRemoveAll", false);
  menuLoadRoi_ = addItem(menuEdit_, "menuLoadRoi", false);
  menuSaveRoi_ = addItem(menuEdit_, "menuSaveRoi", false);
  QPointer<AppDelegate> self(this);
  camera_.setMenuItemsUpdater([self] {
    if (self) self->updateMenuItems();
  });
}

AppDelegate::~AppDelegate() {
  camera_.setMenuItemsUpdater(nullptr);
  delete menuEdit_;
}

void AppDelegate::updateMenuItems() {
  QAction* items[] = {menuAutoDetect_, menuDetectOnce_, menuAutoTrack_,
                      menuRemoveAll_,  menuLoadRoi_,    menuSaveRoi_};
  if (camera_.connectMode->value() != ConnectMode::connected) {
    for (QAction* item : items)
      if (item) item->setEnabled(false);
    return;
  }
  bool faceTracking = camera_.isFaceAutoTracking->value();
  if (menuAutoDetect_) {
    menuAutoDetect_->setChecked(camera_.isAutoDetect->value());
    menuAutoDetect_->setEnabled(true);
  }
  if (menuDetectOnce_) menuDetectOnce_->setEnabled(!faceTracking);
  if (menuAutoTrack_) {
    menuAutoTrack_->setChecked(faceTracking);
    menuAutoTrack_->setEnabled(true);
  }
  for (QAction* item : {menuRemoveAll_.data(), menuLoadRoi_.data(), menuSaveRoi_.data()})
    if (item) item->setEnabled(true);
}

}  // namespace corvane
