#pragma once

#include <QPointer>
#include <QWidget>

namespace corvane {

class ImageView;

// The control board's indicator lamp: the lamp-off picture with the lamp-on picture over it,
// transparent until the owner raises its alpha.
class BreathingLightView : public QWidget {
  Q_OBJECT

 public:
  explicit BreathingLightView(const QRect& frame = QRect(), QWidget* parent = nullptr);

  // Makes both pictures afresh over the whole view, replacing whatever the view held.
  void setupImageViews();

  ImageView* imageView_1() const { return imageView1_; }
  ImageView* imageView_2() const { return imageView2_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPointer<ImageView> imageView1_;
  QPointer<ImageView> imageView2_;
};

}  // namespace corvane
