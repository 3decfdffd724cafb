#include "render/LayoutView.h"

#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "Bundle.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "log/LogManager.h"
#include "render/FrameSizeLimits.h"
#include "util/RunProfile.h"

namespace corvane {

using compute::TextureFormat;
using compute::TextureRef;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

namespace {

QImage loadImageAsset(const std::string& name) {
  auto path = platform::Bundle::main().pathForResource("images/" + name + ".png");
  QImage image;
  if (!path || !image.load(QString::fromStdString(*path)))
    CV_LOG_WARNING("image asset " + name + " not found");
  return image;
}

}  // namespace

LayoutView::Environment LayoutView::Environment::withConfiguration(
    const ConfigManager& config) const {
  Environment environment = *this;
  if (config.speakColor) environment.speakColor = *config.speakColor;
  environment.enablePerspectiveProjection = config.enablePerspectiveProjection;
  environment.camera.fov1Value = config.fov1Value;
  environment.camera.fov2Value = config.fov2Value;
  environment.camera.fov3Value = config.fov3Value;
  return environment;
}

LayoutView::LayoutView(QWidget* parent, MetalManager& manager, MetalContext& context)
    : QWidget(parent), manager_(manager), context_(context) {
  shared_->view = this;
  shared_->guard = this;
  setup();
}

LayoutView::~LayoutView() {
  if (!subscriberName_.empty()) manager_.unregisterSubscriber(subscriberName_);
  // Compositions already handed over run (or find the view gone) before its parts go.
  if (context_.renderQueue && !context_.renderQueue->isCurrent()) context_.renderQueue->drain();
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->view = nullptr;
}

void LayoutView::setup() {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (context_.library) computeLayoutPipelineState_ = context_.library->function(kLayoutKernel);
  if (!computeLayoutPipelineState_) CV_LOG_WARNING("Unable to setup metal: no layout kernel");
  samplerState_ =
      compute::Sampler("bilinear", compute::Sampler::Filter::Linear,
                       compute::Sampler::Address::Repeat, compute::Sampler::Address::ClampToEdge);
  lookup = loadImageAsset("lookup");
  if (!lookup_texture_in_ && !lookup.isNull()) lookup_texture_in_ = makeTexture(lookup);
  thumbnail = loadImageAsset("img_thumbnail_default");
  if (!thumbnail_texture_in_ && !thumbnail.isNull()) thumbnail_texture_in_ = makeTexture(thumbnail);
}

TextureRef LayoutView::makeTexture(const QImage& image) const {
  // Bytes R, G, B, A with premultiplied alpha, one texel per pixel.
  QImage rgba = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
  auto texture = compute::Texture::create(rgba.width(), rgba.height(), TextureFormat::RGBA8Unorm);
  if (texture) texture->replace(rgba.constBits(), size_t(rgba.bytesPerLine()));
  return texture;
}

void LayoutView::updateControlSize(const TextureRef& source) {
  QSizeF size = manager_.controlSize();
  size.setHeight(FrameSizeLimits::controlHeight(source->width(), source->height()));
  manager_.setControlSize(size);
}

void LayoutView::updateEffectFrame() {
  frameTexture_ = manager_.effectTexture();
  if (!frameTexture_) return;
  src_width = frameTexture_->width();
  src_height = frameTexture_->height();
  if (mode == LayoutMode::control) updateControlSize(frameTexture_);
  drawLayout();
  frameTexture_.reset();
}

void LayoutView::setRoiPairs(std::vector<LayoutRoiPair> pairs) {
  roiPairList = pairs;
  std::lock_guard<std::mutex> lock(shared_->snapshotMutex);
  shared_->snapshot = Snapshot{std::move(pairs), mode, activate_filter, environment_, shownSize()};
}

QSize LayoutView::shownSize() const {
  if (!isVisible()) return {};
  return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void LayoutView::updateShownSize() {
  std::lock_guard<std::mutex> lock(shared_->snapshotMutex);
  shared_->snapshot.shown = shownSize();
}

void LayoutView::resizeEvent(QResizeEvent*) { updateShownSize(); }

void LayoutView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  updateShownSize();
}

void LayoutView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  updateShownSize();
}

void LayoutView::composeShared(const std::shared_ptr<Shared>& shared, const TextureRef& source,
                               Presented done, std::optional<Snapshot> given) {
  if (!source) return;
  Snapshot snapshot;
  if (given) {
    snapshot = std::move(*given);
  } else {
    std::lock_guard<std::mutex> lock(shared->snapshotMutex);
    snapshot = shared->snapshot;
  }
  Result result;
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    LayoutView* view = shared->view;
    if (!view) return;
    if (snapshot.mode == LayoutMode::control) view->updateControlSize(source);
    result = view->compose(snapshot, source);
  }
  if (!result.drawn) return;
  shared->presentation.submit(
      platform::MainQueue::shared(),
      [guard = shared->guard, result, source, pairs = std::move(snapshot.pairs),
       mode = snapshot.mode, done = std::move(done)] {
        if (!guard || !guard->present(mode, result.picture, source, pairs)) return;
        if (done && result.picture) done(result.picture);
      });
}

void LayoutView::composeAsync(std::function<TextureRef()> source, Presented done) {
  std::shared_ptr<Shared> shared = shared_;
  MetalManager* manager = &manager_;
  Snapshot snapshot;
  {
    std::lock_guard<std::mutex> lock(shared_->snapshotMutex);
    snapshot = shared_->snapshot;
  }
  // The pairs as they stand at the hand-over: a later layout is a composition of its own.
  auto job = [shared, manager, source = std::move(source), done = std::move(done),
              snapshot = std::move(snapshot)]() mutable {
    composeShared(shared, source ? source() : manager->effectTexture(), std::move(done),
                  std::move(snapshot));
  };
  if (context_.renderQueue)
    shared_->composition.submit(*context_.renderQueue, std::move(job));
  else
    job();
}

void LayoutView::followFrames() {
  if (!subscriberName_.empty()) return;
  char name[64];
  std::snprintf(name, sizeof name, "LayoutView %p", static_cast<void*>(this));
  subscriberName_ = name;
  std::weak_ptr<Shared> weak = shared_;
  MetalManager* manager = &manager_;
  std::weak_ptr<platform::SerialQueue> queue = context_.renderQueue;
  // After the effect pass of the frame ("EffectView" comes first in name order).
  manager_.registerSubscriber(subscriberName_, [weak, manager, queue] {
    auto job = [weak, manager] {
      if (auto shared = weak.lock()) composeShared(shared, manager->effectTexture(), {});
    };
    auto renderQueue = queue.lock();
    if (!renderQueue || renderQueue->isCurrent())
      job();
    else
      renderQueue->async(job);
  });
}

TextureRef LayoutView::acquireDrawable(int width, int height) {
  for (auto& drawable : drawables_) {
    // Free when no reader holds its picture any more, and of this frame's size.
    if (drawable && drawable->pixelBuffer().use_count() == 1 && drawable->width() == width &&
        drawable->height() == height) {
      std::atomic_thread_fence(std::memory_order_acquire);  // readers on other threads are done
      return drawable;
    }
  }
  // A new one in an empty slot, else in the one after the slot drawn last; whoever holds the
  // picture it replaces keeps it.
  size_t index = 0;
  while (index < drawables_.size() && drawables_[index]) ++index;
  if (index == drawables_.size()) {
    index = 0;
    while (index < drawables_.size() && drawables_[index] != currentDrawable_) ++index;
    index = (index + 1) % drawables_.size();
  }
  TextureRef& slot = drawables_[index];
  slot = compute::Texture::wrap(PixelBuffer::create(width, height, PixelFormat::BGRA), 0,
                                TextureFormat::BGRA8Unorm, width, height);
  return slot;
}

void LayoutView::drawLayout() {
  TextureRef source = frameTexture_ ? frameTexture_ : manager_.effectTexture();
  Snapshot snapshot{roiPairList, mode, activate_filter, environment_, shownSize()};
  Result result;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    result = compose(snapshot, source);
  }
  if (result.drawn) present(snapshot.mode, result.picture, source, snapshot.pairs);
}

LayoutView::Result LayoutView::compose(const Snapshot& snapshot, const TextureRef& source) {
  Result result;
  QSizeF size =
      snapshot.mode == LayoutMode::control ? manager_.controlSize() : manager_.navigatorSize();
  int width = int(size.width()), height = int(size.height());
  // The preview's pixels beyond those of the widget showing it would only be scaled away.
  float scale = 1;
  if (snapshot.mode == LayoutMode::control && snapshot.shown.width() >= 2 &&
      snapshot.shown.width() < width && height > 0) {
    scale = float(snapshot.shown.width()) / float(width);
    width = snapshot.shown.width();
    height = std::max(2, int(std::lround(double(height) * scale)));
  }
  if (width <= 0 || height <= 0 || width > FrameSizeLimits::kMaxDrawableSide ||
      height > FrameSizeLimits::kMaxDrawableSide) {
    CV_LOG_FRAME_WARNING(frameLines_, "LayoutView draw: return due to currentDrawable");
    return result;
  }
  if (snapshot.pairs.empty()) return result;
  if (!source || !computeLayoutPipelineState_ || !context_.queue) return result;
  src_width = source->width();
  src_height = source->height();
  auto pass = context_.queue->makeComputePass();
  if (!pass) return result;
  currentDrawable_ = acquireDrawable(width, height);
  if (!currentDrawable_) {
    CV_LOG_FRAME_WARNING(frameLines_, "LayoutView draw: return due to currentDrawable");
    return result;
  }
  const Environment& environment = snapshot.environment;
  pass->setKernel(*computeLayoutPipelineState_);
  pass->setTexture(source, kLayoutSourceTexture);
  pass->setTexture(thumbnail_texture_in_, kLayoutThumbnailTexture);
  pass->setTexture(currentDrawable_, kLayoutOutputTexture);
  pass->setTexture(lookup_texture_in_, kLayoutLookupTexture);
  for (size_t i = 0; i < tag_textures_in_.size(); ++i)
    pass->setTexture(tag_textures_in_[i], kLayoutFirstTagTexture + i);

  LayoutUniforms uniforms;
  uniforms.src_width = float(src_width);
  uniforms.src_height = float(src_height);
  uniforms.output_size[0] = float(width);
  uniforms.output_size[1] = float(height);
  uniforms.thumbnail_width = thumbnail_texture_in_ ? float(thumbnail_texture_in_->width()) : 0;
  uniforms.thumbnail_height = thumbnail_texture_in_ ? float(thumbnail_texture_in_->height()) : 0;
  uniforms.edge_width = kEdgeWidth;
  uniforms.highlight_color[0] = float(environment.speakColor.redF());
  uniforms.highlight_color[1] = float(environment.speakColor.greenF());
  uniforms.highlight_color[2] = float(environment.speakColor.blueF());
  uniforms.activate_filter = snapshot.activate_filter;
  pass->setBytes(&uniforms, sizeof(uniforms), kLayoutUniforms);

  rebuildRecordLists(snapshot, height, scale);
  pass->setBytes(srcList.data(), sizeof(RoiProperty) * kLayoutRecordCount, kLayoutSourceList);
  pass->setBytes(dstList.data(), sizeof(RoiProperty) * kLayoutRecordCount, kLayoutDestinationList);

  LayoutRemapCache::Inputs inputs;
  inputs.src = &srcList;
  inputs.dst = &dstList;
  inputs.sourceWidth = src_width;
  inputs.sourceHeight = src_height;
  inputs.thumbnailWidth = int(uniforms.thumbnail_width);
  inputs.thumbnailHeight = int(uniforms.thumbnail_height);
  inputs.outputWidth = width;
  inputs.outputHeight = height;
  inputs.wrapSource = environment.wrapSource;
  inputs.camera = environment.camera;
  lastRebuilds_ = remapCache_.prepare(inputs, context_.queue->pool());
  pass->setBuffer(&remapCache_, sizeof(remapCache_), kLayoutRemapTables);
  pass->setSampler(samplerState_, 0);

  pass->dispatchThreadgroups({uint32_t(width / 16 + 1), uint32_t(height / 16 + 1), 1}, {16, 16, 1});
  result.drawn = true;
  result.picture = texture_to_pixelBuffer();
  manager_.isBusy = false;
  return result;
}

void LayoutView::setShowsPictures(bool shows) {
  showsPictures_ = shows;
  if (shows) return;
  composed_.reset();
  if (mode == LayoutMode::navigator)
    manager_.setVxdPixelBuffer(nullptr);
  else
    manager_.setControlPixelBuffer(nullptr);
  update();
}

bool LayoutView::present(LayoutMode presentedMode, const PixelBufferRef& picture,
                         const TextureRef& source, const std::vector<LayoutRoiPair>& pairs) {
  if (!showsPictures_) return false;
  if (presentedMode == LayoutMode::navigator)
    manager_.setVxdPixelBuffer(picture);
  else
    manager_.setControlPixelBuffer(picture);
  if (!picture) return true;
  roiPairList = pairs;
  composed_ = picture;
  if (presentedMode == LayoutMode::control)
    RunProfile::shared().framesShown.fetch_add(1, std::memory_order_relaxed);
  if (isVisible()) update();
  emit composed(picture, source);
  return true;
}

PixelBufferRef LayoutView::texture_to_pixelBuffer() {
  if (!currentDrawable_) {
    CV_LOG_FRAME_WARNING(frameLines_, "LayoutView draw: return due to currentDrawable");
    return nullptr;
  }
  if (manager_.isBusy.exchange(true)) {
    // The picture of this frame is not handed on; the system log hears of it, but not with
    // every frame.
    CV_LOG_FRAME_WARNING(frameLines_, "#### MetalManager isBusy");
    return nullptr;
  }
  // The drawable's own buffer is handed on whole; the next frame draws into a free one.
  return currentDrawable_->pixelBuffer();
}

void LayoutView::rebuildRecordLists(const Snapshot& snapshot, int outputHeight, float scale) {
  for (size_t i = 0; i < kLayoutRecordCount; ++i) {
    srcList[i] = RoiProperty::empty();
    dstList[i] = RoiProperty::empty();
    if (i >= snapshot.pairs.size()) continue;
    const auto& pair = snapshot.pairs[i];
    // Bordered pairs are outlined over the preview, not drawn into it.
    if (snapshot.mode == LayoutMode::control && pair.has_border) continue;
    recordsOfPair(snapshot, pair, outputHeight, scale, srcList[i], dstList[i]);
  }
}

void LayoutView::recordsOfPair(const Snapshot& snapshot, const LayoutRoiPair& pair,
                               int outputHeight, float scale, RoiProperty& src,
                               RoiProperty& dst) const {
  const Environment& environment = snapshot.environment;
  dst.x = float(pair.dst_rect.x) * scale;
  dst.y = float(pair.dst_rect.y) * scale;
  dst.width = float(pair.dst_rect.width) * scale;
  dst.height = float(pair.dst_rect.height) * scale;
  if (pair.isThumbnail) {
    float w = dst.height > 0 ? dst.width * float(src_height) / dst.height : 0;
    src.x = (float(src_width) - w) * 0.5f;
    src.y = 0;
    src.width = w;
    src.height = float(src_height);
  } else {
    src.x = float(pair.src_rect.x);
    src.y = float(pair.src_rect.y);
    src.width = float(pair.src_rect.width);
    src.height = float(pair.src_rect.height);
  }
  // A short edge list leaves the missing edges off.
  auto edge = [&](size_t k) { return k < pair.edge_config.size() && pair.edge_config[k] != 0; };
  dst.edge_top = edge(0);
  dst.edge_bottom = edge(1);
  dst.edge_left = edge(2);
  dst.edge_right = edge(3);
  dst.has_tag = pair.has_nametag;
  src.isThumbnail = dst.isThumbnail = pair.isThumbnail;
  if (snapshot.mode == LayoutMode::navigator && (pair.type == 11 || pair.type == 12) &&
      environment.enablePerspectiveProjection && src_width > 0 && src_height > 0) {
    PerspectiveProjection projection(src_width, src_height, outputHeight, environment.camera);
    dst.project = projection.computeProjection(dst, src);
  }
  if (snapshot.mode == LayoutMode::navigator) {
    Effect effect = manager_.effect();
    dst.effect.ratio = effect.value;
    dst.effect.mode = float(static_cast<int>(effect.mode));
    dst.effect.enable = manager_.enableEffect.load();
  }
}

void LayoutView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PixelBufferRef picture = composed_;
  if (!picture) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  QImage image(picture->baseAddress(0), picture->width(), picture->height(),
               qsizetype(picture->bytesPerRow(0)), QImage::Format_RGB32);
  painter.drawImage(rect(), image);
}

}  // namespace corvane
