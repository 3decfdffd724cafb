#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <optional>

class QLabel;
class QWidget;

namespace corvane {

// A looping flip-book: shows a list of images one after the other in a label, each for
// f / 10 seconds (f = 1 by default), without end. Stopping keeps the image last shown.
class ImageSequenceAnimation : public QObject {
  Q_OBJECT
 public:
  ImageSequenceAnimation(QList<QPixmap> images, std::optional<float> frameTimeFactor,
                         QLabel* target);

  // A new label (given the frame when there is one) playing the images, its animation running.
  static QLabel* addImageSequenceAnimation(const QList<QPixmap>& images,
                                           std::optional<float> frameTimeFactor,
                                           std::optional<QRect> frame, QWidget* parent = nullptr);

  // One cycle, in seconds: images × f / 10.
  float duration() const { return duration_; }
  // Milliseconds each image shows.
  int frameInterval() const { return timer_.interval(); }
  int currentIndex() const { return index_; }
  bool isRunning() const { return timer_.isActive(); }

  // Shows the first image and starts stepping; an empty list shows nothing and never runs.
  void start();
  void stop();

 public slots:
  // Shows the next image, after the last the first again.
  void advance();

 private:
  void show();

  QList<QPixmap> images_;
  QPointer<QLabel> target_;
  float duration_ = 0;
  int index_ = 0;
  QTimer timer_;
};

}  // namespace corvane
