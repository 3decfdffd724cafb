#include "main/VirtualCameraSink.h"

#include "ipc/MachManager.h"
#include "log/LogManager.h"

namespace corvane {

namespace {

platform::LoopbackOutput* sharedOutput = nullptr;

}  // namespace

void VirtualCameraSink::useOutput(platform::LoopbackOutput* output) { sharedOutput = output; }

VirtualCameraSink& VirtualCameraSink::shared() {
  static platform::LoopbackOutput systemOutput;
  static VirtualCameraSink sink(sharedOutput ? *sharedOutput : systemOutput, [](bool streaming) {
    platform::MachManager::shared().streamStateChanged(streaming);
  });
  return sink;
}

VirtualCameraSink::VirtualCameraSink(platform::LoopbackOutput& output,
                                     StreamStateHandler streamStateChanged)
    : output_(output), streamStateChanged_(std::move(streamStateChanged)) {
  platform::LoopbackOutput::Handlers handlers;
  handlers.streamStateChanged = [this](bool streaming) {
    if (streamStateChanged_) streamStateChanged_(streaming);
  };
  handlers.disconnected = [](const std::string& reason) {
    CV_LOG_WARNING("sink stream closed: " + reason);
  };
  output_.setHandlers(std::move(handlers));
}

VirtualCameraSink::~VirtualCameraSink() {
  output_.stop();
  output_.setHandlers({});
}

bool VirtualCameraSink::connectCameraExtension() {
  if (output_.isConnected()) return true;
  auto device = output_.findDevice(kCardLabel);
  if (!device) return false;
  CV_LOG_DEBUG("found sink stream");
  return startSinkStream(*device);
}

bool VirtualCameraSink::startSinkStream(const platform::LoopbackOutput::Device& device) {
  if (!output_.start(device, kWidth, kHeight, kFramesPerSecond)) {
    CV_LOG_DEBUG("error starting sink stream: " + output_.lastError());
    return false;
  }
  CV_LOG_DEBUG("sink stream started on " + device.devicePath);
  if (output_.clientUsage() == platform::LoopbackOutput::ClientUsage::None)
    CV_LOG_INFO("the v4l2loopback module does not report its readers; the virtual camera's "
                "state stays \"not streaming\"");
  return true;
}

void VirtualCameraSink::enqueueFrame(const platform::PixelBufferRef& pixelBuffer) {
  output_.enqueueFrame(pixelBuffer);
}

void VirtualCameraSink::deviceArrived(const std::string& description) {
  CV_LOG_DEBUG("device connected: " + description);
  if (!output_.isConnected()) connectCameraExtension();
}

}  // namespace corvane
