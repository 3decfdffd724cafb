#include "camera/SelvoAnalysisFacade.h"

namespace corvane {

SelvoAnalysisFacade::SelvoAnalysisFacade()
    : SelvoAnalysisFacade(std::make_shared<orlith::ISelvoServiceManage>()) {}

SelvoAnalysisFacade::SelvoAnalysisFacade(std::shared_ptr<orlith::ISelvoServiceManage> facade)
    : facade_(std::move(facade)) {}

AnalysisFacadeFactory SelvoAnalysisFacade::factory() {
  return [] { return std::make_shared<SelvoAnalysisFacade>(); };
}

void SelvoAnalysisFacade::initManager() { facade_->initManager(); }

void SelvoAnalysisFacade::setup(double srcWidth, double srcHeight, double dstWidth,
                                double dstHeight, double controlWidth, double controlHeight,
                                double processWidth, double processHeight, bool is360,
                                const std::string& dbPath) {
  facade_->setup({srcWidth, srcHeight}, {dstWidth, dstHeight}, {controlWidth, controlHeight},
                 {processWidth, processHeight}, char(is360), dbPath.c_str());
}

void SelvoAnalysisFacade::releaseSelvoInst() { facade_->releaseSelvoInst(); }
void SelvoAnalysisFacade::addDetectObservable(Observer o) {
  facade_->addDetectObservable(std::move(o));
}
void SelvoAnalysisFacade::addDetectOnceObservable(Observer o) {
  facade_->addDetectOnceObservable(std::move(o));
}
void SelvoAnalysisFacade::addLayoutObservable(LayoutObserver o) {
  facade_->addLayoutObservable(std::move(o));
}
void SelvoAnalysisFacade::imageProcessWithPixelBuffer(const platform::PixelBufferRef& frame,
                                                      std::function<void()> done) {
  facade_->imageProcessWithPixelBuffer(frame, std::move(done));
}
void SelvoAnalysisFacade::reset(double width, double height) { facade_->reset({width, height}); }
void SelvoAnalysisFacade::EnableAccumulateDetection(bool e) {
  facade_->EnableAccumulateDetection(e);
}
bool SelvoAnalysisFacade::GetAccumulateDetectionStatus() const {
  return facade_->GetAccumulateDetectionStatus();
}
void SelvoAnalysisFacade::EnableBeamforming(bool e) { facade_->EnableBeamforming(char(e)); }
void SelvoAnalysisFacade::setAngle(int angle, int enable) { facade_->setAngle(angle, enable); }
void SelvoAnalysisFacade::enableSmallVideoWindow(bool e) {
  facade_->enableSmallVideoWindow(char(e));
}
void SelvoAnalysisFacade::DrawNormalRect(bool d) { facade_->DrawNormalRect(d); }
void SelvoAnalysisFacade::DrawTrackingRect(bool d) { facade_->DrawTrackingRect(d); }
void SelvoAnalysisFacade::DrawIgnoreRect(bool d) { facade_->DrawIgnoreRect(d); }
void SelvoAnalysisFacade::setDisplayMode(long m) { facade_->setDisplayMode(m); }
void SelvoAnalysisFacade::setFitMode(long m) { facade_->setFitMode(m); }
void SelvoAnalysisFacade::enableAutoDetect(bool e, int interval) {
  facade_->enableAutoDetect(char(e), interval);
}
void SelvoAnalysisFacade::EnableAutoDetectTracking() { facade_->EnableAutoDetectTracking(); }
void SelvoAnalysisFacade::DisableAutoDetectTracking() { facade_->DisableAutoDetectTracking(); }
void SelvoAnalysisFacade::detectOnce() { facade_->detectOnce(); }

}  // namespace corvane
