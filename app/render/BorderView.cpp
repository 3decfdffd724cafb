#include "render/BorderView.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "config/ConfigManager.h"
#include "util/ImageExtension.h"
#include "widgets/ImageAssets.h"

namespace corvane {

namespace {

QImage asset(const char* name) { return ImageAssets::named(QString::fromLatin1(name)).toImage(); }

// Halves away from zero, as the tag's sizes and positions are taken.
double whole(double v) { return std::round(v); }

QColor opaque(const std::optional<QColor>& setting, QColor fallback) {
  QColor c = setting.value_or(fallback);
  c.setAlphaF(1.0);
  return c;
}

}  // namespace

BorderView::BorderView(QWidget* parent) : BorderView(ConfigManager::shared(), parent) {}

BorderView::BorderView(ConfigManager& config, QWidget* parent) : QWidget(parent), config_(config) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_TranslucentBackground);
  pinIcon = asset("icon_pin");
  microphoneIcon = asset("icon_microphone");
  ignoreIcon = asset("icon_ignore_tag");
  moveIcon = asset("icon_view_move");
  anchorIcon = asset("icon_dot");
  tagNormal_ = asset("tag_name_style_normal");
  tagTracking_ = asset("tag_name_style_tracking");
  tagSpeaking_ = asset("tag_name_style_speaking");
  if (!microphoneIcon.isNull())
    mirroredMicrophone_ = ImageExtension::mirrored(microphoneIcon, true, false);
}

void BorderView::setMirror(bool mirror) {
  if (mirror_ == mirror) return;
  mirror_ = mirror;
  markStale();
  update();
}

void BorderView::setInEditMode(bool editing) {
  if (inEditMode_ == editing) return;
  inEditMode_ = editing;
  markStale();
  update();
}

void BorderView::setBorders(std::vector<BorderProperty> borders) {
  // The same records again (every analysed frame hands them over) leave the layers as drawn.
  if (borders == borders_) return;
  for (int layer : {kOwnLayer, kTrackingLayer})
    if (!sameInLayer(borders, borders_, layer)) layerStale_[size_t(layer)] = true;
  borders_ = std::move(borders);
  update();
}

void BorderView::setHoveringRectId(int64_t id) {
  if (hoveringRectId_ == id) return;
  hoveringRectId_ = id;
  markStale();
  update();
}

void BorderView::setSelectedRectId(int64_t id) {
  if (selectedRectId_ == id) return;
  selectedRectId_ = id;
  markStale();
  update();
}

QColor BorderView::colorFor(BorderMode mode) const {
  switch (mode) {
    case BorderMode::normal:
    case BorderMode::editing:
      return opaque(config_.rectColor, Qt::white);
    case BorderMode::tracking:
      return opaque(config_.trackColor, QColor(40, 150, 245));
    case BorderMode::speak:
      return opaque(config_.speakColor, QColor(255, 196, 0));
    case BorderMode::ignore:
      return opaque(config_.ignoreColor, QColor(230, 60, 60));
    case BorderMode::focus:
    case BorderMode::pip:
      return opaque(config_.focusColor, QColor(60, 200, 120));
  }
  return Qt::white;
}

QRectF BorderView::tagRect(QPointF p, double h, QSizeF textSize, double s, QSizeF view,
                           double lineWidth) {
  double th = tagTextHeight(textSize.height());
  double W = textSize.width() + 5;
  double T = (th + 4) * s, B = (W + 20) * s;
  double x = p.x() - 1, y = p.y() - T;
  if (p.y() - T <= 0) {
    y = p.y() + h;
    if (p.y() + h + T > view.height()) {
      y = p.y() + lineWidth;
      x = p.x() - 1 + lineWidth;
    }
  }
  if (x + B > view.width()) x -= x + B - view.width();
  return QRectF(x, y, B, T);
}

std::array<QPointF, 8> BorderView::handlePoints(QPointF p, double w, double h) {
  double x = p.x(), y = p.y();
  return {QPointF(x, y),
          QPointF(x + w / 2, y),
          QPointF(x + w, y),
          QPointF(x, y + h / 2),
          QPointF(x + w, y + h / 2),
          QPointF(x, y + h),
          QPointF(x + w / 2, y + h),
          QPointF(x + w, y + h)};
}

BorderView::Decorations BorderView::decorationRects(const BorderProperty& b, double s) {
  QPointF p = b.points.empty() ? QPointF() : b.points[0];
  double w = b.width, h = b.height;
  return {QRectF(p.x() + w - 32 * s, p.y() + h - 33 * s, 32 * s, 33 * s),
          QRectF(p.x() + w - 18 * s, p.y(), 18 * s, 18 * s),
          QRectF(p.x() - 12 * s, p.y() - 12 * s, 24 * s, 24 * s)};
}

bool BorderView::showsHandles(const BorderProperty& b, int64_t selectedId) {
  if (b.mode == BorderMode::tracking) return false;
  if (b.hasAnchor) return true;
  return selectedId != -1 && selectedId == b.id && !b.isDashed;
}

QString BorderView::tagText(const BorderProperty& b, int64_t hoveringId) {
  if (hoveringId != b.id) return QString::fromStdString(b.name);
  QString company =
      b.company.empty() ? QStringLiteral("Company") : QString::fromStdString(b.company);
  QString title = b.title.empty() ? QStringLiteral("Title") : QString::fromStdString(b.title);
  return company + "\n" + title;
}

QFont BorderView::tagFont() {
  QFont font;
  font.setPixelSize(10);
  return font;
}

QSizeF BorderView::measureTagText(const QString& text) {
  static const QFontMetrics metrics(tagFont());
  QRect r = metrics.boundingRect(QRect(0, 0, 200, 30), Qt::TextWordWrap, text);
  return QSizeF(r.width(), r.height());
}

bool BorderView::sameInLayer(const std::vector<BorderProperty>& a,
                             const std::vector<BorderProperty>& b, int layer) {
  auto next = [layer](auto it, auto end) {
    while (it != end && !inLayer(*it, layer)) ++it;
    return it;
  };
  auto i = next(a.begin(), a.end());
  auto j = next(b.begin(), b.end());
  for (; i != a.end() && j != b.end(); i = next(i + 1, a.end()), j = next(j + 1, b.end()))
    if (!(*i == *j)) return false;
  return i == a.end() && j == b.end();
}

BorderView::LayerKey BorderView::layerKey(qreal ratio) const {
  LayerKey key;
  key.pixels = (QSizeF(size()) * ratio).toSize();
  key.ratio = ratio;
  const BorderMode modes[] = {BorderMode::normal, BorderMode::tracking, BorderMode::speak,
                              BorderMode::ignore, BorderMode::focus,    BorderMode::editing};
  for (size_t i = 0; i < key.colours.size(); ++i) key.colours[i] = colorFor(modes[i]).rgba();
  const QImage* icons[] = {&pinIcon, &microphoneIcon, &ignoreIcon, &moveIcon, &anchorIcon};
  for (size_t i = 0; i < key.icons.size(); ++i) key.icons[i] = icons[i]->cacheKey();
  return key;
}

void BorderView::paintEvent(QPaintEvent* event) {
  const qreal ratio = devicePixelRatioF();
  LayerKey key = layerKey(ratio);
  if (key.pixels.isEmpty()) return;
  if (!(key == layerKey_)) markStale();
  layerKey_ = key;
  QPainter painter(this);
  const QRect r = event->rect();
  const QRectF source(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio);
  for (int layer : {kOwnLayer, kTrackingLayer}) {
    QImage& image = layers_[size_t(layer)];
    if (layerStale_[size_t(layer)] || image.isNull()) {
      if (image.size() != key.pixels)
        image = QImage(key.pixels, QImage::Format_ARGB32_Premultiplied);
      image.setDevicePixelRatio(ratio);
      image.fill(Qt::transparent);
      QPainter layerPainter(&image);
      drawLayer(layerPainter, size(), layer);
      layerStale_[size_t(layer)] = false;
      ++layerDraws_;
    }
    painter.drawImage(QRectF(r), image, source);
  }
}

void BorderView::draw(QPainter& painter, QSizeF size) const {
  painter.setRenderHint(QPainter::Antialiasing);
  if (inEditMode_) {
    drawLayer(painter, size, kOwnLayer);
    return;
  }
  double s = size.width() / kReferenceWidth;
  for (const BorderProperty& border : borders_) drawRecord(painter, border, s, size);
}

void BorderView::drawLayer(QPainter& painter, QSizeF size, int layer) const {
  painter.setRenderHint(QPainter::Antialiasing);
  if (inEditMode_) {
    if (layer != kOwnLayer) return;
    QPen pen(QColor(255, 255, 255, 128), 2, Qt::CustomDashLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setDashPattern({2.5, 2.5});  // 5 on, 5 off, in units of the pen's width
    painter.setPen(pen);
    for (int k = 1; k <= kEditGridLines; ++k) {
      double x = k * (size.width() / 8);
      painter.drawLine(QPointF(x, 0), QPointF(x, size.height()));
    }
    return;
  }
  double s = size.width() / kReferenceWidth;
  for (const BorderProperty& border : borders_)
    if (inLayer(border, layer)) drawRecord(painter, border, s, size);
}

void BorderView::drawOutlines(QPainter& painter, QSizeF) const {
  painter.setRenderHint(QPainter::Antialiasing);
  for (const BorderProperty& b : borders_) {
    if (b.points.empty()) continue;
    painter.setPen(QPen(colorFor(b.mode), b.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path(b.points[0]);
    for (size_t i = 1; i < b.points.size(); ++i) path.lineTo(b.points[i]);
    path.closeSubpath();
    painter.drawPath(path);
  }
}

void BorderView::drawRecord(QPainter& painter, const BorderProperty& b, double s,
                            QSizeF view) const {
  if (b.points.empty()) return;
  QPointF p = b.points[0];
  double w = b.width, h = b.height;

  // Outline: solid in the mode's colour, or dashed white with the move icon.
  QPen pen(b.isDashed ? QColor(Qt::white) : colorFor(b.mode), b.lineWidth, Qt::SolidLine,
           Qt::RoundCap, Qt::RoundJoin);
  if (b.isDashed && b.lineWidth > 0) {
    pen.setStyle(Qt::CustomDashLine);
    pen.setDashPattern({5 / b.lineWidth, 5 / b.lineWidth});
  }
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  QPainterPath path(p);
  for (size_t i = 1; i < b.points.size(); ++i) path.lineTo(b.points[i]);
  path.closeSubpath();
  painter.drawPath(path);
  Decorations places = decorationRects(b, s);
  if (b.isDashed && !moveIcon.isNull()) painter.drawImage(places.move, moveIcon);

  if (b.hasTag && p.x() > 0 && !b.name.empty()) drawTag(painter, b, s, view);

  if (showsHandles(b, selectedRectId_) && !anchorIcon.isNull())
    for (const QPointF& c : handlePoints(p, w, h))
      painter.drawImage(QRectF(c.x() - 6, c.y() - 6, 12, 12), anchorIcon);
  if (b.hasPin && !pinIcon.isNull()) painter.drawImage(places.pin, pinIcon);
  if (b.hasIgnore && !ignoreIcon.isNull()) painter.drawImage(places.pin, ignoreIcon);
  if (b.mode == BorderMode::speak && !microphoneIcon.isNull())
    painter.drawImage(places.microphone, mirror_ ? mirroredMicrophone_ : microphoneIcon);
}

const QImage& BorderView::scaledTag(const QImage& background, double s) const {
  // The three backgrounds at the view's scale, made again only when the scale changes.
  QSize size(int(whole(100 * s)), int(whole(30 * s)));
  const void* key = &background;
  for (const auto& entry : scaledTags_)
    if (entry.source == key && entry.image.size() == size) return entry.image;
  if (scaledTags_.size() >= 6) scaledTags_.clear();
  scaledTags_.push_back(
      {key, background.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)});
  return scaledTags_.back().image;
}

void BorderView::drawTag(QPainter& painter, const BorderProperty& b, double s, QSizeF view) const {
  QString text = tagText(b, hoveringRectId_);
  QSizeF measured = measureTagText(text);
  QRectF box = tagRect(b.points[0], b.height, measured, s, view, b.lineWidth);
  double th = tagTextHeight(measured.height());
  double W = measured.width() + 5;
  const QImage& background = b.mode == BorderMode::tracking ? tagTracking_
                             : b.mode == BorderMode::speak  ? tagSpeaking_
                                                            : tagNormal_;
  QRectF target(whole(box.x()), whole(box.y()), whole(box.width()), whole(box.height()));
  if (!background.isNull()) {
    ImageExtension::drawNinePart(scaledTag(background, s), painter, whole(10 * s), target);
  } else {
    // No background picture: a rounded box in the mode's colour keeps the text readable.
    painter.setPen(Qt::NoPen);
    painter.setBrush(colorFor(b.mode));
    painter.drawRoundedRect(target, 4 * s, 4 * s);
    painter.setBrush(Qt::NoBrush);
  }
  bool single = th == 18;
  double fieldH = single ? 18 : th, inset = single ? 5 : 2;
  QRectF place(whole(box.x() + 10 * s), whole(box.y() + inset * s), whole(W * s), whole(th * s));
  if (place.width() <= 0 || place.height() <= 0) return;
  painter.save();
  painter.translate(place.topLeft());
  painter.scale(place.width() / W, place.height() / th);
  painter.setFont(tagFont());
  painter.setPen(Qt::white);
  painter.drawText(QRectF(0, 0, W, fieldH),
                   (single ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop | Qt::TextWordWrap,
                   text);
  painter.restore();
}

}  // namespace corvane
