#pragma once

namespace platform {

// Receives the virtual camera's stream state. Called on the link's reader thread or the sink's
// queue, never on the main thread: a window moves its work to the main queue itself.
class MachManagerDelegate {
 public:
  virtual ~MachManagerDelegate() = default;
  virtual void streamStateChanged(bool streaming) = 0;
};

}  // namespace platform
