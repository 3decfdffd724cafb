#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QRgb>
#include <QWidget>
#include <array>
#include <vector>

#include "render/BorderProperty.h"

namespace corvane {

class ConfigManager;

// The ROI outlines over the preview: each ROI's outline in the colour of its state, its name
// tag, resize handles and the pin, ignore, move and microphone icons; in edit mode a dashed grid
// instead. It only draws: every press and move goes to the preview beneath, and the main window
// fills its records and ids.
class BorderView : public QWidget {
  Q_OBJECT

 public:
  explicit BorderView(QWidget* parent = nullptr);
  BorderView(ConfigManager& config, QWidget* parent);

  QImage pinIcon, microphoneIcon, ignoreIcon, moveIcon, anchorIcon;

  bool mirror() const { return mirror_; }
  void setMirror(bool mirror);
  bool inEditMode() const { return inEditMode_; }
  void setInEditMode(bool editing);
  const std::vector<BorderProperty>& borders() const { return borders_; }
  void setBorders(std::vector<BorderProperty> borders);
  int64_t hoveringRectId() const { return hoveringRectId_; }
  void setHoveringRectId(int64_t id);
  int64_t selectedRectId() const { return selectedRectId_; }
  void setSelectedRectId(int64_t id);

  // Draws what the view shows into `painter` for a view of `size` (the paint event's work).
  void draw(QPainter& painter, QSizeF size) const;
  // How many times the paint events drew a layer they show: each change draws the layer of the
  // records it touched once (tracking outlines apart from the rest, as they move every frame).
  int layerDraws() const { return layerDraws_; }
  // Only the outlines, without tags, icons or handles (the baseline of the overlay's cost).
  void drawOutlines(QPainter& painter, QSizeF size) const;

  // ---- the drawing's geometry ----
  static constexpr double kReferenceWidth = 997.0;
  static constexpr int kEditGridLines = 7;
  // The tag's box for a ROI whose top-left is `p` and height h, a text box of `textSize`
  // (measured), scale s, in a view of `view`: above the box, else below it, else inside its
  // top-left corner; pushed left to end at the view's right edge.
  static QRectF tagRect(QPointF p, double h, QSizeF textSize, double s, QSizeF view,
                        double lineWidth);
  // The text's height as laid out: at least 18.
  static double tagTextHeight(double measured) { return measured > 18 ? measured : 18; }
  // The eight handle centres: top-left, top-middle, top-right, middle-left, middle-right,
  // bottom-left, bottom-middle, bottom-right.
  static std::array<QPointF, 8> handlePoints(QPointF p, double w, double h);
  // Where a record's icons go at scale s: the move icon inside the bottom-right corner, the pin
  // and ignore marks inside the top-right corner, the microphone centred on the top-left.
  struct Decorations {
    QRectF move, pin, microphone;
  };
  static Decorations decorationRects(const BorderProperty& border, double s);
  // Whether a record shows resize handles with `selectedId` selected.
  static bool showsHandles(const BorderProperty& border, int64_t selectedId);
  // The tag's text: the name, or company over title while the pointer is on the ROI.
  static QString tagText(const BorderProperty& border, int64_t hoveringId);
  static QFont tagFont();
  // The measured size of a tag text in its 200 x 30 fitting box.
  static QSizeF measureTagText(const QString& text);

  // The outline colour of a mode, from the settings, opaque.
  QColor colorFor(BorderMode mode) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void drawRecord(QPainter& painter, const BorderProperty& border, double s, QSizeF view) const;
  void drawTag(QPainter& painter, const BorderProperty& border, double s, QSizeF view) const;
  const QImage& scaledTag(const QImage& background, double s) const;

  // What the drawn layer depends on besides the records and ids (their setters mark it stale):
  // the view's pixels, the settings' colours and the icons, which callers may replace.
  struct LayerKey {
    QSize pixels;
    qreal ratio = 1;
    std::array<QRgb, 6> colours{};
    std::array<qint64, 5> icons{};
    bool operator==(const LayerKey&) const = default;
  };
  LayerKey layerKey(qreal ratio) const;

  ConfigManager& config_;
  bool mirror_ = false;
  bool inEditMode_ = false;
  std::vector<BorderProperty> borders_;
  int64_t hoveringRectId_ = -1;
  int64_t selectedRectId_ = -1;
  QImage tagNormal_, tagTracking_, tagSpeaking_;
  QImage mirroredMicrophone_;
  struct ScaledTag {
    const void* source;
    QImage image;
  };
  mutable std::vector<ScaledTag> scaledTags_;
  // The outlines, tags and icons drawn once and shown by every paint until something they depend
  // on changes: the preview beneath repaints at the camera's rate, and stroking the outlines
  // again each time cost the main thread more than all the rest of its work.
  // Two layers: the user's own ROIs (a dashed outline round the whole picture costs most to
  // draw, and changes only when the user edits) beneath the tracking outlines.
  enum Layer { kOwnLayer = 0, kTrackingLayer = 1 };
  static bool inLayer(const BorderProperty& border, int layer) {
    return (border.mode == BorderMode::tracking) == (layer == kTrackingLayer);
  }
  // Whether two record lists hold the same records of one layer, in the same order.
  static bool sameInLayer(const std::vector<BorderProperty>& a,
                          const std::vector<BorderProperty>& b, int layer);
  void drawLayer(QPainter& painter, QSizeF size, int layer) const;
  void markStale() { layerStale_ = {true, true}; }
  std::array<QImage, 2> layers_;
  LayerKey layerKey_;
  std::array<bool, 2> layerStale_{true, true};
  int layerDraws_ = 0;
};

}  // namespace corvane
