#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "selvo/ISELVO_FRAME_MANAGER.h"

namespace testsupport {

// A frame manager over luma planes the test owns: a frame is open from BeginFrame to EndFrame,
// and GetFrame refuses it outside that span, as the real one does. Header-only: the vision
// tests that use it link the library that holds the interface.
class LumaFrameManager : public selvo::ISELVO_FRAME_MANAGER {
 public:
  void Init(int, int, bool, int) override {
    std::lock_guard lock(mutex_);
    frames_.clear();
  }

  unsigned AddFrame(const uint8_t* plane0, int width, int height, bool detect,
                    bool tracked) override {
    std::lock_guard lock(mutex_);
    unsigned id = nextId_++;
    frames_[id].view = {plane0, width, height, width, detect, tracked};
    // Only the latest few frames are kept, as a real frame pool would.
    while (frames_.size() > 4) frames_.erase(frames_.begin());
    return id;
  }

  void BeginFrame(unsigned frameId) override { SetOpen(frameId, true); }
  void EndFrame(unsigned frameId) override { SetOpen(frameId, false); }

  bool GetFrame(unsigned frameId, selvo::FrameView* view) const override {
    std::lock_guard lock(mutex_);
    auto it = frames_.find(frameId);
    if (it == frames_.end() || !it->second.open || !view) return false;
    *view = it->second.view;
    return true;
  }

  // AddFrame and BeginFrame in one step; returns the id.
  unsigned Open(const uint8_t* plane0, int width, int height, bool detect = true,
                bool tracked = false) {
    unsigned id = AddFrame(plane0, width, height, detect, tracked);
    BeginFrame(id);
    return id;
  }

 private:
  struct Entry {
    selvo::FrameView view;
    bool open = false;
  };
  void SetOpen(unsigned frameId, bool open) {
    std::lock_guard lock(mutex_);
    auto it = frames_.find(frameId);
    if (it != frames_.end()) it->second.open = open;
  }

  mutable std::mutex mutex_;
  std::map<unsigned, Entry> frames_;
  unsigned nextId_ = 1;
};

}  // namespace testsupport
