#pragma once

#include <QByteArray>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cloud/APNGImage.h"
#include "cloud/AdDataModel.h"
#include "cloud/AdType.h"
#include "dispatch/Clock.h"

class QLabel;
class QPushButton;

namespace platform {
class Queue;
class Workspace;
}

namespace corvane {

class APNGImageView;
class CustomView;
class LogManager;

// The advertisement layer of the main window: the ad of the last version-check answer in a
// centred panel over a dimmed window, or in a panel that slides in at the top right or the
// bottom left and slides out by itself once the pointer is not on it. Main thread only; its
// timers and slides run on platform::Clock and land on the main queue.
class AdvertisementViewController : public QWidget {
 public:
  // Fetches an address; the answer (the bytes, or none) comes on the main queue.
  using Fetch =
      std::function<void(const std::string& url, std::function<void(std::optional<QByteArray>)>)>;

  struct Environment {
    platform::Workspace* workspace = nullptr;
    Fetch fetch;
    std::function<std::optional<AdDataModel>()> currentAd;
    std::string storageBase;  // the storage service's address, ending in a slash
    // Where pictures are decoded: a large one takes a while. None: on the main thread.
    platform::Queue* decoder = nullptr;
    LogManager* logger = nullptr;
    static Environment process();
  };

  // The largest picture taken from the storage service: an ad's picture is some hundred kB, an
  // animated one a few MB.
  static constexpr int64_t kMaxPictureBytes = int64_t(16) << 20;

  explicit AdvertisementViewController(Environment environment, QWidget* parent = nullptr);
  ~AdvertisementViewController() override;

  void showAdvertisement();
  // What the main window does when an answer brought an ad: with an ad whose entry type names
  // a slot, takes that slot, shows the ad and flips the container's hidden state through
  // `toggleContainer`; false (and nothing touched) otherwise.
  bool presentCurrentAdvertisement(const std::function<void()>& toggleContainer);
  void easeOutAnimation();
  void onClickCenterClose();
  void onClickCenterOk();
  void onClickRightOk();
  void onClickLeftOk();
  void mouseEntered();
  void mouseExited();

  // The picture's type: the last non-empty dot-separated part in lower case, "jpg" with none.
  static std::string fileType(const std::string& uri);
  // The slot for an entry type; none for values that show nothing at all (4 and up).
  static std::optional<AdType> adTypeFor(int64_t entryType);
  // The picture's address on the storage service; none when it would lead elsewhere.
  std::optional<std::string> pictureAddress(const std::string& uri) const;
  bool isSliding() const { return slide_ != nullptr; }
  bool hasCheckTimer() const { return checkTimer != 0; }

  CustomView* backgroundView = nullptr;
  QWidget* rightView = nullptr;
  QLabel* rightAdImageView = nullptr;
  APNGImageView* rightAdApngView = nullptr;
  QLabel* rightTitleLabel = nullptr;
  QPushButton* rightOkButton = nullptr;
  double rightViewTopContraints = 0;
  QWidget* centerView = nullptr;
  QLabel* centerAdImageView = nullptr;
  APNGImageView* centerAdApngView = nullptr;
  QLabel* centerTitleLabel = nullptr;
  QPushButton* centerOkButton = nullptr;
  QPushButton* centerCloseButton = nullptr;
  QWidget* leftView = nullptr;
  QLabel* leftAdImageView = nullptr;
  APNGImageView* leftAdApngView = nullptr;
  QLabel* leftTitleLabel = nullptr;
  QPushButton* leftOkButton = nullptr;
  double leftViewBottomContraints = 0;

  std::function<void()> closeAction;
  AdType adType = AdType::Center;
  platform::Clock::TimerId checkTimer = 0;
  double easeAnimationTime = 0.5;
  bool roiArea = false;  // the pointer over the shown side panel is watched
  bool isInAd = false;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Slide;
  QWidget* buildSlot(QLabel*& image, APNGImageView*& apng, QLabel*& title, QPushButton*& ok);
  void layoutSlots();
  void hideAll();
  // A fetched picture as the decoder left it: the animation or the still image, or the reason.
  struct DecodedPicture {
    std::optional<APNGImage> animated;
    QImage still;
    std::string error;
  };
  void loadPicture(const std::string& uri, QLabel* still, APNGImageView* animated);
  void openTarget();
  void scheduleCheck(double seconds);
  void invalidateCheck();
  // Moves the side panel's constraint to `target` over `seconds`, eased in and out.
  void slide(double target, double seconds, std::function<void()> done);
  void slideStep();
  double& sideConstraint();
  QWidget* sideView();

  Environment env_;
  std::unique_ptr<Slide> slide_;
  uint64_t checkSerial_ = 0;  // a check already posted when it was replaced does nothing
  uint64_t generation_ = 0;   // a picture for an ad shown before does not land
  std::shared_ptr<bool> alive_;
};

}  // namespace corvane
