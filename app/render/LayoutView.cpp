#include "render/LayoutView.h"

#include <syslog.h>

#include <QPainter>
#include <atomic>
#include <cmath>

#include "Bundle.h"
#include "log/LogManager.h"
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
  setup();
}

LayoutView::~LayoutView() = default;

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

void LayoutView::updateEffectFrame() {
  frameTexture_ = manager_.effectTexture();
  if (!frameTexture_) return;
  src_width = frameTexture_->width();
  src_height = frameTexture_->height();
  if (mode == LayoutMode::control) {
    int h = int(float(src_height) / float(src_width) * 1280.0f);
    QSizeF size = manager_.controlSize();
    size.setHeight(h % 2 == 0 ? h : h + 1);
    manager_.setControlSize(size);
  }
  drawLayout();
  frameTexture_.reset();
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
  // A new one in the slot not drawn last; whoever holds the picture it replaces keeps it.
  TextureRef& slot = drawables_[0] == currentDrawable_ ? drawables_[1] : drawables_[0];
  slot = compute::Texture::wrap(PixelBuffer::create(width, height, PixelFormat::BGRA), 0,
                                TextureFormat::BGRA8Unorm, width, height);
  return slot;
}

void LayoutView::drawLayout() {
  QSizeF size = mode == LayoutMode::control ? manager_.controlSize() : manager_.navigatorSize();
  int width = int(size.width()), height = int(size.height());
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    CV_LOG_WARNING("LayoutView draw: return due to currentDrawable");
    return;
  }
  if (roiPairList.empty()) return;
  TextureRef source = frameTexture_ ? frameTexture_ : manager_.effectTexture();
  if (!source || !computeLayoutPipelineState_ || !context_.queue) return;
  src_width = source->width();
  src_height = source->height();
  auto pass = context_.queue->makeComputePass();
  if (!pass) return;
  currentDrawable_ = acquireDrawable(width, height);
  if (!currentDrawable_) {
    CV_LOG_WARNING("LayoutView draw: return due to currentDrawable");
    return;
  }
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
  uniforms.highlight_color[0] = float(environment_.speakColor.redF());
  uniforms.highlight_color[1] = float(environment_.speakColor.greenF());
  uniforms.highlight_color[2] = float(environment_.speakColor.blueF());
  uniforms.activate_filter = activate_filter;
  pass->setBytes(&uniforms, sizeof(uniforms), kLayoutUniforms);

  rebuildRecordLists(height);
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
  inputs.wrapSource = environment_.wrapSource;
  inputs.camera = environment_.camera;
  lastRebuilds_ = remapCache_.prepare(inputs, context_.queue->pool());
  pass->setBuffer(&remapCache_, sizeof(remapCache_), kLayoutRemapTables);
  pass->setSampler(samplerState_, 0);

  pass->dispatchThreadgroups({uint32_t(width / 16 + 1), uint32_t(height / 16 + 1), 1}, {16, 16, 1});
  PixelBufferRef picture = texture_to_pixelBuffer();
  if (mode == LayoutMode::navigator)
    manager_.setVxdPixelBuffer(picture);
  else
    manager_.setControlPixelBuffer(picture);
  if (picture) {
    composed_ = picture;
    if (mode == LayoutMode::control)
      RunProfile::shared().framesShown.fetch_add(1, std::memory_order_relaxed);
    if (isVisible()) update();
    emit composed(picture, source);
  }
  manager_.isBusy = false;
}

PixelBufferRef LayoutView::texture_to_pixelBuffer() {
  if (!currentDrawable_) {
    CV_LOG_WARNING("LayoutView draw: return due to currentDrawable");
    return nullptr;
  }
  if (manager_.isBusy.exchange(true)) {
    syslog(LOG_INFO, "#### MetalManager isBusy");
    return nullptr;
  }
  // The drawable's own buffer is handed on whole; the next frame draws into a free one.
  return currentDrawable_->pixelBuffer();
}

void LayoutView::rebuildRecordLists(int outputHeight) {
  for (size_t i = 0; i < kLayoutRecordCount; ++i) {
    srcList[i] = RoiProperty::empty();
    dstList[i] = RoiProperty::empty();
    if (i >= roiPairList.size()) continue;
    const auto& pair = roiPairList[i];
    // Bordered pairs are outlined over the preview, not drawn into it.
    if (mode == LayoutMode::control && pair.has_border) continue;
    recordsOfPair(pair, outputHeight, srcList[i], dstList[i]);
  }
}

void LayoutView::recordsOfPair(const LayoutRoiPair& pair, int outputHeight, RoiProperty& src,
                               RoiProperty& dst) const {
  dst.x = float(pair.dst_rect.x);
  dst.y = float(pair.dst_rect.y);
  dst.width = float(pair.dst_rect.width);
  dst.height = float(pair.dst_rect.height);
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
  if (mode == LayoutMode::navigator && (pair.type == 11 || pair.type == 12) &&
      environment_.enablePerspectiveProjection && src_width > 0 && src_height > 0) {
    PerspectiveProjection projection(src_width, src_height, outputHeight, environment_.camera);
    dst.project = projection.computeProjection(dst, src);
  }
  if (mode == LayoutMode::navigator) {
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
               qsizetype(picture->bytesPerRow(0)), QImage::Format_ARGB32);
  painter.drawImage(rect(), image);
}

}  // namespace corvane
