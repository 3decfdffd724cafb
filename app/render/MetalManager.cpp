#include "render/MetalManager.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace corvane {

MetalManager& MetalManager::shared() {
  static MetalManager manager;
  return manager;
}

void MetalManager::registerSubscriber(const std::string& className, Callback callback) {
  if (!callback) return;
  std::lock_guard<std::mutex> lock(mutex_);
  sbuDic_.emplace(className, std::move(callback));  // keeps an existing entry
}

std::map<std::string, MetalManager::Callback> MetalManager::sbuDic() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sbuDic_;
}

void MetalManager::unregisterSubscriber(const std::string& className) {
  std::lock_guard<std::mutex> lock(mutex_);
  sbuDic_.erase(className);
}

void MetalManager::notifyFrame(const platform::PixelBufferRef& frame, bool analysed,
                               const platform::PixelBuffer* standsFor) {
  setPixelBuffer(frame);
  for (auto& [name, callback] : sbuDic()) callback();
  if (!analysed) return;
  compute::TextureRef previous;  // released outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  inAnalysisFrame_ = standsFor ? standsFor : frame.get();
  previous = std::exchange(inAnalysisTexture_, effectTexture_);
}

void MetalManager::finishAnalysis(const platform::PixelBufferRef& frame) {
  compute::TextureRef previous;
  std::lock_guard<std::mutex> lock(mutex_);
  // A frame whose picture was never rendered keeps the last analysed picture.
  if (!frame || frame.get() != inAnalysisFrame_ || !inAnalysisTexture_) return;
  inAnalysisFrame_ = nullptr;
  previous = std::exchange(analysedTexture_, std::move(inAnalysisTexture_));
}

compute::TextureRef MetalManager::analysedTexture() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return analysedTexture_ ? analysedTexture_ : effectTexture_;
}

void MetalManager::clearPictures() {
  // Released outside the lock: the last holder of a picture may be a reader waiting for it.
  platform::PixelBufferRef frame, selvo, vxd, control;
  compute::TextureRef effect, inAnalysis, analysed;
  std::lock_guard<std::mutex> lock(mutex_);
  frame = std::exchange(pixelBuffer_, nullptr);
  effect = std::exchange(effectTexture_, nullptr);
  inAnalysisFrame_ = nullptr;
  inAnalysis = std::exchange(inAnalysisTexture_, nullptr);
  analysed = std::exchange(analysedTexture_, nullptr);
  selvo = std::exchange(selvoBuffer_, nullptr);
  vxd = std::exchange(vxdPixelBuffer_, nullptr);
  control = std::exchange(controlPixelBuffer_, nullptr);
}

platform::PixelBufferRef MetalManager::pixelBuffer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pixelBuffer_;
}

void MetalManager::setPixelBuffer(platform::PixelBufferRef buffer) {
  platform::PixelBufferRef previous;  // released outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  previous = std::exchange(pixelBuffer_, std::move(buffer));
}

compute::TextureRef MetalManager::effectTexture() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return effectTexture_;
}

compute::TextureRef MetalManager::exchangeEffectTexture(compute::TextureRef texture) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(effectTexture_, std::move(texture));
}

platform::PixelBufferRef MetalManager::selvoBuffer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return selvoBuffer_;
}

void MetalManager::setSelvoBuffer(platform::PixelBufferRef buffer) {
  std::lock_guard<std::mutex> lock(mutex_);
  selvoBuffer_ = std::move(buffer);
}

platform::PixelBufferRef MetalManager::vxdPixelBuffer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return vxdPixelBuffer_;
}

void MetalManager::setVxdPixelBuffer(platform::PixelBufferRef buffer) {
  std::lock_guard<std::mutex> lock(mutex_);
  vxdPixelBuffer_ = std::move(buffer);
}

platform::PixelBufferRef MetalManager::controlPixelBuffer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controlPixelBuffer_;
}

void MetalManager::setControlPixelBuffer(platform::PixelBufferRef buffer) {
  std::lock_guard<std::mutex> lock(mutex_);
  controlPixelBuffer_ = std::move(buffer);
}

QSizeF MetalManager::controlSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controlSize_;
}

void MetalManager::setControlSize(QSizeF size) {
  std::lock_guard<std::mutex> lock(mutex_);
  controlSize_ = size;
}

QSizeF MetalManager::navigatorSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return navigatorSize_;
}

void MetalManager::setNavigatorSize(QSizeF size) {
  std::lock_guard<std::mutex> lock(mutex_);
  navigatorSize_ = size;
}

Effect MetalManager::effect() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return effect_;
}

void MetalManager::setEffect(Effect effect) {
  std::lock_guard<std::mutex> lock(mutex_);
  effect_ = effect;
}

float MetalManager::denoiseLevel(double ratio) {
  if (!std::isfinite(ratio)) return 0;
  return float(std::round(std::clamp(ratio, 0.0, 1.0) * 6.0));
}

}  // namespace corvane
