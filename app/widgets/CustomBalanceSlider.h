#pragma once

#include <QColor>
#include <QSizeF>
#include <QWidget>
#include <functional>
#include <vector>

#include "widgets/CustomSliderType.h"

namespace corvane {

class CustomView;
class ThumbView;

// A self-drawn slider: a thin track, a filled part, optional tick marks and a round thumb the
// user drags. It reports the thumb's position from 0 to 1 while dragging and when the drag ends;
// what that position means is the owner's business. A disabled slider ignores drags.
class CustomBalanceSlider : public QWidget {
  Q_OBJECT

 public:
  explicit CustomBalanceSlider(const QRect& frame = QRect(), QWidget* parent = nullptr);
  ~CustomBalanceSlider() override;

  QColor backgroundColor;
  QColor highlightColor;
  QColor lineColor;
  QColor tintColor;
  double backgroundViewHeight = 2.0;
  QSizeF thumbSize{10, 10};
  QSizeF itemSize{1, 10};
  int itemCount = 0;
  std::function<void(float)> sliderHandler;
  std::function<void(float)> sliderCompletedHandler;
  CustomSliderType type = CustomSliderType::Normal;

  // Rebuilds the tick marks or the middle mark; the owner calls it after setting type and
  // itemCount.
  void layoutItems();
  // Puts the thumb's centre at x (slider coordinates, kept on the track) and resizes the
  // filled part.
  void updateThumb(double x);

  ThumbView* thumbView() const { return thumbView_; }
  CustomView* tintView() const { return tintView_; }
  CustomView* backgroundView() const { return backgroundView_; }
  CustomView* centerView() const { return centerView_; }
  const std::vector<CustomView*>& itemViewArray() const { return itemViewArray_; }
  // The thumb's centre and left edge, in fractions of a point.
  double thumbCentre() const { return thumbCentre_; }
  QRectF tintFrame() const { return tintFrame_; }

  QSize sizeHint() const override { return QSize(120, 20); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QRectF trackFrame() const;
  void makeTrack();
  void makeTintAndThumb();
  void placeThumbVertically();
  float currentPosition() const;
  void panChanged(double x);
  void panEnded();

  ThumbView* thumbView_ = nullptr;
  CustomView* tintView_ = nullptr;
  CustomView* backgroundView_ = nullptr;
  CustomView* centerView_ = nullptr;
  std::vector<CustomView*> itemViewArray_;
  double thumbCentre_ = 0;
  QRectF tintFrame_;
  bool itemsLaidOut_ = false;
  bool thumbPlaced_ = false;

  enum class Gesture { none, pressedOnThumb, panning };
  Gesture gesture_ = Gesture::none;
};

}  // namespace corvane
