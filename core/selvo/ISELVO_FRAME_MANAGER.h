#pragma once

#include <cstdint>

namespace selvo {

// A view of one frame's luma plane, valid from BeginFrame until EndFrame of its id.
struct FrameView {
  const uint8_t* luma = nullptr;
  int width = 0;
  int height = 0;
  int bytesPerRow = 0;
  bool detect = false;
  bool tracked = false;
};

// Hands the current frame to the detector and the trackers. Only the luma plane is handed over,
// and only until EndFrame: whatever works asynchronously copies what it needs.
class ISELVO_FRAME_MANAGER {
 public:
  virtual ~ISELVO_FRAME_MANAGER() = default;
  virtual void Init(int width, int height, bool is360, int reserved) = 0;
  // Returns the new frame's id.
  virtual unsigned AddFrame(const uint8_t* plane0, int width, int height, bool detect,
                            bool tracked) = 0;
  virtual void BeginFrame(unsigned frameId) = 0;
  virtual void EndFrame(unsigned frameId) = 0;
  // The frame of that id while it is open; false otherwise.
  virtual bool GetFrame(unsigned frameId, FrameView* view) const = 0;
};

}  // namespace selvo
