#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>

namespace corvane {

class CameraManager;

// The application delegate. So far it owns the Edit menu and keeps the items that need a
// connected camera in step with the camera manager's state.
class AppDelegate : public QObject {
  Q_OBJECT

 public:
  // Registers with `camera` so that every change of its state updates the Edit items.
  explicit AppDelegate(CameraManager& camera, QObject* parent = nullptr);
  ~AppDelegate() override;

  // Main thread. Connected: the six Edit items enabled, auto-detect and auto-track checked by
  // the camera's switches, detect-once only while face tracking is off. Otherwise all six
  // disabled, their check marks left as they are.
  void updateMenuItems();

  QMenu* menuEdit() const { return menuEdit_; }
  QAction* menuAutoDetect() const { return menuAutoDetect_; }
  QAction* menuDetectOnce() const { return menuDetectOnce_; }
  QAction* menuAutoTrack() const { return menuAutoTrack_; }
  QAction* menuRemoveAll() const { return menuRemoveAll_; }
  QAction* menuLoadRoi() const { return menuLoadRoi_; }
  QAction* menuSaveRoi() const { return menuSaveRoi_; }

 private:
  CameraManager& camera_;
  QPointer<QMenu> menuEdit_;
  QPointer<QAction> menuAutoDetect_;
  QPointer<QAction> menuDetectOnce_;
  QPointer<QAction> menuAutoTrack_;
  QPointer<QAction> menuRemoveAll_;
  QPointer<QAction> menuLoadRoi_;
  QPointer<QAction> menuSaveRoi_;
};

}  // namespace corvane
