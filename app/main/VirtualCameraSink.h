#pragma once

#include <functional>
#include <string>

#include "vcam/LoopbackOutput.h"
#include "video/PixelBuffer.h"

namespace corvane {

// The main window's side of the virtual camera: the v4l2loopback device carrying our card label,
// fed with every composed frame as 1280 x 720 YUYV at 30 frames a second. It connects on the
// window's first appearance, on each video device arrival while unconnected, and after the
// device was made; a device that goes away leaves it unconnected until the next arrival.
class VirtualCameraSink {
 public:
  static constexpr const char* kCardLabel = "Kestova Virtual Camera";
  static constexpr int kWidth = 1280;
  static constexpr int kHeight = 720;
  static constexpr int kFramesPerSecond = 30;

  // Where the readers' state goes: the link's stream-state path.
  using StreamStateHandler = std::function<void(bool streaming)>;

  static VirtualCameraSink& shared();
  // The process's sink writes to `output` instead of the system's loopback devices (a test's
  // fake device); only before the first use of shared(), and `output` outlives it.
  static void useOutput(platform::LoopbackOutput* output);
  VirtualCameraSink(platform::LoopbackOutput& output, StreamStateHandler streamStateChanged);
  ~VirtualCameraSink();
  VirtualCameraSink(const VirtualCameraSink&) = delete;
  VirtualCameraSink& operator=(const VirtualCameraSink&) = delete;

  // Finds our loopback device and starts the sink stream on it. True when connected.
  bool connectCameraExtension();
  bool startSinkStream(const platform::LoopbackOutput::Device& device);
  // One composed BGRA frame, on the main thread, after the link had it. Dropped while the
  // writer is busy or the sink is unconnected; another size is scaled.
  void enqueueFrame(const platform::PixelBufferRef& pixelBuffer);
  // A video device arrived (the udev monitor): connects when not connected.
  void deviceArrived(const std::string& description);

  bool isConnected() const { return output_.isConnected(); }
  bool readyToEnqueue() const { return output_.readyToEnqueue(); }
  bool isStreaming() const { return output_.isStreaming(); }
  platform::LoopbackOutput& output() { return output_; }

 private:
  platform::LoopbackOutput& output_;
  StreamStateHandler streamStateChanged_;
};

}  // namespace corvane
