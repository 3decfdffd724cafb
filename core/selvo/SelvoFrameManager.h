#pragma once

#include <map>
#include <mutex>

#include "ISELVO_FRAME_MANAGER.h"

namespace selvo {

// Numbers the frames of the analysis and lends their luma plane to the detector and the
// trackers between BeginFrame and EndFrame. It owns no pixels: the caller keeps the plane
// alive until EndFrame. Any thread may ask for a frame; the bookkeeping is locked.
class SelvoFrameManager : public ISELVO_FRAME_MANAGER {
 public:
  // Frames added but never ended are forgotten beyond this many.
  static constexpr size_t kMaxFrames = 8;

  void Init(int width, int height, bool is360, int reserved) override;
  unsigned AddFrame(const uint8_t* plane0, int width, int height, bool detect,
                    bool tracked) override;
  void BeginFrame(unsigned frameId) override;
  void EndFrame(unsigned frameId) override;
  bool GetFrame(unsigned frameId, FrameView* view) const override;

 private:
  struct Frame {
    FrameView view;
    bool open = false;
  };
  mutable std::mutex mutex_;
  int width_ = 0;
  int height_ = 0;
  bool is360_ = false;
  unsigned nextId_ = 1;
  std::map<unsigned, Frame> frames_;
};

}  // namespace selvo
