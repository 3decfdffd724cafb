#include "cloud/AdvertisementViewController.h"

#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

#include "Workspace.h"
#include "cloud/APNGImage.h"
#include "cloud/APNGImageView.h"
#include "cloud/CloudEndpoints.h"
#include "cloud/HttpClient.h"
#include "cloud/UserManager.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "util/WebAddress.h"
#include "widgets/CustomView.h"
#include "widgets/NamedColors.h"

#define AD_LOG_ERROR(msg) env_.logger->error((msg), __FILE__, __func__, __LINE__)

namespace corvane {

namespace {

constexpr auto kSlideTick = std::chrono::milliseconds(16);

}  // namespace

struct AdvertisementViewController::Slide {
  double from = 0;
  double to = 0;
  platform::Clock::TimePoint start;
  platform::Clock::Duration length{};
  std::function<void()> done;
  platform::Clock::TimerId tick = 0;
};

AdvertisementViewController::Environment AdvertisementViewController::Environment::process() {
  Environment env;
  env.workspace = &platform::Workspace::shared();
  env.fetch = [](const std::string& url, std::function<void(std::optional<QByteArray>)> done) {
    HttpRequest request;
    request.url = url;
    request.maxBodyBytes = kMaxPictureBytes;
    request.bodyKind = "an advertisement picture";
    HttpClient::shared().send(std::move(request), [done, url](HttpResponse response) {
      platform::MainQueue::shared().async([done, url, response = std::move(response)] {
        if (response.status == 200) return done(QByteArray::fromStdString(response.body));
        if (response.failed())
          LogManager::shared().error(url + ": " + response.error, __FILE__, "fetch", __LINE__);
        done(std::nullopt);
      });
    });
  };
  env.currentAd = [] { return UserManager::shared().adData; };
  env.storageBase = CloudEndpoints::production().storage;
  env.decoder = &platform::GlobalQueue::shared();
  env.logger = &LogManager::shared();
  return env;
}

AdvertisementViewController::AdvertisementViewController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)), alive_(std::make_shared<bool>(true)) {
  if (!env_.logger) env_.logger = &LogManager::shared();
  backgroundView = new CustomView(QRect(), this);
  rightView = buildSlot(rightAdImageView, rightAdApngView, rightTitleLabel, rightOkButton);
  centerView = buildSlot(centerAdImageView, centerAdApngView, centerTitleLabel, centerOkButton);
  leftView = buildSlot(leftAdImageView, leftAdApngView, leftTitleLabel, leftOkButton);
  centerCloseButton = new QPushButton("\u2715", centerView);
  centerCloseButton->setFlat(true);
  connect(centerCloseButton, &QPushButton::clicked, this, [this] { onClickCenterClose(); });
  connect(centerOkButton, &QPushButton::clicked, this, [this] { onClickCenterOk(); });
  connect(rightOkButton, &QPushButton::clicked, this, [this] { onClickRightOk(); });
  connect(leftOkButton, &QPushButton::clicked, this, [this] { onClickLeftOk(); });
  for (auto* okButton : {rightOkButton, centerOkButton, leftOkButton})
    okButton->setText(QString::fromStdString(localized("ad_learnmore_text")));
  rightView->installEventFilter(this);
  leftView->installEventFilter(this);
  hideAll();
}

AdvertisementViewController::~AdvertisementViewController() {
  *alive_ = false;
  invalidateCheck();
  if (slide_ && slide_->tick) platform::Clock::shared().cancel(slide_->tick);
}

QWidget* AdvertisementViewController::buildSlot(QLabel*& image, APNGImageView*& apng,
                                                QLabel*& title, QPushButton*& ok) {
  auto* view = new QWidget(this);
  view->setAutoFillBackground(true);
  view->resize(320, 260);
  auto* layout = new QVBoxLayout(view);
  image = new QLabel(view);
  image->setScaledContents(true);
  apng = new APNGImageView(view);
  title = new QLabel(view);
  title->setWordWrap(true);
  ok = new QPushButton(view);
  layout->addWidget(image, 1);
  layout->addWidget(apng, 1);
  layout->addWidget(title);
  layout->addWidget(ok);
  return view;
}

std::string AdvertisementViewController::fileType(const std::string& uri) {
  std::string last;
  size_t start = 0;
  while (start <= uri.size()) {
    size_t dot = uri.find('.', start);
    size_t end = dot == std::string::npos ? uri.size() : dot;
    if (end > start) last = uri.substr(start, end - start);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (last.empty()) return "jpg";
  for (auto& c : last) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return last;
}

std::optional<AdType> AdvertisementViewController::adTypeFor(int64_t entryType) {
  if (entryType < 0 || entryType > 3) return std::nullopt;
  return static_cast<AdType>(entryType);
}

std::optional<std::string> AdvertisementViewController::pictureAddress(
    const std::string& uri) const {
  std::string address = env_.storageBase + uri;
  QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  QUrl base(QString::fromStdString(env_.storageBase));
  // The path may not climb out of the storage service or name another host.
  if (!WebAddress::isWebAddress(url) || url.host() != base.host() || url.port() != base.port() ||
      url.scheme() != base.scheme() || uri.find("..") != std::string::npos)
    return std::nullopt;
  return address;
}

void AdvertisementViewController::hideAll() {
  rightView->hide();
  centerView->hide();
  leftView->hide();
}

void AdvertisementViewController::showAdvertisement() {
  hideAll();
  roiArea = false;
  clearMask();
  if (slide_) {
    if (slide_->tick) platform::Clock::shared().cancel(slide_->tick);
    slide_.reset();
  }
  ++generation_;
  auto ad = env_.currentAd ? env_.currentAd() : std::nullopt;
  if (!ad) {
    invalidateCheck();
    return;
  }

  QLabel* still = nullptr;
  APNGImageView* animated = nullptr;
  QLabel* title = nullptr;
  switch (adType) {
    case AdType::LeftBottom:
      still = leftAdImageView, animated = leftAdApngView, title = leftTitleLabel;
      break;
    case AdType::RightTop:
      still = rightAdImageView, animated = rightAdApngView, title = rightTitleLabel;
      break;
    case AdType::Center:
      still = centerAdImageView, animated = centerAdApngView, title = centerTitleLabel;
      break;
    case AdType::Todo:
      break;
  }
  if (title) {
    loadPicture(ad->uri, still, animated);
    title->setText(QString::fromStdString(ad->description));
  }

  if (adType == AdType::Center) {
    backgroundView->setColor(NamedColors::color("black50Color"));
    backgroundView->disableMouseEvent = true;
    backgroundView->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    centerView->show();
  } else if (adType == AdType::LeftBottom || adType == AdType::RightTop) {
    backgroundView->setColor(NamedColors::clear());
    backgroundView->disableMouseEvent = false;
    backgroundView->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    sideConstraint() = -sideView()->height();
    layoutSlots();
    sideView()->show();
    roiArea = true;
    AdType shownType = adType;
    slide(0, easeAnimationTime, [this, shownType] {
      leftView->setVisible(shownType == AdType::LeftBottom);
      rightView->setVisible(shownType == AdType::RightTop);
      centerView->hide();
    });
  }

  invalidateCheck();
  if (adType != AdType::Center) scheduleCheck(easeAnimationTime + 6.0);
}

bool AdvertisementViewController::presentCurrentAdvertisement(
    const std::function<void()>& toggleContainer) {
  auto ad = env_.currentAd ? env_.currentAd() : std::nullopt;
  if (!ad) return false;
  auto type = adTypeFor(ad->entryType);
  if (!type) return false;
  adType = *type;
  showAdvertisement();
  if (toggleContainer) toggleContainer();
  return true;
}

void AdvertisementViewController::loadPicture(const std::string& uri, QLabel* still,
                                              APNGImageView* animated) {
  still->clear();
  still->hide();
  animated->setImage(std::nullopt);
  animated->hide();
  auto address = pictureAddress(uri);
  if (!address) {
    AD_LOG_ERROR("No picture address for the ad's uri \"" + uri + "\"");
    return;
  }
  bool png = fileType(uri).find("png") != std::string::npos;
  uint64_t generation = generation_;
  std::weak_ptr<bool> alive = alive_;
  std::string url = *address;
  // Shows what the decoder made of the bytes, on the main thread, unless the ad changed since.
  auto show = [this, alive, generation, png, still, animated,
               url](std::shared_ptr<DecodedPicture> picture) {
    auto flag = alive.lock();
    if (!flag || !*flag || generation != generation_) return;
    if (!picture->error.empty()) {
      AD_LOG_ERROR(picture->error);
      return;
    }
    if (png) {
      animated->setImage(std::move(picture->animated));
      animated->show();
    } else {
      still->setPixmap(QPixmap::fromImage(picture->still));
      still->show();
    }
  };
  platform::Queue* decoder = env_.decoder;
  env_.fetch(url, [png, url, show, decoder](std::optional<QByteArray> bytes) {
    if (!bytes)
      return show(std::make_shared<DecodedPicture>(
          DecodedPicture{std::nullopt, {}, "Cannot read the ad picture " + url}));
    auto decode = [png, url, show, bytes = std::move(*bytes)] {
      auto picture = std::make_shared<DecodedPicture>();
      if (png) {
        std::string error;
        picture->animated = APNGImage::decode(bytes, 1.0, &error);
        if (!picture->animated)
          picture->error = "Cannot decode the ad picture " + url + ": " + error;
      } else if (!picture->still.loadFromData(bytes)) {
        picture->error = "Cannot load the ad picture " + url;
      }
      return picture;
    };
    if (!decoder) return show(decode());
    decoder->async([decode, show] {
      auto picture = decode();
      platform::MainQueue::shared().async([show, picture] { show(picture); });
    });
  });
}

double& AdvertisementViewController::sideConstraint() {
  return adType == AdType::LeftBottom ? leftViewBottomContraints : rightViewTopContraints;
}

QWidget* AdvertisementViewController::sideView() {
  return adType == AdType::LeftBottom ? leftView : rightView;
}

void AdvertisementViewController::layoutSlots() {
  backgroundView->setGeometry(rect());
  centerView->move((width() - centerView->width()) / 2, (height() - centerView->height()) / 2);
  centerCloseButton->move(centerView->width() - centerCloseButton->width() - 4, 4);
  rightView->move(width() - rightView->width(),
                  static_cast<int>(std::lround(rightViewTopContraints)));
  leftView->move(
      0, height() - leftView->height() - static_cast<int>(std::lround(leftViewBottomContraints)));
  // With a side panel, the rest of the window stays clickable.
  if (roiArea && (adType == AdType::LeftBottom || adType == AdType::RightTop))
    setMask(QRegion(sideView()->geometry()));
}

void AdvertisementViewController::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutSlots();
}

bool AdvertisementViewController::eventFilter(QObject* watched, QEvent* event) {
  if (roiArea && watched == sideView()) {
    if (event->type() == QEvent::Enter) mouseEntered();
    if (event->type() == QEvent::Leave) mouseExited();
  }
  return QWidget::eventFilter(watched, event);
}

void AdvertisementViewController::mouseEntered() { isInAd = true; }

void AdvertisementViewController::mouseExited() { isInAd = false; }

void AdvertisementViewController::invalidateCheck() {
  if (checkTimer) platform::Clock::shared().cancel(checkTimer);
  checkTimer = 0;
  ++checkSerial_;
}

void AdvertisementViewController::scheduleCheck(double seconds) {
  auto& clock = platform::Clock::shared();
  std::weak_ptr<bool> alive = alive_;
  auto due = clock.now() + std::chrono::duration_cast<platform::Clock::Duration>(
                               std::chrono::duration<double>(seconds));
  uint64_t serial = ++checkSerial_;
  checkTimer = clock.callAt(due, [this, alive, serial] {
    platform::MainQueue::shared().async([this, alive, serial] {
      auto flag = alive.lock();
      if (!flag || !*flag || serial != checkSerial_) return;
      easeOutAnimation();
    });
  });
}

void AdvertisementViewController::easeOutAnimation() {
  invalidateCheck();
  if (isInAd) {
    scheduleCheck(1.0);
    return;
  }
  if (adType != AdType::LeftBottom && adType != AdType::RightTop) return;
  slide(-sideView()->height(), 0.5, [this] {
    hideAll();
    roiArea = false;
    clearMask();
    if (closeAction) closeAction();
  });
}

void AdvertisementViewController::slide(double target, double seconds, std::function<void()> done) {
  if (slide_ && slide_->tick) platform::Clock::shared().cancel(slide_->tick);
  slide_ = std::make_unique<Slide>();
  slide_->from = sideConstraint();
  slide_->to = target;
  slide_->start = platform::Clock::shared().now();
  slide_->length =
      std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds));
  slide_->done = std::move(done);
  slideStep();
}

void AdvertisementViewController::slideStep() {
  auto& clock = platform::Clock::shared();
  double t = slide_->length.count() <= 0
                 ? 1.0
                 : std::chrono::duration<double>(clock.now() - slide_->start) /
                       std::chrono::duration<double>(slide_->length);
  t = std::clamp(t, 0.0, 1.0);
  double eased = 0.5 - 0.5 * std::cos(M_PI * t);  // ease in and out
  sideConstraint() = slide_->from + (slide_->to - slide_->from) * eased;
  layoutSlots();
  if (t >= 1.0) {
    auto done = std::move(slide_->done);
    slide_.reset();
    if (done) done();
    return;
  }
  std::weak_ptr<bool> alive = alive_;
  Slide* current = slide_.get();
  slide_->tick = clock.callAt(clock.now() + kSlideTick, [this, alive, current] {
    platform::MainQueue::shared().async([this, alive, current] {
      auto flag = alive.lock();
      if (!flag || !*flag || slide_.get() != current) return;
      slide_->tick = 0;
      slideStep();
    });
  });
}

void AdvertisementViewController::openTarget() {
  auto ad = env_.currentAd ? env_.currentAd() : std::nullopt;
  if (!ad || !ad->targetUrl) return;
  QUrl url(QString::fromStdString(*ad->targetUrl), QUrl::StrictMode);
  if (!WebAddress::isWebAddress(url)) {
    AD_LOG_ERROR("The ad's target is not a web address: " + *ad->targetUrl);
    return;
  }
  if (!env_.workspace->openURL(*ad->targetUrl)) AD_LOG_ERROR("Cannot open " + *ad->targetUrl);
}

void AdvertisementViewController::onClickCenterClose() {
  hideAll();
  if (closeAction) closeAction();
}

void AdvertisementViewController::onClickCenterOk() { openTarget(); }

void AdvertisementViewController::onClickRightOk() {
  openTarget();
  isInAd = false;
}

void AdvertisementViewController::onClickLeftOk() {
  openTarget();
  isInAd = false;
}

}  // namespace corvane
