#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FakeDeviceEventSource.h"
#include "FakeSysfs.h"
#include "FakeV4l2Device.h"
#include "SimulatedCamera.h"
#include "vcam/LoopbackOutput.h"

namespace testsupport {

// The Kestova Camera as the kernel shows it to the main program, for running the whole program
// in its own process "with a camera": a V4L2 capture node streaming MJPEG frames at the camera's
// rate on a real clock, its metadata node, the USB device's sysfs entries, the udev add and
// remove events, and the control requests answered by the simulated camera's USB side; beside it
// the virtual camera's v4l2loopback node the program writes its output to.
//
// install() hands these to the program's process-wide managers, so it must come before the
// program's start and the rig must outlive the program (the managers are never destroyed: keep
// the rig for the process's life). Every other operation may be called from any thread.
class SimulatedCameraRig {
 public:
  static constexpr const char* kCaptureNode = "video0";
  static constexpr const char* kMetadataNode = "video1";
  static constexpr const char* kLoopbackNode = "video7";
  static constexpr const char* kUsbPort = "1-2";

  struct Options {
    std::string name = "Kestova Camera";
    int width = 3840;
    int height = 1080;
    int framesPerSecond = 30;
    // The frames streamed in a loop (JPEG bytes of width x height); see clipFrames().
    std::vector<std::vector<uint8_t>> frames;
  };

  // Up to `count` frames of a video file, from its start, scaled to width x height and encoded
  // as a camera's MJPEG frames (4:2:2). Empty, with `error` set, when the file cannot be read.
  static std::vector<std::vector<uint8_t>> clipFrames(const std::string& path, int width,
                                                      int height, int count, std::string* error);

  explicit SimulatedCameraRig(Options options);
  ~SimulatedCameraRig();
  SimulatedCameraRig(const SimulatedCameraRig&) = delete;
  SimulatedCameraRig& operator=(const SimulatedCameraRig&) = delete;

  // The program's camera manager, USB side, device monitor and virtual camera use the rig's
  // devices. Once, before the program starts.
  void install();
  // Starts streaming (the camera is plugged in from construction on).
  void start();
  // Stops the frame thread; the devices stay.
  void stop();

  // ---- what a user or the cable does ----
  // The camera goes: its nodes answer ENODEV, its sysfs entries and device files go, udev says
  // "remove" for the video nodes and the USB device, its control side stops answering.
  void unplug();
  // The camera is back (the same device path, as a replug on the same port gives): entries and
  // nodes come back, udev says "add".
  void plug();
  bool pluggedIn() const;
  // The next capture dequeue fails with `error` (EIO: a transient USB error).
  void failOneBuffer(int error);
  // The next frame comes back flagged as an error buffer.
  void flagOneBuffer();
  // Frames stop coming without any error (a camera that hangs), or flow again.
  void setStalled(bool stalled);
  bool stalled() const;
  // The camera streams another size from now on (its nodes offer it at the next plug-in).
  void setFrames(int width, int height, std::vector<std::vector<uint8_t>> frames);
  // The camera hears a voice from `degrees`, in its own direction (0 at the middle of the picture
  // it streams, growing to the right, as the program reads it), or silence.
  void setVoice(std::optional<int> degrees);
  // The voice-direction request fails in this way (the rest of the camera answers), or answers
  // again.
  void failVoiceRequest(std::optional<SimulatedCamera::Failure> failure);

  // ---- what the program did ----
  int64_t framesStreamed() const { return streamed_; }
  // Frames the program's virtual camera wrote to the loopback node.
  size_t loopbackFrames() const;
  FakeV4l2Device& capture() { return capture_; }
  FakeV4l2Device& loopback() { return loopback_; }
  SimulatedCamera& usb() { return *usb_; }
  const FakeSysfs& sysfs() const { return sysfs_; }

 private:
  // The sysfs entries and the device nodes; the device nodes alone (their formats).
  void addNodesLocked();
  void addDeviceNodesLocked();
  void streamLoop();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Options options_;
  FakeSysfs sysfs_;
  FakeV4l2Device capture_;
  FakeV4l2Device loopback_;
  std::shared_ptr<SimulatedCamera> usb_;
  std::unique_ptr<FakeDeviceEventSource> ownEvents_;  // until install() hands it over
  FakeDeviceEventSource* events_ = nullptr;
  std::unique_ptr<platform::LoopbackOutput> loopbackOutput_;
  bool plugged_ = true;
  bool stalled_ = false;
  bool stopping_ = false;
  bool installed_ = false;
  size_t next_ = 0;
  std::atomic<int64_t> streamed_{0};
  std::thread thread_;
};

}  // namespace testsupport
