#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "camera/ConnectMode.h"
#include "main/SourcePictureRule.h"
#include "util/Observable.h"

namespace platform {
class SerialQueue;
}

namespace corvane {

class BorderView;
class LayoutView;
class MetalManager;

// The main window's views follow SourcePictureRule as the connection goes: the preview, the
// composed views (the navigator panel's and the control board's) and the ROI outlines over the
// preview go dark when the source is gone and show the next source's pictures once it is
// connected. The render state lets go of the gone source's pictures on the render queue, after
// the passes handed over before, so memory falls too. Main thread only.
class SourcePictures {
 public:
  struct Views {
    std::vector<QPointer<LayoutView>> layouts;
    std::function<LayoutView*()> boardView;  // the control board's, made after the window
    QPointer<BorderView> borders;
  };
  // Follows `connectMode` from now on, beginning with its value now.
  SourcePictures(const ObservableRef<ConnectMode>& connectMode, MetalManager& manager, Views views,
                 std::shared_ptr<platform::SerialQueue> renderQueue);
  SourcePictures(const SourcePictures&) = delete;
  SourcePictures& operator=(const SourcePictures&) = delete;

  bool shows() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace corvane
