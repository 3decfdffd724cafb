#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "camera/PlayerMode.h"
#include "camera/PlayerStatus.h"
#include "dispatch/Clock.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/SerialQueue.h"
#include "util/Observable.h"
#include "video/PixelBuffer.h"

class QWidget;

namespace corvane {

class VideoDecoder;

// A video file or a set of still pictures standing in for the camera: it turns the chosen file
// into a stream of NV12 full-range frames handed to one consumer, `outputBuffer`.
//
// Threads: the public operations run on the main thread. Video is opened, decoded, paced and
// delivered on the serial queue "VideoOutputQueue"; still pictures are pushed ten times a second
// from the queue "push.image.timer". The consumer must accept frames from either.
class PlayerManager {
 public:
  using OutputBuffer = std::function<void(platform::PixelBufferRef)>;

  // A file asked for that was not played, and why.
  struct Refusal {
    std::string fileName;
    std::string reason;
    std::string path;  // the file as it was asked for, to ask for it again
    bool operator==(const Refusal&) const = default;
  };

  static constexpr const char* kVideoTypes[] = {"mp4", "MP4", "mov", "MOV"};
  static constexpr const char* kImageTypes[] = {"jpg", "JPG", "png", "PNG"};

  static PlayerManager& shared();
  explicit PlayerManager(platform::Clock& clock = platform::Clock::shared());
  ~PlayerManager();
  PlayerManager(const PlayerManager&) = delete;
  PlayerManager& operator=(const PlayerManager&) = delete;

  // Shows the file chooser as a sheet on the window and loads what is chosen.
  void openFile(QWidget* window);
  // What the chooser's choice leads to: a video opened on the player's queue (a file that
  // cannot be played is logged and changes nothing), or pictures appended to `images`.
  // `opened`, when given, hears on the main thread how the open went: an empty text once the
  // file is the player's, else why it is not.
  using Opened = std::function<void(const std::string& problem)>;
  void loadVideo(const QString& path, Opened opened = {});
  void loadImages(const QStringList& paths);
  // Chooses the kind of file played. A source of the other kind is closed first, so that one
  // source plays at a time: the player is then without a file until one of the new kind opens.
  void setMode(PlayerMode newMode);

  void play();
  void pause();
  // Ends playback for good: once it returns no frame is handed out any more, to the consumer or
  // to an observer. The program calls it on its way out, while what the frames go to still
  // exists; the destructor calls it too.
  void close();

  // One frame or one picture forward or back.
  void stepForward();
  void stepBackward();

  // An NV12 full-range buffer of that size, black; none (and an error line) when it cannot be made.
  platform::PixelBufferRef createPixelBuffer(int width, int height);

  bool hasValidAsset() const;
  // Size of the frames delivered: the decoded video frames', or the first picture's (even sizes).
  QSizeF frameSize() const;
  std::string fileName() const;
  OutputBuffer outputBuffer() const;
  void setOutputBuffer(OutputBuffer callback);
  // Further receivers of every frame handed out (the player window's view), called after
  // `outputBuffer` on the delivering queue. The id given back removes one; an observer may still
  // be called once by a delivery already under way when it is removed.
  int addFrameObserver(OutputBuffer observer);
  void removeFrameObserver(int id);
  const ObservableRef<bool> setupComplete;
  // Playback position in seconds.
  const ObservableRef<double> currentTime;
  // The video's duration in seconds.
  double duration() const;
  // While a video plays, its own frame rate where it plays now (frames a second, from its time
  // stamps, whether or not every frame could be decoded); 0 otherwise.
  double clipRate() const { return clipRate_.load(std::memory_order_relaxed); }
  const ObservableRef<PlayerStatus> status;
  std::vector<QImage> images() const;
  int currentIndex() const;
  const ObservableRef<PlayerMode> mode;
  // The last video asked for that could not be played, while the player keeps what it had;
  // empty again once a file opens or the mode changes.
  const ObservableRef<Refusal> refusal;
  // The path of the video that is the source; none while pictures or nothing play.
  std::optional<std::string> asset() const;
  // The buffer holding the picture shown.
  platform::PixelBufferRef imagePixel() const;

  platform::SerialQueue& videoOutputQueue() { return *videoOutputQueue_; }
  platform::SerialQueue& pushImageQueue() { return *pushImageQueue_; }

 private:
  enum class Source { none, video, images };

  void deliver(const platform::PixelBufferRef& buffer);
  // The source's parts, on the main thread: each leaves the player as if it had never opened one.
  void closeSource();
  void dropVideo();
  void dropImages();
  // Video, on the player's queue.
  void deliverCurrentFrame();
  void startVideoPacing();
  void stopVideoPacing();
  void onDisplayLink();
  void noteStampJump(int64_t from, int64_t to);
  // Pictures, on the main thread.
  void showImage(size_t index);
  void stopImagePush();
  void pushImageOnce();

  platform::Clock& clock_;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);  // tasks posted to main hold it weakly

  mutable std::mutex mutex_;  // guards the fields below that other threads read
  bool hasValidAsset_ = false;
  QSizeF frameSize_{0, 0};
  std::string fileName_ = "No File";
  OutputBuffer outputBuffer_;
  std::vector<std::pair<int, OutputBuffer>> frameObservers_;
  int nextObserverId_ = 1;
  double duration_ = 0;
  std::optional<std::string> asset_;
  platform::PixelBufferRef imagePixel_;

  // Main thread only.
  Source source_ = Source::none;
  std::vector<QImage> images_;
  size_t currentIndex_ = 0;
  std::unique_ptr<platform::DispatchTimer> pushImageTimer_;

  // The player's queue only.
  std::unique_ptr<VideoDecoder> player_;
  std::unique_ptr<platform::DispatchTimer> displayLink_;  // paces the frame pull while playing
  int64_t anchorPts_ = 0;
  platform::Clock::TimePoint anchorTime_{};
  // The stamps' latest step from one frame to the next: a variable-rate clip's fast stretch
  // holds several frames to a tick, which are passed over at that rate.
  int64_t frameStepNs_ = 0;
  std::atomic<double> clipRate_{0};
  std::vector<int64_t> jumpsLogged_;  // the frames after which the file's stamps jump, told once

  std::unique_ptr<platform::SerialQueue> pushImageQueue_;
  std::unique_ptr<platform::SerialQueue> videoOutputQueue_;
};

}  // namespace corvane
