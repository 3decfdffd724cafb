#pragma once

#include <QRectF>
#include <cstdint>

#include "controlboard/EditMode.h"
#include "util/Observable.h"

namespace corvane {

class ConfigManager;
class LogManager;

// The state the control board and the main window share. Either side stores a field and every
// listener runs on the main queue; boards register with bindAndNotify() to show the value at once.
class ControlBoardViewModel {
 public:
  static ControlBoardViewModel& shared();
  ControlBoardViewModel() = default;
  ControlBoardViewModel(const ControlBoardViewModel&) = delete;
  ControlBoardViewModel& operator=(const ControlBoardViewModel&) = delete;

  // Takes the start-up state from the shared settings; the first call (the settings' set-up)
  // also dumps every setting (long values cut) to the day log, not to the console. The control
  // board's call that follows does not repeat it.
  void loadConfig();
  void loadConfig(const ConfigManager& config, LogManager& logger);

  const ObservableRef<QRectF> frame = Observable<QRectF>::make(QRectF());
  const ObservableRef<bool> splitWindow = Observable<bool>::make(false);
  const ObservableRef<bool> mirror = Observable<bool>::make(false);
  const ObservableRef<bool> composeAudioTracking = Observable<bool>::make(false);
  const ObservableRef<bool> autoFit = Observable<bool>::make(false);
  const ObservableRef<bool> focusAudioTracking = Observable<bool>::make(false);
  const ObservableRef<bool> advancedEffect = Observable<bool>::make(false);
  const ObservableRef<double> scale = Observable<double>::make(0.0);
  const ObservableRef<double> position = Observable<double>::make(0.0);
  const ObservableRef<int64_t> currentPresetIndex = Observable<int64_t>::make(0);
  const ObservableRef<EditMode> editMode = Observable<EditMode>::make(EditMode::none);

 private:
  bool dumped_ = false;  // main thread
};

}  // namespace corvane
