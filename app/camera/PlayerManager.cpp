#include "camera/PlayerManager.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <cstdio>

#include "BoundedFile.h"
#include "FreedMemory.h"
#include "camera/ClipLength.h"
#include "camera/VideoDecoder.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"
#include "render/FrameSizeLimits.h"
#include "util/Converter.h"

namespace corvane {

using platform::MainQueue;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;
using namespace std::chrono_literals;

namespace {
constexpr auto kImagePushInterval = 100ms;
// When decoding falls behind, frames are skipped without conversion, at most this many of the
// clip's current frame steps a tick.
constexpr int kMaxFramesPerTick = 8;
// A frame stamped further than ClipLength::kJumpNs after the one before it, or at all before it,
// is a jump in the file's time (recordings cut together, a counter that wrapped): the timing
// starts again at that frame instead of waiting for its time to come or rushing through frames
// to it.
constexpr int64_t kStampJumpNs = ClipLength::kJumpNs;
constexpr size_t kJumpsLoggedAtMost = 64;

std::string seconds(int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", double(ns) / 1e9);
  return text;
}

QString filterFor(const char* title, const char* const* types, size_t count) {
  QString filter = QString(title) + " (";
  for (size_t i = 0; i < count; ++i) filter += QString(i ? " *." : "*.") + types[i];
  return filter + ")";
}
}  // namespace

PlayerManager& PlayerManager::shared() {
  static PlayerManager player;
  return player;
}

PlayerManager::PlayerManager(platform::Clock& clock)
    : setupComplete(Observable<bool>::make(false)),
      currentTime(Observable<double>::make(0)),
      status(Observable<PlayerStatus>::make(PlayerStatus::noFile)),
      mode(Observable<PlayerMode>::make(PlayerMode::video)),
      refusal(Observable<Refusal>::make()),
      clock_(clock),
      pushImageQueue_(std::make_unique<platform::SerialQueue>("push.image.timer")),
      videoOutputQueue_(std::make_unique<platform::SerialQueue>("VideoOutputQueue")) {}

PlayerManager::~PlayerManager() {
  life_.reset();
  close();
  videoOutputQueue_->sync([this] { player_.reset(); });
}

void PlayerManager::close() {
  stopImagePush();
  {
    std::lock_guard lock(mutex_);
    outputBuffer_ = nullptr;
    frameObservers_.clear();
  }
  // A delivery under way took its receivers before they were cleared: wait it out.
  videoOutputQueue_->sync([this] { stopVideoPacing(); });
  pushImageQueue_->drain();
}

// ---- fields

bool PlayerManager::hasValidAsset() const {
  std::lock_guard lock(mutex_);
  return hasValidAsset_;
}

QSizeF PlayerManager::frameSize() const {
  std::lock_guard lock(mutex_);
  return frameSize_;
}

std::string PlayerManager::fileName() const {
  std::lock_guard lock(mutex_);
  return fileName_;
}

PlayerManager::OutputBuffer PlayerManager::outputBuffer() const {
  std::lock_guard lock(mutex_);
  return outputBuffer_;
}

void PlayerManager::setOutputBuffer(OutputBuffer callback) {
  std::lock_guard lock(mutex_);
  outputBuffer_ = std::move(callback);
}

double PlayerManager::duration() const {
  std::lock_guard lock(mutex_);
  return duration_;
}

std::vector<QImage> PlayerManager::images() const { return images_; }

int PlayerManager::currentIndex() const { return int(currentIndex_); }

std::optional<std::string> PlayerManager::asset() const {
  std::lock_guard lock(mutex_);
  return asset_;
}

PixelBufferRef PlayerManager::imagePixel() const {
  std::lock_guard lock(mutex_);
  return imagePixel_;
}

int PlayerManager::addFrameObserver(OutputBuffer observer) {
  std::lock_guard lock(mutex_);
  int id = nextObserverId_++;
  frameObservers_.emplace_back(id, std::move(observer));
  return id;
}

void PlayerManager::removeFrameObserver(int id) {
  std::lock_guard lock(mutex_);
  std::erase_if(frameObservers_, [id](const auto& entry) { return entry.first == id; });
}

void PlayerManager::deliver(const PixelBufferRef& buffer) {
  if (!buffer) return;
  OutputBuffer callback;
  std::vector<std::pair<int, OutputBuffer>> observers;
  {
    std::lock_guard lock(mutex_);
    callback = outputBuffer_;
    observers = frameObservers_;
  }
  if (callback) callback(buffer);
  for (auto& [id, observer] : observers)
    if (observer) observer(buffer);
}

PixelBufferRef PlayerManager::createPixelBuffer(int width, int height) {
  PixelBufferRef buffer = PixelBuffer::create(width, height, PixelFormat::NV12FullRange);
  if (!buffer) {
    CV_LOG_ERROR("Error: could not create resized pixel buffer: -1 (" + std::to_string(width) +
                 " x " + std::to_string(height) + ")");
    return nullptr;
  }
  Converter::clearToBlack(*buffer);
  return buffer;
}

// ---- choosing

void PlayerManager::openFile(QWidget* window) {
  const bool imageMode = mode->value() == PlayerMode::image;
  auto* panel = new QFileDialog(window);
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setWindowModality(Qt::WindowModal);
  panel->setOption(QFileDialog::ReadOnly);  // no folder creation
  panel->setFileMode(imageMode ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  panel->setNameFilter(imageMode ? filterFor("Images", kImageTypes, std::size(kImageTypes))
                                 : filterFor("Videos", kVideoTypes, std::size(kVideoTypes)));
  std::weak_ptr<int> life = life_;
  QObject::connect(panel, &QFileDialog::finished, panel,
                   [this, life, panel, imageMode](int result) {
                     if (life.expired() || result != QDialog::Accepted) return;
                     QStringList files = panel->selectedFiles();
                     if (imageMode) {
                       loadImages(files);
                     } else if (!files.isEmpty()) {
                       loadVideo(files.first());
                     }
                   });
  panel->open();
}

void PlayerManager::loadVideo(const QString& path, Opened opened) {
  std::weak_ptr<int> life = life_;
  std::string file = path.toStdString();
  std::string name = QFileInfo(path).fileName().toStdString();
  videoOutputQueue_->async([this, life, file, name, opened = std::move(opened)] {
    std::string error;
    std::unique_ptr<VideoDecoder> decoder = VideoDecoder::open(file, error);
    if (!decoder) {
      CV_LOG_ERROR("cannot play " + name + ": " + error);
      // What plays goes on; the window that asked shows why this one does not.
      MainQueue::shared().async([this, life, opened, name, error, file] {
        if (life.expired()) return;
        refusal->setValue(Refusal{name, error, file});
        if (opened) opened(error);
      });
      return;
    }
    // The new file replaces the old one, paused at its first frame.
    stopVideoPacing();
    QSizeF size(decoder->width(), decoder->height());
    double seconds = decoder->duration();
    player_ = std::move(decoder);
    jumpsLogged_.clear();
    frameStepNs_ = 0;
    CV_LOG_INFO("video " + name + ": " + std::to_string(int(size.width())) + " x " +
                std::to_string(int(size.height())) + ", " + std::to_string(seconds) + " s");
    MainQueue::shared().async([this, life, file, name, size, seconds, opened] {
      if (life.expired()) return;
      if (source_ == Source::images) dropImages();
      stopImagePush();  // a play without pictures may have started one
      source_ = Source::video;
      {
        std::lock_guard lock(mutex_);
        hasValidAsset_ = true;
        fileName_ = name;
        asset_ = file;
        frameSize_ = size;
        duration_ = seconds;
      }
      refusal->setValue(Refusal{});
      currentTime->setValue(0);
      setupComplete->setValue(true);
      status->setValue(PlayerStatus::pause);
      if (opened) opened("");
      // The first picture, once the listeners of setupComplete have switched to this source.
      MainQueue::shared().async([this, life] {
        if (life.expired()) return;
        videoOutputQueue_->async([this] { deliverCurrentFrame(); });
      });
    });
  });
}

void PlayerManager::loadImages(const QStringList& paths) {
  for (const QString& path : paths) {
    // A FIFO or a device in place of a picture would block the main thread in the read.
    std::string refused;
    if (!platform::BoundedFile::isRegularFile(path.toStdString(), &refused)) {
      CV_LOG_WARNING("cannot read image " + refused);
      continue;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
      CV_LOG_WARNING("cannot read image " + path.toStdString() + ": " +
                     reader.errorString().toStdString());
      continue;
    }
    // Any picture may become the first, whose size the frames take: one of a size that cannot
    // be drawn is not taken.
    if (auto refused = FrameSizeLimits::refusal(image.width(), image.height())) {
      CV_LOG_WARNING("cannot show image " + path.toStdString() + ": " + *refused);
      continue;
    }
    images_.push_back(std::move(image));
  }
  if (images_.empty()) {
    setupComplete->setValue(false);
    return;
  }
  // Frames are bi-planar 4:2:0: an odd picture loses its last column or row.
  const QImage& first = images_.front();
  QSizeF size(first.width() & ~1, first.height() & ~1);
  if (source_ == Source::video) dropVideo();
  source_ = Source::images;
  refusal->setValue(Refusal{});
  PixelBufferRef buffer = createPixelBuffer(int(size.width()), int(size.height()));
  {
    std::lock_guard lock(mutex_);
    frameSize_ = size;
    imagePixel_ = buffer;
  }
  currentIndex_ = 0;
  setupComplete->setValue(true);
  showImage(0);
  play();
}

void PlayerManager::setMode(PlayerMode newMode) {
  const bool other = (source_ == Source::video && newMode != PlayerMode::video) ||
                     (source_ == Source::images && newMode != PlayerMode::image);
  if (other) closeSource();
  if (newMode != mode->value()) refusal->setValue(Refusal{});
  mode->setValue(newMode);
}

void PlayerManager::closeSource() {
  if (source_ == Source::video) dropVideo();
  if (source_ == Source::images) dropImages();
  source_ = Source::none;
  {
    std::lock_guard lock(mutex_);
    frameSize_ = QSizeF(0, 0);
  }
  currentTime->setValue(0);
  status->setValue(PlayerStatus::noFile);
  setupComplete->setValue(false);
}

void PlayerManager::dropVideo() {
  // The decoder goes with its frames and threads, not only its pacing.
  videoOutputQueue_->async([this] {
    stopVideoPacing();
    player_.reset();
    jumpsLogged_.clear();
    frameStepNs_ = 0;
    platform::FreedMemory::giveBack();
  });
  std::lock_guard lock(mutex_);
  hasValidAsset_ = false;
  fileName_ = "No File";
  asset_.reset();
  duration_ = 0;
}

void PlayerManager::dropImages() {
  stopImagePush();
  images_.clear();
  currentIndex_ = 0;
  std::lock_guard lock(mutex_);
  imagePixel_.reset();
}

// ---- playing

// Play and pause act on the source that plays; without one, on the mode's kind.
void PlayerManager::play() {
  const bool video =
      source_ == Source::none ? mode->value() == PlayerMode::video : source_ == Source::video;
  if (video) {
    videoOutputQueue_->async([this] { startVideoPacing(); });
  } else if (!pushImageTimer_) {
    pushImageTimer_ = std::make_unique<platform::DispatchTimer>(*pushImageQueue_, clock_);
    pushImageTimer_->setEventHandler([this] { deliver(imagePixel()); });
    pushImageTimer_->schedule(0ns, kImagePushInterval, kImagePushInterval);
    pushImageTimer_->resume();
  }
  status->setValue(PlayerStatus::playing);
}

void PlayerManager::pause() {
  const bool video =
      source_ == Source::none ? mode->value() == PlayerMode::video : source_ == Source::video;
  if (video) {
    videoOutputQueue_->async([this] { stopVideoPacing(); });
  } else {
    stopImagePush();
  }
  status->setValue(PlayerStatus::pause);
}

void PlayerManager::stepForward() {
  if (mode->value() == PlayerMode::video) {
    pause();
    videoOutputQueue_->async([this] {
      if (player_ && player_->advance()) deliverCurrentFrame();
    });
    return;
  }
  if (images_.empty()) return;
  currentIndex_ = (currentIndex_ + 1) % images_.size();
  showImage(currentIndex_);
  if (!pushImageTimer_) pushImageOnce();
}

void PlayerManager::stepBackward() {
  if (mode->value() == PlayerMode::video) {
    pause();
    videoOutputQueue_->async([this] {
      if (player_ && player_->stepBack()) deliverCurrentFrame();
    });
    return;
  }
  if (images_.empty()) return;
  currentIndex_ = currentIndex_ == 0 ? images_.size() - 1 : currentIndex_ - 1;
  showImage(currentIndex_);
  if (!pushImageTimer_) pushImageOnce();
}

// ---- video, on the player's queue

void PlayerManager::deliverCurrentFrame() {
  if (!player_ || !player_->hasCurrent()) return;
  PixelBufferRef buffer = player_->currentBuffer();
  currentTime->setValue(double(player_->currentPts()) / 1e9);
  deliver(buffer);
}

void PlayerManager::startVideoPacing() {
  if (!player_ || displayLink_) return;
  std::optional<int64_t> next = player_->nextPts();
  if (!next) {
    // Played to the end: start again from the beginning.
    if (!player_->rewind() || !(next = player_->nextPts())) return;
  }
  anchorPts_ = *next;
  anchorTime_ = clock_.now();
  clipRate_.store(1e9 / double(player_->frameDurationNs()), std::memory_order_relaxed);
  displayLink_ = std::make_unique<platform::DispatchTimer>(*videoOutputQueue_, clock_);
  displayLink_->setEventHandler([this] { onDisplayLink(); });
  displayLink_->schedule(0ns, std::chrono::nanoseconds(player_->frameDurationNs()));
  displayLink_->resume();
}

void PlayerManager::noteStampJump(int64_t from, int64_t to) {
  // Once for each place in the file, not at every round of the loop.
  if (std::find(jumpsLogged_.begin(), jumpsLogged_.end(), from) != jumpsLogged_.end()) return;
  if (jumpsLogged_.size() >= kJumpsLoggedAtMost) return;
  jumpsLogged_.push_back(from);
  // A counter that went back past its start reads as far ahead: told as what it was.
  const int64_t by = ClipLength::jumpBy(from, to, player_ ? player_->wrapNs() : 0);
  CV_LOG_INFO("the time stamps of " + fileName() + " jump " + (by < 0 ? "back " : "ahead ") +
              seconds(by < 0 ? -by : by) + " s, from " + seconds(from) + " s to " +
              seconds(from + by) + " s: its timing starts again at that frame");
}

void PlayerManager::stopVideoPacing() {
  clipRate_.store(0, std::memory_order_relaxed);
  if (!displayLink_) return;
  displayLink_->cancel();
  displayLink_.reset();
}

void PlayerManager::onDisplayLink() {
  if (!player_ || !displayLink_) return;
  const int64_t frame = player_->frameDurationNs();  // the tick's length
  if (frameStepNs_ <= 0 || frameStepNs_ > frame) frameStepNs_ = frame;
  int64_t media = anchorPts_ + (clock_.now() - anchorTime_).count();
  // A stretch of the clip faster than the tick has several frames due at each: the clip's clock
  // is kept by passing over as many as are due, the last one shown. The bound follows the
  // clip's rate as it changes within the tick.
  bool advanced = false;
  for (int64_t i = 0; i < kMaxFramesPerTick * std::max<int64_t>(1, frame / frameStepNs_); ++i) {
    std::optional<int64_t> next = player_->nextPts();
    bool rewound = false;
    if (!next) {
      if (advanced) break;  // show the last frame now; the loop starts at the next tick
      // At the end the file plays again from its start, as a camera never stops.
      if (!player_->rewind() || !(next = player_->nextPts())) break;
      anchorPts_ = media = *next;
      anchorTime_ = clock_.now();
      rewound = true;
    }
    if (!rewound && player_->hasCurrent()) {
      const int64_t current = player_->currentPts();
      if (*next < current - frame / 2 || *next > current + kStampJumpNs) {
        if (advanced) break;  // the frame before the jump is shown first
        noteStampJump(current, *next);
        anchorPts_ = media = *next;
        anchorTime_ = clock_.now();
      } else if (*next > current) {
        clipRate_.store(1e9 / double(*next - current), std::memory_order_relaxed);
        frameStepNs_ = std::min(frame, *next - current);
      }
    }
    if (*next > media + frameStepNs_ / 2) break;
    if (!player_->advance()) break;
    advanced = true;
  }
  // Too far behind to catch up: go on from the frame shown.
  if (advanced && media - player_->currentPts() > kMaxFramesPerTick * frame) {
    anchorPts_ = player_->currentPts();
    anchorTime_ = clock_.now();
  }
  if (advanced) deliverCurrentFrame();
}

// ---- pictures, on the main thread

void PlayerManager::showImage(size_t index) {
  PixelBufferRef shown = imagePixel();
  if (!shown || index >= images_.size()) return;
  // Drawn into a fresh buffer that then replaces the shown one, so no consumer sees a half-drawn
  // picture; a smaller picture leaves the rest black rather than the previous picture.
  PixelBufferRef buffer = createPixelBuffer(shown->width(), shown->height());
  if (!buffer) return;
  Converter::pixelBuffer(*buffer, images_[index]);
  std::lock_guard lock(mutex_);
  imagePixel_ = buffer;
}

void PlayerManager::stopImagePush() {
  if (!pushImageTimer_) return;
  pushImageTimer_->cancel();
  pushImageTimer_.reset();
}

void PlayerManager::pushImageOnce() {
  pushImageQueue_->async([this] { deliver(imagePixel()); });
}

}  // namespace corvane
