#include "controlboard/SmallControlBoardController.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <algorithm>

#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "widgets/CustomButton.h"
#include "widgets/DisplayCell.h"
#include "widgets/FocusRing.h"
#include "widgets/ImageAssets.h"
#include "widgets/NamedColors.h"

namespace corvane {

namespace {

static_assert(SmallControlBoardController::kRingRoom == FocusRing::kGap + FocusRing::kWidth);
static_assert(2 * SmallControlBoardController::kEdgeRoom +
                  2 * SmallControlBoardController::kArrowHeight +
                  3 * SmallControlBoardController::kButtonSide + 2 * 3 ==
              128);

// A window's outline with an arrow out of its corner: "make me large".
QPixmap fullWindowPicture(const QColor& color) {
  const qreal ratio = 2.0;
  QPixmap picture(QSize(SmallControlBoardController::kFullWindowWidth,
                        SmallControlBoardController::kArrowHeight) *
                  ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(color, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({QPointF(8.0, 1.5), QPointF(3.0, 1.5), QPointF(3.0, 9.0),
                            QPointF(12.0, 9.0), QPointF(12.0, 5.5)}));
  p.drawLine(QPointF(7.5, 5.0), QPointF(13.5, 0.5));
  p.drawPolyline(QPolygonF({QPointF(10.0, 0.5), QPointF(13.5, 0.5), QPointF(13.5, 4.0)}));
  return picture;
}

}  // namespace

SmallControlBoardController::SmallControlBoardController(QWidget* parent)
    : SmallControlBoardController(Environment(), parent) {}

SmallControlBoardController::SmallControlBoardController(Environment environment, QWidget* parent)
    : QWidget(parent),
      env_(std::move(environment)),
      camera_(env_.camera ? *env_.camera : CameraManager::shared()),
      config_(env_.config ? *env_.config : ConfigManager::shared()) {
  setObjectName(QStringLiteral("SmallControlBoardController"));
  // The column is the window's right edge, top and bottom, whose rounded corners (radius 20)
  // cut into its right half: the focus ring round each control (4 points outside it) must stay
  // inside that shape. The mode cells fill the straight middle (16 to 112); the short rows above
  // and below keep clear of the corners' curve, the top one reaching left over the preview,
  // where the ring may lie.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, kEdgeRoom, 0, kEdgeRoom);
  layout->setSpacing(0);
  auto arrow = [this](const QString& title, int width) {
    auto* b = new CustomButton(QRect(0, 0, width, kArrowHeight), this);
    b->setFixedSize(width, kArrowHeight);
    b->setTitle(title);
    b->setTextColor(QColor(0xDD, 0xDD, 0xDD));
    return b;
  };
  preButton = arrow(QStringLiteral("\u25B4"), kPrevWidth);
  nextButton = arrow(QStringLiteral("\u25BE"), kNextWidth);
  // The top row: the way back to the full window, then the previous arrow, whose place stays
  // when the first page hides it.
  QSizePolicy keep = preButton->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  preButton->setSizePolicy(keep);
  fullWindowButton = new CustomButton(QRect(0, 0, kFullWindowWidth, kArrowHeight), this);
  fullWindowButton->setObjectName(QStringLiteral("fullWindowButton"));
  fullWindowButton->setFixedSize(kFullWindowWidth, kArrowHeight);
  fullWindowButton->setUnselectedImage(fullWindowPicture(QColor(0xDD, 0xDD, 0xDD)));
  fullWindowButton->setHoverImage(fullWindowPicture(NamedColors::color("tintColor")));
  fullWindowButton->setSelectedImage(fullWindowPicture(NamedColors::color("tintColor")));
  displayStackView0 = new QVBoxLayout();
  displayStackView0->setSpacing(3);
  displayStackView0->setAlignment(Qt::AlignHCenter);
  auto* top = new QHBoxLayout();
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  top->addWidget(fullWindowButton);
  top->addWidget(preButton);
  top->addStretch(1);
  layout->addLayout(top);
  layout->addLayout(displayStackView0);
  // A short last page keeps the top row at the top and the next arrow at the bottom.
  layout->addStretch(1);
  layout->addWidget(nextButton, 0, Qt::AlignHCenter);
  connect(preButton, &QAbstractButton::clicked, this, [this] { onClickPrev(); });
  connect(nextButton, &QAbstractButton::clicked, this, [this] { onClickNext(); });
  connect(fullWindowButton, &QAbstractButton::clicked, this, [this] { onClickFullWindow(); });
  localizeFullWindowButton();
  viewDidLoad();
}

void SmallControlBoardController::localizeFullWindowButton() {
  fullWindowButton->setToolTip(QString::fromStdString(text("tips_full_window")));
}

std::string SmallControlBoardController::text(const std::string& key) const {
  return env_.localized ? env_.localized(key) : localized(key);
}

bool SmallControlBoardController::connected() const {
  return camera_.connectMode->value() == ConnectMode::connected;
}

DisplayModeRules::Offer SmallControlBoardController::offer() const {
  return DisplayModeRules::Offer::from(config_, shouldAudioFit_, camera_.is360Camera());
}

void SmallControlBoardController::viewDidLoad() {
  if (loaded_) return;
  loaded_ = true;
  CV_LOG_DEBUG("");
  initlayout();
  observeConnectMode();
}

void SmallControlBoardController::initlayout() {
  CV_LOG_DEBUG("");
  setupDisplayModes();
  refreshDisplayModeButtons();
}

void SmallControlBoardController::observeConnectMode() {
  QPointer<SmallControlBoardController> self(this);
  camera_.connectMode->bind([self](ConnectMode) {
    if (!self) return;
    self->setupDisplayModes();
    self->refreshDisplayModeButtons();
  });
  setupDisplayModes();
  refreshDisplayModeButtons();
}

void SmallControlBoardController::setupDisplayModes() {
  displayModeArray_ =
      DisplayModeRules::withPlaceholders(DisplayModeRules::modeList(offer()), perPageCount_);
  maxPage_ = DisplayModeRules::pageCount(displayModeArray_.size(), perPageCount_);
  buildDisplayModeButtons();
}

void SmallControlBoardController::applyLook(CustomButton* button,
                                            const DisplayModeRules::ButtonLook& look) {
  button->setSelectedImage(ImageAssets::named(QString::fromStdString(look.selectedImage)));
  button->setUnselectedImage(ImageAssets::named(QString::fromStdString(look.normalImage)));
  const bool tips = config_.enableButtonTips && !look.tipKey.empty();
  button->setToolTip(tips ? QString::fromStdString(text(look.tipKey)) : QString());
}

void SmallControlBoardController::buildDisplayModeButtons() {
  while (QLayoutItem* item = displayStackView0->takeAt(0)) delete item;
  for (CustomButton* b : displayModeButtons_) delete b->parentWidget();  // the button's cell
  displayModeButtons_.clear();
  for (const DisplayModeRules::ButtonEntry& entry :
       DisplayModeRules::buttons(displayModeArray_, offer())) {
    // Made with an empty frame: these buttons show no hover look.
    auto* cell = new DisplayCell(this);
    cell->setFixedSize(kButtonSide, kButtonSide);
    CustomButton* button = cell->displayButton;
    button->setFixedSize(kButtonSide, kButtonSide);
    button->tag = entry.tag;
    applyLook(button, entry.look);
    // A placeholder keeps its slot, unseen and out of the pointer's way.
    if (entry.placeholder) {
      button->setAlphaValue(0);
      button->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    connect(button, &QAbstractButton::clicked, this, [this, button] { buttonPressed(button); });
    cell->hide();
    displayModeButtons_.push_back(button);
  }
  preButton->setVisible(currentPageIndex_ >= 1);
  nextButton->setVisible(currentPageIndex_ < maxPage_ - 1);
  // The Tab order as the column reads: the way back, the arrow up, the page, the arrow down.
  QWidget* before = preButton;
  QWidget::setTabOrder(fullWindowButton, preButton);
  for (CustomButton* b : visibleButtons()) {
    displayStackView0->addWidget(b->parentWidget(), 0, Qt::AlignHCenter);
    b->parentWidget()->show();
    QWidget::setTabOrder(before, b);
    before = b;
  }
}

std::vector<CustomButton*> SmallControlBoardController::visibleButtons() const {
  std::vector<CustomButton*> page;
  const size_t first = size_t(std::max(0, currentPageIndex_ * perPageCount_));
  const size_t end = size_t(std::max(0, (currentPageIndex_ + 1) * perPageCount_));
  for (size_t j = first; j < end && j < displayModeButtons_.size(); ++j)
    page.push_back(displayModeButtons_[j]);
  return page;
}

void SmallControlBoardController::markSelected(CustomButton* button, bool selected) {
  button->isSelected = selected;
  button->setState(selected);
  button->updateAppearance(selected);
}

void SmallControlBoardController::refreshDisplayModeButtons() {
  const bool isConnected = connected();
  const int current = int(rawValue(camera_.displayMode->value()));
  bool found = false;
  for (CustomButton* b : displayModeButtons_) {
    if (b->alphaValue() <= 0) continue;
    const bool selected = isConnected && b->tag == current;
    markSelected(b, selected);
    found = found || selected;
    b->setAlphaValue(isConnected ? 1.0 : 0.3);
  }
  if (found || !isConnected) return;
  // Once is enough: when compose has no button either, storing it again would only bring the
  // boards' listeners back here without end.
  if (camera_.displayMode->value() != Display::compose)
    camera_.displayMode->setValue(Display::compose);
  for (CustomButton* b : displayModeButtons_)
    if (b->alphaValue() > 0 && b->tag == int(rawValue(Display::compose))) markSelected(b, true);
}

void SmallControlBoardController::setupDefaultMode() {
  CV_LOG_DEBUG("");
  const int chosen = DisplayModeRules::defaultCode(displayModeArray_, config_.defaultDisplayMode);
  camera_.displayMode->setValue(makeDisplay(chosen).value_or(Display::compose));
  refreshDisplayModeButtons();
}

void SmallControlBoardController::shouldAudioFit(bool fit) {
  CV_LOG_DEBUG("");
  shouldAudioFit_ = fit;
  setupDisplayModes();
  refreshDisplayModeButtons();
}

void SmallControlBoardController::showSimpleUI(bool show) {
  CV_LOG_DEBUG(show ? " show true" : " show false");
  // Pages are cut from the buttons, which the shared speaker button makes one fewer than the
  // modes: the page is the one of the current mode's button.
  std::vector<int> tags;
  for (CustomButton* b : displayModeButtons_) tags.push_back(b->tag);
  currentPageIndex_ = DisplayModeRules::pageOfMode(
      tags, int(rawValue(camera_.displayMode->value())), perPageCount_);
  buildDisplayModeButtons();
  refreshDisplayModeButtons();
}

void SmallControlBoardController::onClickPrev() {
  if (currentPageIndex_ - 1 < 0) return;
  --currentPageIndex_;
  buildDisplayModeButtons();
  refreshDisplayModeButtons();
}

void SmallControlBoardController::onClickNext() {
  if (currentPageIndex_ + 1 >= maxPage_) return;
  ++currentPageIndex_;
  buildDisplayModeButtons();
  refreshDisplayModeButtons();
}

void SmallControlBoardController::buttonPressed(CustomButton* sender) {
  if (!sender || !connected()) return;
  const DisplayModeRules::Press press =
      DisplayModeRules::press(sender->tag, camera_.displayMode->value(), offer());
  if (press.newTag) {
    sender->tag = *press.newTag;
    applyLook(sender, *press.newLook);
  }
  if (press.mode) camera_.displayMode->setValue(*press.mode);
  refreshDisplayModeButtons();
}

void SmallControlBoardController::onClickFullWindow() {
  CV_LOG_DEBUG("");
  if (fullWindowAction) fullWindowAction();
}

void SmallControlBoardController::onSwitchAudioFit() { CV_LOG_DEBUG(""); }
void SmallControlBoardController::onSwitchBodyFit() { CV_LOG_DEBUG(""); }

}  // namespace corvane
