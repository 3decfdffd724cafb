#include "SelvoFrameManager.h"

#include <string>

#include "OrlithLog.h"

namespace selvo {

void SelvoFrameManager::Init(int width, int height, bool is360, int) {
  std::lock_guard lock(mutex_);
  width_ = width;
  height_ = height;
  is360_ = is360;
  frames_.clear();
}

unsigned SelvoFrameManager::AddFrame(const uint8_t* plane0, int width, int height, bool detect,
                                     bool tracked) {
  std::lock_guard lock(mutex_);
  if (!plane0 || width <= 0 || height <= 0 || width != width_ || height != height_) {
    ORLITH_LOG_ERROR("refused a frame of " + std::to_string(width) + "x" + std::to_string(height) +
                     " (set up for " + std::to_string(width_) + "x" + std::to_string(height_) +
                     ")");
    return 0;
  }
  unsigned id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;  // 0 stays "no frame"
  Frame frame;
  frame.view = FrameView{plane0, width, height, width, detect, tracked};
  frames_[id] = frame;
  while (frames_.size() > kMaxFrames) frames_.erase(frames_.begin());
  return id;
}

void SelvoFrameManager::BeginFrame(unsigned frameId) {
  std::lock_guard lock(mutex_);
  auto it = frames_.find(frameId);
  if (it != frames_.end()) it->second.open = true;
}

void SelvoFrameManager::EndFrame(unsigned frameId) {
  std::lock_guard lock(mutex_);
  frames_.erase(frameId);
}

bool SelvoFrameManager::GetFrame(unsigned frameId, FrameView* view) const {
  std::lock_guard lock(mutex_);
  auto it = frames_.find(frameId);
  if (it == frames_.end() || !it->second.open) return false;
  if (view) *view = it->second.view;
  return true;
}

}  // namespace selvo
