#include "controlboard/ControlBoardController.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "controlboard/BorderButtonRules.h"
#include "controlboard/ControlBoardViewModel.h"
#include "controlboard/FaceScanRules.h"
#include "controlboard/PictureControlValues.h"
#include "controlboard/PresetChoice.h"
#include "controlboard/TitleFontFit.h"
#include "dispatch/Clock.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "qt/UserDefaults.h"
#include "render/LayoutView.h"
#include "render/MetalManager.h"
#include "shell/AlertManager.h"
#include "util/ImageSequenceAnimation.h"
#include "widgets/BreathingLightView.h"
#include "widgets/CustomBalanceSlider.h"
#include "widgets/CustomBox.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomSwitch.h"
#include "widgets/CustomView.h"
#include "widgets/DisplayCell.h"
#include "widgets/ImageAssets.h"
#include "widgets/ImageView.h"
#include "widgets/NamedColors.h"
#include "widgets/SliderGeometry.h"

namespace corvane {

namespace {

constexpr int kFaceScanFrames = 24;
constexpr float kFaceScanFactor = 0.42f;
constexpr int kSliderWidth = 150;
constexpr int kBoardWidth = 280;

const QColor kPanelColor(0x2B, 0x2C, 0x31);
const QColor kTitleColor(0x22, 0x23, 0x27);
const QColor kTextColor(0xDD, 0xDD, 0xDD);

// Alpha of a plain widget, as an opacity effect; remembered for the tests' eyes.
void setAlpha(QWidget* widget, double alpha) {
  if (!widget) return;
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
  if (alpha >= 1.0) {
    widget->setGraphicsEffect(nullptr);
  } else {
    if (!effect) {
      effect = new QGraphicsOpacityEffect(widget);
      widget->setGraphicsEffect(effect);
    }
    effect->setOpacity(alpha);
  }
  widget->setProperty("alphaValue", alpha);
}

QLabel* makeLabel(QWidget* parent, bool title = false) {
  auto* label = new QLabel(parent);
  QFont font = label->font();
  font.setPointSizeF(title ? 12.0 : 11.0);
  font.setBold(title);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, kTextColor);
  label->setPalette(palette);
  return label;
}

// A text button: grey border and title, the tint when active.
CustomButton* makeTextButton(QWidget* parent, int width, int height = 24) {
  auto* button = new CustomButton(QRect(0, 0, width, height), parent);
  button->setFixedSize(width, height);
  button->setCornerRadius(4);
  button->setBorderWidth(1);
  button->setBorderColor(QColor(0x72, 0x72, 0x72));
  button->setActiveBorderColor(NamedColors::color(QStringLiteral("tintColor")));
  button->setTextColor(kTextColor);
  button->setActiveTextColor(NamedColors::color(QStringLiteral("tintColor")));
  button->setHoverColor(QColor(0x3A, 0x3B, 0x42));
  return button;
}

// A fold button: a chevron drawn as text, pointing down while the panel is open.
CustomButton* makeFoldButton(QWidget* parent) {
  auto* button = makeTextButton(parent, 24, 20);
  button->setBorderWidth(0);
  button->setTitle(QStringLiteral("\u02C5"));
  return button;
}

// The picture of an outline toggle: a frame as the preview draws that kind of rectangle (an
// ignore area's dashed), in `color`.
QPixmap roiFramePicture(const QColor& color, bool dashed) {
  const qreal ratio = 2.0;
  QPixmap picture(QSize(28, 16) * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(color, 1.5);
  if (dashed) pen.setDashPattern({2.5, 1.5});
  p.setPen(pen);
  p.drawRoundedRect(QRectF(2, 2, 24, 12), 2, 2);
  return picture;
}

QLineEdit* makeValueField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setFixedWidth(44);
  field->setAlignment(Qt::AlignRight);
  return field;
}

CustomBalanceSlider* makeSlider(QWidget* parent) {
  auto* slider = new CustomBalanceSlider(QRect(0, 0, kSliderWidth, 20), parent);
  slider->setFixedSize(kSliderWidth, 20);
  return slider;
}

QWidget* row(QWidget* parent, std::initializer_list<QWidget*> items, bool stretchAfterFirst) {
  auto* w = new QWidget(parent);
  auto* layout = new QHBoxLayout(w);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  bool first = true;
  for (QWidget* item : items) {
    layout->addWidget(item);
    if (first && stretchAfterFirst) layout->addStretch(1);
    first = false;
  }
  if (!stretchAfterFirst) layout->addStretch(1);
  return w;
}

}  // namespace

ControlBoardController::Environment ControlBoardController::Environment::process() {
  Environment env;
  env.camera = &CameraManager::shared();
  env.viewModel = &ControlBoardViewModel::shared();
  env.config = &ConfigManager::shared();
  env.metal = &MetalManager::shared();
  env.defaults = &platform::UserDefaults::shared();
  env.clock = &platform::Clock::shared();
  env.showFailure = [](const QString& message) { AlertManager::shared().showMessage(message); };
  return env;
}

ControlBoardController::ControlBoardController(Environment environment, QWidget* parent)
    : QWidget(parent),
      env_(std::move(environment)),
      camera_(env_.camera ? *env_.camera : CameraManager::shared()),
      viewModel_(env_.viewModel ? *env_.viewModel : ControlBoardViewModel::shared()),
      config_(env_.config ? *env_.config : ConfigManager::shared()),
      metal_(env_.metal ? *env_.metal : MetalManager::shared()),
      defaults_(env_.defaults ? *env_.defaults : platform::UserDefaults::shared()),
      clock_(env_.clock ? *env_.clock : platform::Clock::shared()) {
  setObjectName(QStringLiteral("ControlBoardController"));
  buildViews();
  viewDidLoad();
}

ControlBoardController::~ControlBoardController() { *alive_ = false; }

std::string ControlBoardController::text(const std::string& key) const {
  return env_.localized ? env_.localized(key) : localized(key);
}

bool ControlBoardController::connected() const {
  return camera_.connectMode->value() == ConnectMode::connected;
}

DisplayModeRules::Offer ControlBoardController::offer() const {
  return DisplayModeRules::Offer::from(config_, shouldAudioFit, camera_.is360Camera());
}

QHBoxLayout* ControlBoardController::displayStackView(int row) const {
  if (row < 0 || row >= DisplayModeRules::kRowCount || !displayStackViews[size_t(row)])
    return nullptr;
  return qobject_cast<QHBoxLayout*>(displayStackViews[size_t(row)]->layout());
}

// ---- building the views ----

void ControlBoardController::buildViews() {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kPanelColor);
  setPalette(palette);
  setFixedWidth(kBoardWidth);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  contentView = new QWidget(this);
  contentStackView = new QVBoxLayout(contentView);
  contentStackView->setContentsMargins(8, 8, 8, 8);
  contentStackView->setSpacing(6);
  contentStackView->addWidget(buildNavigatorPanel());
  contentStackView->addWidget(buildControlPanel());
  contentStackView->addWidget(buildDisplayPanel());
  contentStackView->addWidget(buildEffectPanel());
  root->addWidget(contentView);
  root->addStretch(1);
}

QWidget* ControlBoardController::buildNavigatorPanel() {
  navigatorView = new QWidget(contentView);
  auto* layout = new QVBoxLayout(navigatorView);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);

  navigatorTitleView = new CustomView(QRect(), navigatorView);
  navigatorTitleView->setColor(kTitleColor);
  navigatorTitleView->setCornerRadius(4);
  auto* titleLayout = new QHBoxLayout(navigatorTitleView);
  titleLayout->setContentsMargins(8, 2, 4, 2);
  navigatorTitleLabel = makeLabel(navigatorTitleView, true);
  splitButton = makeTextButton(navigatorTitleView, 24, 20);
  splitButton->setTitle(QStringLiteral("\u2197"));
  navigatorMoreButton = makeFoldButton(navigatorTitleView);
  titleLayout->addWidget(navigatorTitleLabel);
  titleLayout->addStretch(1);
  titleLayout->addWidget(splitButton);
  titleLayout->addWidget(navigatorMoreButton);
  layout->addWidget(navigatorTitleView);

  navigatorBox = new CustomBox(navigatorView);
  navigatorBox->setFlat(true);
  auto* boxLayout = new QVBoxLayout(navigatorBox);
  boxLayout->setContentsMargins(0, 0, 0, 0);
  if (env_.makeMetalView) {
    metalView = new LayoutView(navigatorBox, metal_);
    metalView->mode = LayoutMode::navigator;
    metalView->setFixedSize(kBoardWidth - 16, (kBoardWidth - 16) * 9 / 16);
    boxLayout->addWidget(metalView);
  }
  layout->addWidget(navigatorBox);

  connect(splitButton, &QAbstractButton::clicked, this, [this] { onClickSplitButton(); });
  connect(navigatorMoreButton, &QAbstractButton::clicked, this,
          [this] { onClickNavigatorMoreButton(); });
  return navigatorView;
}

QWidget* ControlBoardController::buildControlPanel() {
  auto* panel = new QWidget(contentView);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  controlTitleLabel = makeLabel(panel, true);
  controlMoreButton = makeFoldButton(panel);
  layout->addWidget(row(panel, {controlTitleLabel, controlMoreButton}, true));

  controlBox = new CustomBox(panel);
  controlBox->setFlat(true);
  auto* box = new QVBoxLayout(controlBox);
  box->setContentsMargins(4, 4, 4, 4);
  box->setSpacing(6);

  // The switch layout: auto detect with its lamp, and auto tracking.
  autoDetectLabel = makeLabel(controlBox);
  autoDetectSwitch = new CustomSwitch(QRect(0, 0, 40, 20), controlBox);
  autoDetectSwitch->setFixedSize(40, 20);
  breathingLightView = new BreathingLightView(QRect(0, 0, 16, 16), controlBox);
  breathingLightView->setFixedSize(16, 16);
  autoDetectView0 = row(controlBox, {autoDetectLabel, breathingLightView, autoDetectSwitch}, true);
  box->addWidget(autoDetectView0);
  autoTrackingLabel = makeLabel(controlBox);
  autoTrackingButton = makeTextButton(controlBox, 40, 20);
  autoTrackingButton->setTitle(QStringLiteral("\u2713"));
  autoTrackView = row(controlBox, {autoTrackingLabel, autoTrackingButton}, true);
  box->addWidget(autoTrackView);

  // The face layout: the scan picture and the two face buttons.
  faceAutoDetectImage = new ImageView(QRect(0, 0, 40, 40), controlBox);
  faceAutoDetectImage->setFixedSize(40, 40);
  faceAutoDetectImage->setImage(ImageAssets::named(QStringLiteral("icon_facescan_default")));
  // The row's picture, two buttons and spacing leave room for the box's own frame.
  faceAutoDetectButton = makeTextButton(controlBox, 96, 28);
  faceAutoTrackButton = makeTextButton(controlBox, 96, 28);
  autoDetectView1 =
      row(controlBox, {faceAutoDetectImage, faceAutoDetectButton, faceAutoTrackButton}, false);
  box->addWidget(autoDetectView1);

  mirrorLabel = makeLabel(controlBox);
  mirrorSwitch = new CustomSwitch(QRect(0, 0, 40, 20), controlBox);
  mirrorSwitch->setFixedSize(40, 20);
  box->addWidget(row(controlBox, {mirrorLabel, mirrorSwitch}, true));

  ignoreButtonView = new CustomView(QRect(0, 0, 150, 28), controlBox);
  ignoreButtonView->setColor(NamedColors::color(QStringLiteral("75Color")));
  ignoreButtonView->setCornerRadius(4);
  ignoreButtonView->setFixedHeight(28);
  auto* ignoreLayout = new QHBoxLayout(ignoreButtonView);
  ignoreLayout->setContentsMargins(6, 2, 6, 2);
  ignoreButton = makeTextButton(ignoreButtonView, 24, 22);
  ignoreButton->setBorderWidth(0);
  ignoreButton->setTitle(QStringLiteral("+"));
  ignoreLabel = makeLabel(ignoreButtonView);
  ignoreLayout->addWidget(ignoreButton);
  ignoreLayout->addWidget(ignoreLabel);
  ignoreLayout->addStretch(1);
  ignoreShowButton = makeTextButton(controlBox, 60, 24);
  box->addWidget(row(controlBox, {ignoreButtonView, ignoreShowButton}, false));
  ignoreButtonView->installEventFilter(this);

  // The three outline toggles: normal, tracking and ignore-area borders.
  auto* roiRow = new QWidget(controlBox);
  auto* roiLayout = new QHBoxLayout(roiRow);
  roiLayout->setContentsMargins(0, 0, 0, 0);
  const QColor roiColors[] = {config_.rectColor.value_or(QColor(0x7E, 0xD3, 0x21)),
                              config_.trackColor.value_or(QColor(0xBD, 0x10, 0xE0)),
                              config_.ignoreColor.value_or(QColor(0x4F, 0xE3, 0xC0))};
  for (size_t i = 0; i < roiButtons.size(); ++i) {
    roiButtons[i] = makeTextButton(roiRow, 70, 22);
    roiButtons[i]->setActiveBorderColor(roiColors[i]);
    roiButtons[i]->setActiveTextColor(roiColors[i]);
    // Grey while that kind of frame is hidden, its own colour while it is drawn.
    const bool dashed = i == 2;
    roiButtons[i]->setUnselectedImage(roiFramePicture(QColor(0x72, 0x72, 0x72), dashed));
    roiButtons[i]->setHoverImage(roiFramePicture(kTextColor, dashed));
    roiButtons[i]->setSelectedImage(roiFramePicture(roiColors[i], dashed));
    roiLayout->addWidget(roiButtons[i]);
  }
  box->addWidget(roiRow);
  layout->addWidget(controlBox);

  connect(controlMoreButton, &QAbstractButton::clicked, this,
          [this] { onClickControlMoreButton(); });
  connect(faceAutoDetectButton, &QAbstractButton::clicked, this,
          [this] { onClickFaceAutoDetect(); });
  connect(faceAutoTrackButton, &QAbstractButton::clicked, this, [this] { onClickFaceAutoTrack(); });
  connect(autoDetectSwitch, &CustomSwitch::actionTriggered, this, [this] { onSwitchAutoDetect(); });
  connect(autoTrackingButton, &QAbstractButton::clicked, this, [this] { onClickAutoTracking(); });
  connect(mirrorSwitch, &CustomSwitch::actionTriggered, this, [this] { onSwitchMirror(); });
  connect(ignoreButton, &QAbstractButton::clicked, this, [this] { onClickIgnoreButton(); });
  connect(ignoreShowButton, &QAbstractButton::clicked, this, [this] { onClickIgnoreShowButton(); });
  connect(roiButtons[0], &QAbstractButton::clicked, this, [this] { onClickRoiButton0(); });
  connect(roiButtons[1], &QAbstractButton::clicked, this, [this] { onClickRoiButton1(); });
  connect(roiButtons[2], &QAbstractButton::clicked, this, [this] { onClickRoiButton2(); });
  return panel;
}

QWidget* ControlBoardController::buildDisplayPanel() {
  auto* panel = new QWidget(contentView);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  displayTitleLabel = makeLabel(panel, true);
  displayMoreButton = makeFoldButton(panel);
  layout->addWidget(row(panel, {displayTitleLabel, displayMoreButton}, true));

  displayModeBox = new CustomBox(panel);
  displayModeBox->setFlat(true);
  auto* box = new QVBoxLayout(displayModeBox);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(6);
  for (auto& rowView : displayStackViews) {
    rowView = new QWidget(displayModeBox);
    auto* rowLayout = new QHBoxLayout(rowView);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(10);
    rowLayout->setAlignment(Qt::AlignLeft);
    box->addWidget(rowView);
  }
  layout->addWidget(displayModeBox);
  connect(displayMoreButton, &QAbstractButton::clicked, this,
          [this] { onClickDisplayMoreButton(); });
  return panel;
}

QWidget* ControlBoardController::buildEffectPanel() {
  auto* panel = new QWidget(contentView);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  effectLabel = makeLabel(panel, true);
  effectMoreButton = makeFoldButton(panel);
  layout->addWidget(row(panel, {effectLabel, effectMoreButton}, true));

  effectBox = new CustomBox(panel);
  effectBox->setFlat(true);
  auto* box = new QVBoxLayout(effectBox);
  box->setContentsMargins(4, 4, 4, 4);
  box->setSpacing(6);
  pullDownButton = new QComboBox(effectBox);
  effectResetButton = makeTextButton(effectBox, 60, 24);
  effectResetButton->setTitle(QStringLiteral("\u21BA"));
  box->addWidget(row(effectBox, {pullDownButton, effectResetButton}, false));

  cameraEffectStackView = new QWidget(effectBox);
  auto* controls = new QVBoxLayout(cameraEffectStackView);
  controls->setContentsMargins(0, 0, 0, 0);
  controls->setSpacing(4);
  auto sliderRow = [&](QLabel*& label, CustomBalanceSlider*& slider, QLineEdit*& field) {
    label = makeLabel(cameraEffectStackView);
    slider = makeSlider(cameraEffectStackView);
    field = makeValueField(cameraEffectStackView);
    field->installEventFilter(this);
    // Leaving a field takes what it shows, or shows the value in force again.
    connect(field, &QLineEdit::editingFinished, this, [this, field] { settleField(field); });
    controls->addWidget(label);
    controls->addWidget(row(cameraEffectStackView, {slider, field}, false));
  };
  sliderRow(evLabel, evSlider, evTextField);

  flickerLabel = makeLabel(cameraEffectStackView);
  controls->addWidget(flickerLabel);
  flickerStackView = new QWidget(cameraEffectStackView);
  auto* flickers = new QHBoxLayout(flickerStackView);
  flickers->setContentsMargins(0, 0, 0, 0);
  flickerAutoButton = makeTextButton(flickerStackView, 60);
  flicker50Button = makeTextButton(flickerStackView, 60);
  flicker60Button = makeTextButton(flickerStackView, 60);
  int tag = 10;
  for (CustomButton* b : {flickerAutoButton, flicker50Button, flicker60Button}) {
    b->tag = tag++;
    flickers->addWidget(b);
    connect(b, &QAbstractButton::clicked, this, [this, b] { onClickFlickerEvent(b); });
  }
  flickers->addStretch(1);
  controls->addWidget(flickerStackView);

  sliderRow(lightingLabel, lightingSlider, lightingTextField);
  sliderRow(nrLabel, nrSlider, nrTextField);
  sliderRow(gammaLabel, gammaSlider, gammaTextField);
  box->addWidget(cameraEffectStackView);
  layout->addWidget(effectBox);

  connect(effectMoreButton, &QAbstractButton::clicked, this, [this] { onClickEffectMoreButton(); });
  connect(effectResetButton, &QAbstractButton::clicked, this, [this] { onClickResetButton(); });
  connect(pullDownButton, &QComboBox::activated, this, [this] { onClickPresetPullDown(); });
  return panel;
}

// ---- lifecycle ----

void ControlBoardController::viewDidLoad() {
  if (loaded_) return;
  loaded_ = true;
  CV_LOG_DEBUG("");
  viewModel_.loadConfig(config_, LogManager::shared());
  navigatorTitleView->hide();
  navigatorBox->hide();
  initlayout();
  bindViewModel();
  localize();
  // A board made while a source is already connected (the demo clip connects before the main
  // window is built) missed the connection: its preset is applied as the connection would have.
  if (connected()) {
    reloadPresetList();
    viewModel_.currentPresetIndex->setValue(pullDownButton->currentIndex());
  }
  // Without a picture there is nothing to control: the first start looks as a lost camera does.
  effectBox->setVisible(connected());
  controlBox->setVisible(connected());
}

void ControlBoardController::initlayout() {
  CV_LOG_DEBUG("");
  setupDisplayModes();
  reloadPresetList();
  evSlider->type = CustomSliderType::Balance;
  for (CustomBalanceSlider* s : {lightingSlider, nrSlider, gammaSlider})
    s->type = CustomSliderType::Normal;
  for (CustomBalanceSlider* s : {evSlider, lightingSlider, nrSlider, gammaSlider}) {
    s->layoutItems();
    s->update();
  }
  const bool newLayout = config_.enableNewDetectLayout;
  autoDetectView0->setVisible(!newLayout);
  autoTrackView->setVisible(!newLayout);
  autoDetectView1->setVisible(newLayout);
}

void ControlBoardController::viewWillAppear() { breathingLightView->setupImageViews(); }

void ControlBoardController::viewDidAppear() {
  if (config_.disableAutoFlicker) flickerAutoButton->hide();
  fitFaceButtonTitles();
}

void ControlBoardController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  viewWillAppear();
  viewDidAppear();
}

void ControlBoardController::localize() {
  auto t = [this](const char* key) { return QString::fromStdString(text(key)); };
  navigatorTitleLabel->setText(t("Navigator_panel_name"));
  controlTitleLabel->setText(t("control_panel_name"));
  autoDetectLabel->setText(t("control_panel_detect_name"));
  mirrorLabel->setText(t("control_panel_mirror_name"));
  displayTitleLabel->setText(t("display_panel_name"));
  effectLabel->setText(t("effect_panel_name"));
  evLabel->setText(t("effect_panel_ev_name"));
  flickerLabel->setText(t("effect_panel_flicker_name"));
  flickerAutoButton->setTitle(t("effect_panel_auto_name"));
  flicker50Button->setTitle(t("effect_panel_50hz_name"));
  flicker60Button->setTitle(t("effect_panel_60hz_name"));
  lightingLabel->setText(t("effect_panel_lighting_name"));
  nrLabel->setText(t("effect_panel_3dnr_name"));
  gammaLabel->setText(t("effect_panel_gamma_name"));
  autoTrackingLabel->setText(t("control_panel_tracking_name"));
  ignoreLabel->setText(t("setting_ignore_area_name"));
  faceAutoDetectButton->setTitle(t("control_panel_detect_name"));
  faceAutoTrackButton->setTitle(t("control_panel_tracking_name"));
  ignoreShowButton->setTitle(t("setting_ignore_area_show"));
  refreshBorderButtons(false);
}

void ControlBoardController::bindViewModel() {
  QPointer<ControlBoardController> self(this);
  auto weak = [self](auto f) {
    return [self, f](auto value) {
      if (self) f(self.data(), value);
    };
  };

  // An edit may have added or removed the last ignore area.
  viewModel_.editMode->bindAndNotify(
      weak([](ControlBoardController* c, EditMode) { c->refreshBorderButtons(true); }));
  viewModel_.mirror->bindAndNotify(weak([](ControlBoardController* c, bool on) {
    c->metal_.mirror = on;
    c->mirrorSwitch->setOn(on, true);
  }));
  auto firstIndex = std::make_shared<bool>(true);
  viewModel_.currentPresetIndex->bindAndNotify(
      weak([firstIndex](ControlBoardController* c, int64_t index) {
        c->pullDownButton->setCurrentIndex(
            index >= 0 && index < c->pullDownButton->count() ? int(index) : -1);
        if (*firstIndex) {
          *firstIndex = false;
          return;
        }
        c->applyPreset(index);
      }));
  camera_.detectEvent->bind(
      weak([](ControlBoardController* c, double) { c->flashBreathingLight(); }));
  camera_.connectMode->bind(weak([](ControlBoardController* c, ConnectMode mode) {
    c->onConnectModeChanged(mode == ConnectMode::connected);
  }));
  camera_.displayMode->bindAndNotify(
      weak([](ControlBoardController* c, Display mode) { c->onDisplayModeChanged(mode); }));
  camera_.isAutoDetect->bindAndNotify(weak([](ControlBoardController* c, bool on) {
    c->autoDetectSwitch->setOn(on, true);
    c->setButtonUsable(c->autoTrackingButton, on);
    setAlpha(c->autoTrackView, on ? 1.0 : 0.3);
  }));
  camera_.isAutoTracking->bindAndNotify(
      weak([](ControlBoardController* c, bool on) { c->markSelected(c->autoTrackingButton, on); }));
  viewModel_.splitWindow->bind(
      weak([](ControlBoardController* c, bool split) { c->onSplitWindowChanged(split); }));
  // The outline toggles show whether their kind of frame is drawn, whoever changed it.
  camera_.drawNormalRect->bindAndNotify(
      weak([](ControlBoardController* c, bool) { c->refreshBorderButtons(false); }));
  camera_.drawTrackingRect->bindAndNotify(
      weak([](ControlBoardController* c, bool) { c->refreshBorderButtons(false); }));
  camera_.drawIgnoreRect->bindAndNotify(weak([](ControlBoardController* c, bool on) {
    c->isIgnoreShow_ = on;
    c->refreshBorderButtons(false);
  }));
  camera_.isFaceAutoDetect->bindAndNotify(weak([](ControlBoardController* c, bool on) {
    if (on) {
      c->markSelected(c->faceAutoDetectButton, true);
      c->enableFaceButtons(false);
      c->startAutoDetectAnimation();
    } else {
      c->stopAutoDetecttAnimation();
    }
  }));
  camera_.isFaceAutoTracking->bindAndNotify(weak([](ControlBoardController* c, bool on) {
    if (on) {
      c->markSelected(c->faceAutoTrackButton, true);
      c->setButtonUsable(c->faceAutoDetectButton, false);
      c->startAutoDetectAnimation();
    } else {
      c->markSelected(c->faceAutoTrackButton, false);
      c->setButtonUsable(c->faceAutoDetectButton, true);
      c->stopAutoDetecttAnimation();
    }
  }));

  evSlider->sliderHandler = [self](float p) {
    if (self) self->evSliderChanged(p);
  };
  evSlider->sliderCompletedHandler = [self](float p) {
    if (self) self->evSliderCompleted(p);
  };
  lightingSlider->sliderHandler = [self](float p) {
    if (self) self->lightingSliderChanged(p);
  };
  lightingSlider->sliderCompletedHandler = [self](float p) {
    if (self) self->lightingSliderCompleted(p);
  };
  nrSlider->sliderHandler = [self](float p) {
    if (self) self->nrSliderChanged(p);
  };
  nrSlider->sliderCompletedHandler = [self](float p) {
    if (self) self->nrSliderCompleted(p);
  };
  gammaSlider->sliderHandler = [self](float p) {
    if (self) self->gammaSliderChanged(p);
  };
  gammaSlider->sliderCompletedHandler = [self](float p) {
    if (self) self->gammaSliderCompleted(p);
  };
}

// ---- helpers ----

void ControlBoardController::later(double seconds, std::function<void()> task) {
  QPointer<ControlBoardController> self(this);
  std::weak_ptr<bool> alive = alive_;
  auto run = [self, alive, task] {
    platform::MainQueue::shared().async([self, alive, task] {
      if (alive.lock() && self) task();
    });
  };
  if (seconds <= 0) {
    run();
    return;
  }
  auto delay =
      std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds));
  clock_.callAt(clock_.now() + delay, run);
}

void ControlBoardController::markSelected(CustomButton* button, bool selected) {
  if (!button) return;
  button->isSelected = selected;
  button->setState(selected);
  button->updateAppearance(selected);
}

void ControlBoardController::setButtonUsable(CustomButton* button, bool usable) {
  if (!button) return;
  button->setEnabled(usable);
  button->setButtonEnabled(usable);
}

void ControlBoardController::applyButtonLook(CustomButton* button,
                                             const DisplayModeRules::ButtonLook& look) {
  button->setSelectedImage(ImageAssets::named(QString::fromStdString(look.selectedImage)));
  button->setUnselectedImage(ImageAssets::named(QString::fromStdString(look.normalImage)));
  const bool tips = config_.enableButtonTips && !look.tipKey.empty();
  button->setToolTip(tips ? QString::fromStdString(text(look.tipKey)) : QString());
}

void ControlBoardController::setPanelVisible(QWidget* panel, bool visible) {
  panel->setVisible(visible);
  refreshLater();
}

void ControlBoardController::refreshLater() {
  later(0.1, [this] {
    const QRect g = contentStackView->geometry();
    const QSize wanted = contentStackView->totalSizeHint();
    viewModel_.frame->setValue(
        QRectF(g.x(), g.y(), std::max(g.width(), wanted.width()), wanted.height()));
  });
}

// ---- display modes ----

void ControlBoardController::setupDisplayModes() {
  displayModeArray_.clear();
  for (QWidget* rowView : displayStackViews) {
    QLayout* layout = rowView->layout();
    while (QLayoutItem* item = layout->takeAt(0)) delete item;
  }
  for (CustomButton* b : displayModeButtons_) delete b->parentWidget();  // the button's cell
  displayModeButtons_.clear();

  const DisplayModeRules::Offer o = offer();
  displayModeArray_ = DisplayModeRules::modeList(o);
  const DisplayModeRules::Sizing sizing = DisplayModeRules::sizing(config_.displayModesPerRow);
  if (sizing.spacing)
    for (int r = 0; r < DisplayModeRules::kRowCount; ++r)
      displayStackView(r)->setSpacing(int(*sizing.spacing));

  const int side = int(sizing.side);
  std::array<bool, DisplayModeRules::kRowCount> used{};
  for (const DisplayModeRules::ButtonEntry& entry :
       DisplayModeRules::buttons(displayModeArray_, o)) {
    auto* cell = new DisplayCell(displayModeBox);
    cell->setFixedSize(side, side);
    CustomButton* button = cell->displayButton;
    button->setFixedSize(side, side);
    button->tag = entry.tag;
    applyButtonLook(button, entry.look);
    connect(button, &QAbstractButton::clicked, this, [this, button] { buttonPressed(button); });
    const size_t index = displayModeButtons_.size();
    displayModeButtons_.push_back(button);
    if (auto r = DisplayModeRules::rowOf(index, config_.displayModesPerRow)) {
      displayStackView(*r)->addWidget(cell);
      used[size_t(*r)] = true;
    } else {
      cell->hide();
    }
  }
  for (int r = 0; r < DisplayModeRules::kRowCount; ++r)
    displayStackViews[size_t(r)]->setVisible(used[size_t(r)]);
  // Made after the rest of the board, the buttons still come in the Tab order where they stand.
  QWidget* before = displayMoreButton;
  for (CustomButton* b : displayModeButtons_) {
    QWidget::setTabOrder(before, b);
    before = b;
  }
  refreshDisplayModeButtons();
}

void ControlBoardController::refreshDisplayModeButtons() {
  const bool isConnected = connected();
  const int current = int(rawValue(camera_.displayMode->value()));
  bool found = false;
  for (CustomButton* b : displayModeButtons_) {
    const bool selected = isConnected && b->tag == current;
    markSelected(b, selected);
    found = found || selected;
    // Greyed without a camera: out of use, so passed by from the keyboard too.
    if (b->buttonEnabled() != isConnected) b->setButtonEnabled(isConnected);
  }
  if (!found && isConnected) {
    // Falling back to compose once is enough: when compose has no button either, storing it
    // again would only bring this listener back, without end.
    if (camera_.displayMode->value() != Display::compose)
      camera_.displayMode->setValue(Display::compose);
    for (CustomButton* b : displayModeButtons_)
      if (b->tag == int(rawValue(Display::compose))) markSelected(b, true);
  }
  refreshLater();
}

void ControlBoardController::selectDefaultDisplayMode() {
  const int chosen = DisplayModeRules::defaultCode(displayModeArray_, config_.defaultDisplayMode);
  camera_.displayMode->setValue(makeDisplay(chosen).value_or(Display::compose));
  const bool isConnected = connected();
  for (CustomButton* b : displayModeButtons_) {
    markSelected(b, isConnected && b->tag == chosen);
    if (b->buttonEnabled() != isConnected) b->setButtonEnabled(isConnected);
  }
}

void ControlBoardController::buttonPressed(CustomButton* sender) {
  if (!sender) return;
  if (!connected()) {
    markSelected(sender, false);
    return;
  }
  const DisplayModeRules::Press press =
      DisplayModeRules::press(sender->tag, camera_.displayMode->value(), offer());
  if (press.newTag) {
    sender->tag = *press.newTag;
    applyButtonLook(sender, *press.newLook);
  }
  if (press.mode) camera_.displayMode->setValue(*press.mode);
  refreshDisplayModeButtons();
}

void ControlBoardController::onDisplayModeChanged(Display mode) {
  if (mode != Display::focus && mode != Display::topDown) {
    enableFaceButtons(true);
    enableAutoDetectGroup(true);
    autoDetectSwitch->setOn(camera_.isAutoDetect->value(), true);
    if (camera_.isFaceAutoTracking->value()) {
      markSelected(faceAutoTrackButton, true);
      setButtonUsable(faceAutoDetectButton, false);
      startAutoDetectAnimation();
    }
  } else {
    enableFaceButtons(false);
    enableAutoDetectGroup(false);
    autoDetectSwitch->setOn(false, true);
    stopAutoDetecttAnimation();
  }
  refreshDisplayModeButtons();
}

void ControlBoardController::onConnectModeChanged(bool isConnected) {
  if (isConnected) {
    if (!viewModel_.splitWindow->value()) {
      setPanelVisible(navigatorTitleView, true);
      setPanelVisible(navigatorBox, true);
    }
    setPanelVisible(effectBox, true);
    setPanelVisible(controlBox, true);
    reloadPresetList();
    viewModel_.currentPresetIndex->setValue(pullDownButton->currentIndex());
  } else {
    setPanelVisible(navigatorTitleView, false);
    setPanelVisible(navigatorBox, false);
    setPanelVisible(effectBox, false);
    setPanelVisible(controlBox, false);
  }
  setupDisplayModes();
}

void ControlBoardController::onClickSplitButton() {
  CV_LOG_DEBUG("");
  if (!connected()) return;
  setPanelVisible(navigatorTitleView, false);
  setPanelVisible(navigatorBox, false);
  viewModel_.splitWindow->setValue(true);
}

void ControlBoardController::showSimpleUI(bool show) {
  CV_LOG_DEBUG(show ? " show true" : " show false");
  refreshDisplayModeButtons();
}

void ControlBoardController::onSplitWindowChanged(bool split) {
  if (!connected()) return;
  setPanelVisible(navigatorTitleView, !split);
  setPanelVisible(navigatorBox, !split);
  markSelected(navigatorMoreButton, split);
  refreshLater();
}

// ---- picture controls ----

void ControlBoardController::showRoundedValue(CustomBalanceSlider* slider, QLineEdit* field,
                                              double ratio, const QString& shown) {
  const double trackWidth = SliderGeometry::track(slider->width(), slider->height(),
                                                  slider->thumbSize, slider->backgroundViewHeight)
                                .width();
  slider->updateThumb(trackWidth * ratio + slider->thumbSize.height() / 2);
  field->setText(shown);
  shownText_[field] = shown;
}

double ControlBoardController::setEV(double value) {
  const Brightness b = camera_.brightness();
  const PictureControlValues::Shown s = PictureControlValues::ev(value, b.min, b.max);
  showRoundedValue(evSlider, evTextField, s.ratio,
                   PictureControlValues::fieldText(s.value, QLocale(), true));
  return s.ratio;
}

double ControlBoardController::setLighting(double value) {
  const PictureControlValues::Shown s = PictureControlValues::lighting(value);
  showRoundedValue(lightingSlider, lightingTextField, s.ratio, QString::number(qint64(s.value)));
  return s.ratio;
}

double ControlBoardController::setWholeValue(double value, double min, double max,
                                             CustomBalanceSlider* slider, QLineEdit* field) {
  const PictureControlValues::Shown s = PictureControlValues::wholeInRange(value, min, max);
  showRoundedValue(slider, field, s.ratio, QString::number(qint64(s.value)));
  return s.ratio;
}

double ControlBoardController::setNR(double value) {
  const NR r = camera_.nr();
  return setWholeValue(value, r.min, r.max, nrSlider, nrTextField);
}

double ControlBoardController::setGamma(double value) {
  const Gamma g = camera_.gamma();
  return setWholeValue(value, g.min, g.max, gammaSlider, gammaTextField);
}

std::optional<size_t> ControlBoardController::selectedPresetIndex() const {
  const int i = pullDownButton->currentIndex();
  if (i < 0 || size_t(i) >= config_.presets.size()) return std::nullopt;
  return size_t(i);
}

bool ControlBoardController::customPresetSelected() const {
  return PresetChoice::isCustom(config_.presets, selectedPresetIndex(), config_.customPresetTitle);
}

void ControlBoardController::selectCustomPreset() {
  if (customPresetSelected()) return;
  if (auto i = PresetChoice::customIndex(config_.presets, config_.customPresetTitle))
    pullDownButton->setCurrentIndex(int(*i));
}

void ControlBoardController::evSliderChanged(float p) {
  const Brightness b = camera_.brightness();
  setEV(PictureControlValues::evAt(p, b.min, b.max));
  selectCustomPreset();
}

void ControlBoardController::lightingSliderChanged(float p) {
  setLighting(PictureControlValues::lightingAt(p));
  selectCustomPreset();
}

void ControlBoardController::nrSliderChanged(float p) {
  const NR r = camera_.nr();
  setNR(PictureControlValues::rangeAt(p, r.min, r.max));
  selectCustomPreset();
}

void ControlBoardController::gammaSliderChanged(float p) {
  const Gamma g = camera_.gamma();
  setGamma(PictureControlValues::rangeAt(p, g.min, g.max));
  selectCustomPreset();
}

void ControlBoardController::evSliderCompleted(float p) {
  const Brightness b = camera_.brightness();
  if (b.enable && p != b.value) camera_.enqueueUVCEvent(UVCMode::brightness, p);
  saveCustomPreset();
}

void ControlBoardController::lightingSliderCompleted(float p) {
  metal_.brightness = p;
  saveCustomPreset();
}

void ControlBoardController::nrSliderCompleted(float p) {
  metal_.denoise = PictureControlValues::denoiseLevel(p);
  saveCustomPreset();
}

void ControlBoardController::gammaSliderCompleted(float p) {
  const Gamma g = camera_.gamma();
  if (g.enable && p != g.value) camera_.enqueueUVCEvent(UVCMode::gamma, p);
  saveCustomPreset();
}

void ControlBoardController::setFlickerMode(FlickerMode mode) {
  flickerMode_ = mode;
  const int tag = int(mode) + 10;
  for (CustomButton* b : {flickerAutoButton, flicker50Button, flicker60Button})
    markSelected(b, b->tag == tag);
}

void ControlBoardController::onClickFlickerEvent(CustomButton* sender) {
  setFlickerMode(PictureControlValues::flickerForTag(sender ? sender->tag : 0));
  const Flicker f = camera_.flicker();
  if (f.enable && int(flickerMode_) != f.value)
    camera_.enqueueUVCEvent(UVCMode::flicker, float(int(flickerMode_)));
  selectCustomPreset();
  saveCustomPreset();
}

std::optional<double> ControlBoardController::fieldValue(QLineEdit* field) const {
  if (field == evTextField) {
    const Brightness b = camera_.brightness();
    return PictureControlValues::readField(field->text(), QLocale(), true, b.min, b.max);
  }
  if (field == lightingTextField)
    return PictureControlValues::readField(field->text(), QLocale(), false, 0, 100);
  if (field == nrTextField) {
    const NR r = camera_.nr();
    return PictureControlValues::readField(field->text(), QLocale(), false, r.min, r.max);
  }
  if (field == gammaTextField) {
    const Gamma g = camera_.gamma();
    return PictureControlValues::readField(field->text(), QLocale(), false, g.min, g.max);
  }
  return std::nullopt;
}

void ControlBoardController::settleField(QLineEdit* field) {
  auto shown = shownText_.find(field);
  if (shown != shownText_.end() && field->text() == shown->second) return;
  applyField(field);
}

bool ControlBoardController::valueFieldReturn(QLineEdit* field) {
  if (!applyField(field)) return false;
  field->setFocus();
  return true;
}

bool ControlBoardController::applyField(QLineEdit* field) {
  if (field != evTextField && field != lightingTextField && field != nrTextField &&
      field != gammaTextField)
    return false;
  const std::optional<double> value = fieldValue(field);
  if (!value) {
    // What cannot be read is not taken: the field shows the value in force again.
    auto shown = shownText_.find(field);
    field->setText(shown != shownText_.end() ? shown->second : QString());
    return true;
  }
  if (field == evTextField) {
    const double r = setEV(*value);
    const Brightness b = camera_.brightness();
    if (b.enable && float(r) != b.value) camera_.enqueueUVCEvent(UVCMode::brightness, float(r));
  } else if (field == lightingTextField) {
    metal_.brightness = float(setLighting(*value));
  } else if (field == nrTextField) {
    metal_.denoise = PictureControlValues::denoiseLevel(setNR(*value));
  } else {
    const double r = setGamma(*value);
    const Gamma g = camera_.gamma();
    if (g.enable && float(r) != g.value) camera_.enqueueUVCEvent(UVCMode::gamma, float(r));
  }
  selectCustomPreset();
  saveCustomPreset();
  return true;
}

// ---- presets ----

void ControlBoardController::reloadPresetList() {
  fillingPresets_ = true;
  pullDownButton->clear();
  for (const PresetModel& preset : config_.presets)
    pullDownButton->addItem(QString::fromStdString(preset.displayName));
  const std::string stored = defaults_.string(QStringLiteral("CurrentPreset")).toStdString();
  if (auto i = PresetChoice::indexForStored(config_.presets, stored))
    pullDownButton->setCurrentIndex(int(*i));
  fillingPresets_ = false;
  // The controls show only for the editable preset, also before a preset was ever applied.
  const bool custom = customPresetSelected();
  effectResetButton->setVisible(custom);
  cameraEffectStackView->setVisible(custom);
}

void ControlBoardController::onClickPresetPullDown() {
  viewModel_.currentPresetIndex->setValue(pullDownButton->currentIndex());
  if (auto i = selectedPresetIndex())
    defaults_.set(QStringLiteral("CurrentPreset"),
                  QString::fromStdString(config_.presets[*i].name));
}

void ControlBoardController::applyPreset(int64_t index) {
  if (index < 0 || size_t(index) >= config_.presets.size()) return;
  const PresetModel preset = config_.presets[size_t(index)];

  // Every control shows the preset's value; a control the camera does not offer (no camera,
  // the demo clip) sends nothing, but its field is never left empty.
  later(0, [this, ev = preset.ev] {
    const double r = setEV(ev);
    const Brightness b = camera_.brightness();
    if (b.enable && float(r) != b.value) camera_.enqueueUVCEvent(UVCMode::brightness, float(r));
  });
  setFlickerMode(PictureControlValues::flickerForLevel(preset.flickr));
  later(0.15, [this] {
    const Flicker f = camera_.flicker();
    if (f.enable && int(flickerMode_) != f.value)
      camera_.enqueueUVCEvent(UVCMode::flicker, float(int(flickerMode_)));
  });
  const double nr = setNR(double(preset.nr));
  const NR noise = camera_.nr();
  if (!noise.enable || float(nr) != noise.value) {
    if (noise.enable) camera_.setNrValue(float(nr));
    metal_.denoise = PictureControlValues::denoiseLevel(nr);
  }
  metal_.brightness = float(setLighting(double(preset.lighting)));
  later(0.75, [this, gamma = preset.gamma] {
    const double r = setGamma(double(gamma));
    const Gamma g = camera_.gamma();
    if (g.enable && float(r) != g.value) camera_.enqueueUVCEvent(UVCMode::gamma, float(r));
  });
  const bool custom = preset.displayName == config_.customPresetTitle;
  cameraEffectStackView->setVisible(custom);
  effectResetButton->setVisible(custom);
}

void ControlBoardController::saveCustomPreset() {
  // The preset's name is stored, not the shown (localised) title: the ROI records and the
  // settings compare names, and a title changes with the language.
  const std::optional<size_t> selected = selectedPresetIndex();
  if (selected)
    defaults_.set(QStringLiteral("CurrentPreset"),
                  QString::fromStdString(config_.presets[*selected].name));
  else
    defaults_.remove(QStringLiteral("CurrentPreset"));
  if (!customPresetSelected()) return;

  // A field being typed in and left unreadable shows the value in force again; what is stored
  // is what the fields show, and a field that still shows nothing readable keeps the preset's.
  for (QLineEdit* field : {evTextField, lightingTextField, nrTextField, gammaTextField}) {
    if (!fieldValue(field)) {
      auto shown = shownText_.find(field);
      if (shown != shownText_.end()) field->setText(shown->second);
    }
  }
  auto whole = [this](QLineEdit* field) -> std::optional<int64_t> {
    const std::optional<double> v = fieldValue(field);
    return v ? std::optional<int64_t>(int64_t(*v)) : std::nullopt;
  };
  const std::optional<double> ev = fieldValue(evTextField);
  const std::optional<int64_t> nr = whole(nrTextField);
  const std::optional<int64_t> lighting = whole(lightingTextField);
  // Gamma is the camera's: without its range (no camera, the demo clip) the field shows no value
  // of the camera's, and the presets keep theirs.
  const bool gammaOffered = camera_.gamma().enable;
  const std::optional<int64_t> gamma = whole(gammaTextField);
  // The board's choice, which the camera is being put to: the camera's own value may not have
  // come back yet, and without a camera it never changes.
  const int flicker = int(flickerMode_);
  for (PresetModel& preset : config_.presets) {
    if (gammaOffered && gamma) preset.gamma = *gamma;
    if (preset.displayName == config_.customPresetTitle) {
      preset.ev = ev.value_or(preset.ev);
      preset.nr = nr.value_or(preset.nr);
      preset.lighting = lighting.value_or(preset.lighting);
      if (gammaOffered) preset.gamma = gamma.value_or(preset.gamma);
    }
    preset.flickr = flicker;
  }
  // On disk at once, as a saved layout is (and again at the quit): a change that cannot be
  // kept is told with its reason, not found missing at the next start.
  std::string why;
  const bool saved = config_.savePresetFile(&why);
  if (auto tell = presetSaveNotice_.after(saved, why); tell && env_.showFailure)
    env_.showFailure(
        QString::fromStdString(text("alert_preset_not_saved")).arg(QString::fromStdString(*tell)));
}

void ControlBoardController::onClickResetButton() {
  camera_.loadCameraRanges();
  const DefPreset def = camera_.defPreset();
  const double ev = setEV(def.brightness);
  setFlickerMode(PictureControlValues::flickerForLevel(def.flicker));
  const double lighting = setLighting(def.lighting);
  const double nr = setNR(def.nr);
  const double gamma = setGamma(def.gamma);
  metal_.brightness = float(lighting);
  metal_.denoise = PictureControlValues::denoiseLevel(nr);
  auto num = [](double v) { return QString::number(v).toStdString(); };
  CV_LOG_INFO("Reset info ev: " + num(ev) + " flicker: " + std::to_string(int(flickerMode_)) +
              " lighting: " + num(lighting) + " nr: " + num(nr) + " gamma: " + num(gamma));
  // The defaults become the custom preset's values, as any other change of a control does:
  // choosing the preset again, a saved layout and the next start show them.
  saveCustomPreset();
  // The board only shows the defaults; the camera manager queues the camera's writes, spaced
  // apart, and only for controls that differ.
  camera_.resetCameraFunction();
}

// ---- panels, switches and buttons ----

void ControlBoardController::foldPanel(CustomButton* button, QWidget* box) {
  if (!connected()) {
    markSelected(button, false);
    return;
  }
  const bool folded = !button->isSelected;
  markSelected(button, folded);
  button->setTitle(folded ? QStringLiteral("\u02C3") : QStringLiteral("\u02C5"));
  box->setVisible(!folded);
  refreshLater();
}

void ControlBoardController::onClickNavigatorMoreButton() {
  foldPanel(navigatorMoreButton, navigatorBox);
}
void ControlBoardController::onClickControlMoreButton() {
  foldPanel(controlMoreButton, controlBox);
}
void ControlBoardController::onClickDisplayMoreButton() {
  foldPanel(displayMoreButton, displayModeBox);
}
void ControlBoardController::onClickEffectMoreButton() { foldPanel(effectMoreButton, effectBox); }

void ControlBoardController::onClickFaceAutoDetect() { camera_.isFaceAutoDetect->setValue(true); }

void ControlBoardController::onClickFaceAutoTrack() {
  camera_.isFaceAutoTracking->setValue(!camera_.isFaceAutoTracking->value());
}

void ControlBoardController::onSwitchAutoDetect() {
  CV_LOG_DEBUG("");
  camera_.isAutoDetect->setValue(autoDetectSwitch->on());
}

void ControlBoardController::onClickAutoTracking() {
  const bool selected = !autoTrackingButton->isSelected;
  markSelected(autoTrackingButton, selected);
  camera_.isAutoTracking->setValue(selected);
}

void ControlBoardController::onSwitchMirror() {
  CV_LOG_DEBUG("");
  viewModel_.mirror->setValue(mirrorSwitch->on());
}

void ControlBoardController::onClickIgnoreButton() {
  viewModel_.editMode->setValue(EditMode::ignore);
}

void ControlBoardController::onClickIgnoreShowButton() {
  const bool selected = !ignoreShowButton->isSelected;
  markSelected(ignoreShowButton, selected);
  isIgnoreShow_ = selected;
  camera_.drawIgnoreRect->setValue(selected);
}

void ControlBoardController::refreshBorderButtons(bool countIgnoreAreas) {
  if (countIgnoreAreas) {
    std::shared_ptr<AnalysisFacade> facade = camera_.manager();
    ignoreAreaCount_ = facade ? facade->GetIgnoredRectCount() : 0;
  }
  BorderButtonRules::Drawn drawn;
  drawn.normal = camera_.drawNormalRect->value();
  drawn.tracking = camera_.drawTrackingRect->value();
  drawn.ignore = camera_.drawIgnoreRect->value();
  const BorderButtonRules::Looks looks = BorderButtonRules::looks(drawn, ignoreAreaCount_);
  for (size_t i = 0; i < roiButtons.size(); ++i) {
    markSelected(roiButtons[i], looks.outlines[i].lit);
    roiButtons[i]->setToolTip(QString::fromStdString(text(looks.outlines[i].tipKey)));
  }
  markSelected(ignoreShowButton, looks.show.lit);
  ignoreShowButton->setToolTip(QString::fromStdString(text(looks.show.tipKey)));
  ignoreShowButton->setVisible(looks.showVisible);
}

void ControlBoardController::onClickRoiButton0() {
  camera_.drawNormalRect->setValue(!camera_.drawNormalRect->value());
}
void ControlBoardController::onClickRoiButton1() {
  camera_.drawTrackingRect->setValue(!camera_.drawTrackingRect->value());
}
void ControlBoardController::onClickRoiButton2() {
  camera_.drawIgnoreRect->setValue(!camera_.drawIgnoreRect->value());
}

void ControlBoardController::enableFaceButtons(bool enabled) {
  setButtonUsable(faceAutoDetectButton, enabled && !camera_.isFaceAutoTracking->value());
  setButtonUsable(faceAutoTrackButton, enabled);
}

void ControlBoardController::enableAutoDetectGroup(bool enabled) {
  const bool autoDetect = camera_.isAutoDetect->value();
  setButtonUsable(autoTrackingButton, enabled && autoDetect);
  setAlpha(autoTrackView, enabled && autoDetect ? 1.0 : 0.3);
  autoDetectSwitch->setAlphaValue(enabled ? 1.0 : 0.3);
  setAlpha(autoDetectLabel, enabled ? 1.0 : 0.3);
  setButtonUsable(ignoreButton, enabled);
  setAlpha(ignoreButtonView, enabled ? 1.0 : 0.3);
}

void ControlBoardController::startAutoDetectAnimation() {
  if (autoDetectAnimationLayer_) return;
  QList<QPixmap> frames;
  for (int i = 1; i <= kFaceScanFrames; ++i) {
    QPixmap frame =
        ImageAssets::named(QStringLiteral("icon_facescan%1").arg(i, 4, 10, QLatin1Char('0')));
    if (!frame.isNull()) frames.push_back(frame);
  }
  autoDetectAnimationLayer_ = ImageSequenceAnimation::addImageSequenceAnimation(
      frames, kFaceScanFactor, faceAutoDetectImage->rect(), faceAutoDetectImage);
  autoDetectAnimationLayer_->show();
  faceAutoDetectImageStart_ = clock_.now();
  faceAutoDetectImage->setImage(QPixmap());
}

void ControlBoardController::endFaceScan(bool forMode) {
  delete autoDetectAnimationLayer_.data();
  autoDetectAnimationLayer_ = nullptr;
  faceAutoDetectImage->setImage(ImageAssets::named(QStringLiteral("icon_facescan_default")));
  if (forMode) {
    setButtonUsable(faceAutoDetectButton, false);
    setButtonUsable(faceAutoTrackButton, false);
  } else {
    setButtonUsable(faceAutoDetectButton, !camera_.isFaceAutoTracking->value());
    setButtonUsable(faceAutoTrackButton, true);
  }
  markSelected(faceAutoDetectButton, false);
}

void ControlBoardController::stopAutoDetecttAnimation() {
  const FaceScanRules::Stop decision = FaceScanRules::stop(
      bool(autoDetectAnimationLayer_), camera_.displayMode->value(),
      camera_.isFaceAutoTracking->value(), faceAutoDetectImageStart_, clock_.now());
  switch (decision) {
    case FaceScanRules::Stop::nothing:
      return;
    case FaceScanRules::Stop::later:
      later(FaceScanRules::kMinimumSeconds, [this] { stopAutoDetecttAnimation(); });
      return;
    case FaceScanRules::Stop::endForMode:
      endFaceScan(true);
      return;
    case FaceScanRules::Stop::end:
      endFaceScan(false);
      return;
    case FaceScanRules::Stop::restart:
      delete autoDetectAnimationLayer_.data();
      autoDetectAnimationLayer_ = nullptr;
      startAutoDetectAnimation();
      setButtonUsable(faceAutoDetectButton, false);
      setButtonUsable(faceAutoTrackButton, true);
      markSelected(faceAutoDetectButton, false);
      return;
  }
}

void ControlBoardController::flashBreathingLight() {
  ImageView* lit = breathingLightView->imageView_2();
  if (!lit) return;
  auto* group = new QSequentialAnimationGroup(lit);
  auto* in = new QPropertyAnimation(lit, "alphaValue", group);
  in->setDuration(300);
  in->setStartValue(lit->alphaValue());
  in->setEndValue(1.0);
  auto* out = new QPropertyAnimation(lit, "alphaValue", group);
  out->setDuration(200);
  out->setStartValue(1.0);
  out->setEndValue(0.0);
  group->addAnimation(in);
  group->addAnimation(out);
  group->start(QAbstractAnimation::DeleteWhenStopped);
}

void ControlBoardController::ignoreViewEntered() {
  if (ignoreButton->buttonEnabled())
    ignoreButtonView->setColor(NamedColors::color(QStringLiteral("tintColor")));
}

void ControlBoardController::ignoreViewExited() {
  if (ignoreButton->buttonEnabled())
    ignoreButtonView->setColor(NamedColors::color(QStringLiteral("75Color")));
}

void ControlBoardController::fitFaceButtonTitles() {
  // The longer title decides; the other one takes the same size.
  CustomButton* decider =
      TitleFontFit::trackTitleDecides(faceAutoDetectButton->title(), faceAutoTrackButton->title())
          ? faceAutoTrackButton
          : faceAutoDetectButton;
  const double available = faceAutoTrackButton->width() - TitleFontFit::kMargin;
  const QFont base = decider->font();
  const double size = TitleFontFit::pointSize(decider->title(), available, base.pointSizeF(),
                                              [&base](const QString& t, double points) {
                                                QFont f = base;
                                                f.setPointSizeF(points);
                                                return QFontMetricsF(f).horizontalAdvance(t);
                                              });
  for (CustomButton* b : {faceAutoDetectButton, faceAutoTrackButton}) {
    QFont f = b->font();
    f.setPointSizeF(size);
    b->setFont(f);
  }
}

bool ControlBoardController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ignoreButtonView) {
    if (event->type() == QEvent::Enter) ignoreViewEntered();
    if (event->type() == QEvent::Leave) ignoreViewExited();
    // The whole view lights up under the pointer, so a click anywhere on it (its words
    // included) is a click on the button; presses on the "+" itself never get here.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      if (event->type() == QEvent::MouseButtonRelease && ignoreButton->isEnabled() &&
          ignoreButton->buttonEnabled() &&
          ignoreButtonView->rect().contains(mouse->position().toPoint()))
        onClickIgnoreButton();
      return true;
    }
    return false;
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (field && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter))
      return valueFieldReturn(field);
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace corvane
