#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camera/DoaFormat.h"
#include "camera/UVCEvent.h"

namespace corvane {

class USBManager;

// The camera-control queue: changes to the picture controls, the field of view and the
// voice-direction reads, applied through the USB side one request at a time, in order.
//
// Main thread only. The head stays queued while its request is in flight and is never
// coalesced; a later change of the same control waits behind it. Each completion removes its
// own event (not whatever is at the head by then) and starts the next.
class CameraControlQueue {
 public:
  struct Handlers {
    // A picture control was set: store the value in its record.
    std::function<void(UVCMode mode, float value)> stored;
    // The voice-direction record read for a check_doa or a doa event, and why the request
    // failed (empty when it was read).
    std::function<void(UVCMode mode, const DoaFormat& doa, const std::string& failure)> doaRead;
  };

  CameraControlQueue(USBManager* usb, Handlers handlers);
  ~CameraControlQueue();
  CameraControlQueue(const CameraControlQueue&) = delete;
  CameraControlQueue& operator=(const CameraControlQueue&) = delete;

  void enqueueUVCEvent(UVCMode mode, float value);
  void checkUVCQueue();

  std::vector<UVCEvent> uvcQueue() const;
  bool inCheckUVCProcess() const { return inFlight_ != 0; }

 private:
  struct Entry {
    UVCEvent event;
    uint64_t id;
  };
  void finish(uint64_t id);
  void run(const Entry& entry);

  USBManager* usb_;
  Handlers handlers_;
  std::vector<Entry> queue_;
  uint64_t nextId_ = 1;
  uint64_t inFlight_ = 0;  // id of the event whose request is in flight, 0 when idle
  std::shared_ptr<int> token_ = std::make_shared<int>(0);
};

}  // namespace corvane
