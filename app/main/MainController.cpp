#include "main/MainController.h"

#include <cmath>

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QMetaObject>
#include <chrono>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "OutlineBudget.h"
#include "camera/AnalysisFacade.h"
#include "camera/CameraManager.h"
#include "camera/USBManager.h"
#include "config/ConfigManager.h"
#include "config/RectPoint.h"
#include "controlboard/ControlBoardController.h"
#include "controlboard/ControlBoardViewModel.h"
#include "controlboard/SmallControlBoardController.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "ipc/MachManager.h"
#include "log/LogManager.h"
#include "main/BasePositionView.h"
#include "main/BorderOutlines.h"
#include "main/PreviewMouseAdaptor.h"
#include "main/SystemExtensionManager.h"
#include "main/VirtualCameraSink.h"
#include "main/MainWindowPlacement.h"
#include "main/MainWindowRules.h"
#include "main/WindowFrameKeys.h"
#include "util/ImageSequenceAnimation.h"
#include "qt/UserDefaults.h"
#include "render/BorderView.h"
#include "render/LayoutView.h"
#include "render/PerspectiveProjection.h"
#include "util/RunProfile.h"
#include "render/MetalManager.h"
#include "shell/AppDelegate.h"
#include "shell/ConnectController.h"
#include "shell/CustomWindow.h"
#include "shell/LanguageViewController.h"
#include "shell/SettingViewController.h"
#include "Workspace.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/FocusRing.h"
#include "widgets/FocusScope.h"
#include "widgets/ImageAssets.h"
#include "widgets/NamedColors.h"
#include "widgets/ToolTipDelayStyle.h"

namespace corvane {

namespace {

using Geometry = MainWindowGeometry;

QString text(const char* key) { return QString::fromStdString(localized(key)); }

// "{{x, y}, {w, h}}", the standard text form of a rectangle.
std::string rectText(const QRectF& r) {
  auto n = [](double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return std::string(buffer);
  };
  return "{{" + n(r.x()) + ", " + n(r.y()) + "}, {" + n(r.width()) + ", " + n(r.height()) + "}}";
}

CustomButton* makeTextButton(QWidget* parent, int width) {
  auto* b = new CustomButton(QRect(0, 0, width, 28), parent);
  b->setCornerRadius(14);
  b->setBorderWidth(1);
  b->setBorderColor(NamedColors::color("veryLightPinkColor"));
  b->setActiveBorderColor(NamedColors::color("tintColor"));
  b->setTextColor(NamedColors::color("veryLightPinkColor"));
  b->setActiveTextColor(NamedColors::color("tintColor"));
  b->setFixedSize(width, 28);
  return b;
}

CustomView* makePopupHost(QWidget* parent) {
  auto* v = new CustomView(QRect(), parent);
  v->setColor(NamedColors::clear());
  // A popup takes every mouse event in its frame: none reaches the preview beneath.
  v->setAttribute(Qt::WA_NoMousePropagation);
  v->hide();
  return v;
}

}  // namespace

MainController::Environment MainController::Environment::process() {
  Environment env;
  env.camera = &CameraManager::shared();
  env.viewModel = &ControlBoardViewModel::shared();
  env.config = &ConfigManager::shared();
  env.metal = &MetalManager::shared();
  env.logger = &LogManager::shared();
  env.defaults = &platform::UserDefaults::shared();
  env.deviceMonitor = &platform::DeviceMonitor::shared();
  env.update = UpdateController::Environment::process();
  // The virtual camera: the sink stream on our loopback device, the link to its assistant and
  // the activation that makes the device.
  env.startSinkStream = [] { return VirtualCameraSink::shared().connectCameraExtension(); };
  env.isSinkConnected = [] { return VirtualCameraSink::shared().isConnected(); };
  env.activateCameraExtension = [] { SystemExtensionManager::shared().activateCameraExtension(); };
  env.isStreaming = [] { return platform::MachManager::shared().isStreaming(); };
  env.saveRoi = SaveRoiViewController::Environment::process();
  env.advertisement = AdvertisementViewController::Environment::process();
  env.setStreamStateDelegate = [](platform::MachManagerDelegate* delegate) {
    platform::MachManager::shared().setDelegate(delegate);
  };
  env.sendPixelBuffer = [](const platform::PixelBufferRef& frame) {
    platform::MachManager::shared().sendPixelBuffer(frame);
  };
  env.enqueueFrame = [](const platform::PixelBufferRef& frame) {
    VirtualCameraSink::shared().enqueueFrame(frame);
  };
  env.companyModel = [] {
    AppDelegate* delegate = AppDelegate::current();
    return delegate ? delegate->companyModel() : std::optional<CompanyModel>();
  };
  env.assignMenuEvents =
      [](const std::vector<std::pair<std::string, std::function<void()>>>& list) {
        AppDelegate* delegate = AppDelegate::current();
        if (!delegate) return;
        const std::map<std::string, AppDelegate::Event AppDelegate::*> eventSlots = {
            {"menuLanguageEvent", &AppDelegate::menuLanguageEvent},
            {"menuPreferencesiEvent", &AppDelegate::menuPreferencesiEvent},
            {"menuUpdateEvent", &AppDelegate::menuUpdateEvent},
            {"menuAutoDetectEvent", &AppDelegate::menuAutoDetectEvent},
            {"menuDetectOnceEvent", &AppDelegate::menuDetectOnceEvent},
            {"menuAutoTrackEvent", &AppDelegate::menuAutoTrackEvent},
            {"menuCleanAllEvent", &AppDelegate::menuCleanAllEvent},
            {"menuLoadRoiEvent", &AppDelegate::menuLoadRoiEvent},
            {"menuSaveRoiEvent", &AppDelegate::menuSaveRoiEvent},
            {"menuTrackAllEvent", &AppDelegate::menuTrackAllEvent},
            {"menuUntrackAllEvent", &AppDelegate::menuUntrackAllEvent},
            {"menuWebsiteEvent", &AppDelegate::menuWebsiteEvent}};
        for (const auto& [name, body] : list)
          if (auto it = eventSlots.find(name); it != eventSlots.end())
            delegate->*(it->second) = body;
      };
  env.makerURL = CORVANE_MAKER_URL;
  env.vendorProductURL = CORVANE_VENDOR_PRODUCT_URL;
  env.openURL = [](const std::string& address) {
    return platform::Workspace::shared().openURL(address);
  };
  env.makeConnectController = [](QWidget* parent) -> QWidget* {
    return ConnectController::make(parent);
  };
  env.makeLanguageViewController = [](QWidget* host) -> QWidget* {
    auto* language =
        new LanguageViewController(LanguageViewController::Environment::process(), host);
    QPointer<QWidget> weak(host);
    language->closeAction = [weak] {
      if (weak) weak->hide();
    };
    return language;
  };
  env.makeSettingViewController = [](QWidget* host) -> QWidget* {
    auto* setting = new SettingViewController(SettingViewController::Environment::process(), host);
    QPointer<QWidget> weak(host);
    setting->closeAction = [weak] {
      if (weak) weak->hide();
    };
    return setting;
  };
  return env;
}

MainController* MainController::fromStoryboard() {
  return new MainController(Environment::process());
}

MainController::MainController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  if (!env_.camera) env_.camera = &CameraManager::shared();
  if (!env_.viewModel) env_.viewModel = &ControlBoardViewModel::shared();
  if (!env_.config) env_.config = &ConfigManager::shared();
  if (!env_.metal) env_.metal = &MetalManager::shared();
  if (!env_.logger) env_.logger = &LogManager::shared();
  if (!env_.defaults) env_.defaults = &platform::UserDefaults::shared();
  if (!env_.controlBoardMetalView) {
    env_.controlBoardMetalView = [this]() -> LayoutView* {
      return controlBoardController_ ? controlBoardController_->metalView : nullptr;
    };
  }
  setObjectName("MainController");
  setMinimumSize(MainWindowRules::kMinimumContentSize);
  buildViews();
  setupRoiEditing();
  viewDidLoad();
}

MainController::~MainController() {
  *alive_ = false;
  if (env_.setStreamStateDelegate) env_.setStreamStateDelegate(nullptr);
  if (deviceSubscription_ && env_.deviceMonitor)
    env_.deviceMonitor->unsubscribe(*deviceSubscription_);
}

void MainController::debugLine(const char* function, const std::string& message) {
  env_.logger->debug(message, __FILE__, function, __LINE__);
}

// ---- the widget tree ----

void MainController::buildViews() {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
  setPalette(palette);

  contentView = new QWidget(this);
  controlView = new QWidget(contentView);
  controlMetalView = new LayoutView(controlView, *env_.metal);
  controlMetalView->mode = LayoutMode::control;
  controlMetalView->followFrames();
  // The ROI overlay: transparent, and the preview beneath gets every press.
  controlBorderView = new BorderView(*env_.config, controlView);

  navigatorView = new QWidget(contentView);
  navigatorContentView = new QWidget(navigatorView);
  navigatorTitleLabel = new QLabel(navigatorContentView);
  navigatorTitleLabel->setStyleSheet("color: #E6E1E1;");
  splitWindowButton = makeTextButton(navigatorContentView, 28);
  splitWindowButton->setTitle(QString::fromUtf8("\u00D7"));
  navigatorMetalView = new LayoutView(navigatorContentView, *env_.metal);
  navigatorView->hide();

  notifyView = new QWidget(contentView);
  notificationButton = makeTextButton(notifyView, 120);
  notifyImageView = new QLabel(notifyView);
  notifyImageView->setGeometry(0, 0, 28, 28);
  notificationButton->move(32, 0);
  notifyView->setGeometry(Geometry::kContentMargin, 8, 160, 28);
  // Shown by the notification check when the cloud has one.
  notifyView->hide();

  basePositionView = new BasePositionView(QRect(0, 0, 145, 30), contentView);

  fovStackView = new QWidget(contentView);
  auto* fovRow = new QHBoxLayout(fovStackView);
  fovRow->setContentsMargins(0, 0, 0, 0);
  fov1Button = makeTextButton(fovStackView, 72);
  fov2Button = makeTextButton(fovStackView, 72);
  fov3Button = makeTextButton(fovStackView, 72);
  fov1Button->tag = 0;
  fov2Button->tag = 1;
  fov3Button->tag = 2;
  for (auto* b : {fov1Button.data(), fov2Button.data(), fov3Button.data()}) fovRow->addWidget(b);
  fovStackView->hide();

  ignoreView = new CustomView(QRect(), contentView);
  ignoreView->setColor(NamedColors::color("black50Color"));
  ignoreView->setCornerRadius(14);
  ignoreLabel = new QLabel(ignoreView);
  ignoreLabel->setAlignment(Qt::AlignCenter);
  ignoreLabel->setStyleSheet("color: #E6E1E1;");
  ignoreView->hide();

  editButtonStackView = new QWidget(contentView);
  auto* editRow = new QHBoxLayout(editButtonStackView);
  editRow->setContentsMargins(0, 0, 0, 0);
  editCancelButton = makeTextButton(editButtonStackView, 90);
  editOKButton = makeTextButton(editButtonStackView, 90);
  editRow->addWidget(editCancelButton);
  editRow->addWidget(editOKButton);
  editButtonStackView->hide();

  powerbyImage = new QLabel(contentView);
  powerbyImage->setPixmap(ImageAssets::named("powerby"));

  popupView = makePopupHost(contentView);
  popupView->show();
  updateView = makePopupHost(contentView);
  updateController = new UpdateController(env_.update, updateView);
  (new QHBoxLayout(updateView))->addWidget(updateController);
  settingView = makePopupHost(contentView);
  if (env_.makeSettingViewController)
    settingViewController = env_.makeSettingViewController(settingView);
  saveRoiView = makePopupHost(contentView);
  languageView = makePopupHost(contentView);
  if (env_.makeLanguageViewController)
    languageViewController = env_.makeLanguageViewController(languageView);
  advertisementView = makePopupHost(contentView);

  // The control-board column: the full board scrolls, the small one sits in its own host.
  scrollView = new QScrollArea(this);
  scrollView->setFocusPolicy(Qt::NoFocus);  // Tab goes through to the board's controls
  scrollView->setFrameShape(QFrame::NoFrame);
  scrollView->setWidgetResizable(true);
  scrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The column shows the window's own background until the board fills it.
  scrollView->setStyleSheet("QScrollArea { background: transparent; }");
  scrollView->viewport()->setAutoFillBackground(false);
  smallControlBoardView = new QWidget(this);
  wireButtons();
}

void MainController::layoutViews() {
  double column = controlBoardWidthConstraints;
  double w = width(), h = height();
  double contentWidth = std::max(0.0, w - column);
  contentView->setGeometry(0, 0, int(contentWidth), int(h));
  scrollView->setGeometry(int(contentWidth), 0, int(column), int(h));
  smallControlBoardView->setGeometry(int(contentWidth), 0, int(column), int(h));
  // A column without width shows nothing: what it holds takes neither Tab nor a key.
  scrollView->setVisible(column > 0 && !isSimpleMode_);
  smallControlBoardView->setVisible(column > 0 && isSimpleMode_);

  Geometry::Content content =
      isSimpleMode_
          ? Geometry::simpleContentLayout(QSizeF(contentWidth, h), controlViewAspectConstraint)
          : Geometry::contentLayout(QSizeF(contentWidth, h), controlViewAspectConstraint,
                                    navigatorShown, navigatorBottomConstraints);
  QRect preview = content.controlView.toAlignedRect();
  controlView->setGeometry(preview);
  controlMetalView->setGeometry(0, 0, preview.width(), preview.height());
  controlBorderView->setGeometry(0, 0, preview.width(), preview.height());
  popupView->setGeometry(preview);
  if (connectController_) connectController_->setGeometry(popupView->rect());
  navigatorView->setGeometry(content.navigatorView.toAlignedRect());
  QRect panel = navigatorView->rect();
  int nw = int(std::min<double>(navigatorWidthConstraints, panel.width()));
  int nh = int(std::min<double>(navigatorHeightConstraints, panel.height()));
  navigatorContentView->setGeometry((panel.width() - nw) / 2, 0, nw, nh);
  int title = int(Geometry::kNavigatorTitleHeight);
  navigatorTitleLabel->setGeometry(0, 0, nw, title);
  splitWindowButton->move(std::max(0, nw - splitWindowButton->width()), 1);
  navigatorMetalView->setGeometry(0, title, nw, std::max(0, nh - title));

  QSize base = basePositionView->size();
  int margin = int(Geometry::kContentMargin);
  if (basePositionAnchor == BasePositionAnchor::notify)
    basePositionView->move(notifyView->geometry().right() + 8, notifyView->y());
  else
    basePositionView->move(margin, int(h) - base.height() - margin -
                                       int(navigatorShown ? 0 : navigatorBottomConstraints));
  QSize fov = fovStackView->sizeHint();
  fovStackView->setGeometry(preview.center().x() - fov.width() / 2,
                            std::min(int(h) - fov.height() - 4, preview.bottom() + 8), fov.width(),
                            fov.height());
  QSize edit = editButtonStackView->sizeHint();
  editButtonStackView->setGeometry(int(contentWidth) - edit.width() - margin,
                                   int(h) - edit.height() - margin, edit.width(), edit.height());
  ignoreView->setGeometry(preview.center().x() - 90, std::max(0, preview.top() - 36), 180, 28);
  ignoreLabel->setGeometry(ignoreView->rect());
  powerbyImage->setGeometry(int(contentWidth) - 140, int(h) - 36, 124, 28);
  QRect middle(int(contentWidth) / 2 - 220, int(h) / 2 - 160, 440, 320);
  for (QWidget* host : {updateView.data(), settingView.data(), saveRoiView.data(),
                        languageView.data(), advertisementView.data()})
    host->setGeometry(middle);
  // The language and settings popups keep their own size, centred.
  for (auto [host, popup] : {std::pair{languageView.data(), languageViewController.data()},
                             std::pair{settingView.data(), settingViewController.data()}}) {
    if (!popup) continue;
    QSize size = popup->size();
    host->setGeometry(int(contentWidth) / 2 - size.width() / 2, int(h) / 2 - size.height() / 2,
                      size.width(), size.height());
    popup->move(0, 0);
  }
}

void MainController::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutViews();
  updateControlViewAspect();
  updateNavigatorSize();
}

// ---- start-up ----

void MainController::viewDidLoad() {
  debugLine("viewDidLoad");
  initlayout();
  auto* dim = new QGraphicsOpacityEffect(powerbyImage);
  dim->setOpacity(0.5);
  powerbyImage->setGraphicsEffect(dim);
  localizeTexts();
  addObservable();
  if (env_.setStreamStateDelegate) env_.setStreamStateDelegate(this);
  setupPopupControllers();
  focusRing = new FocusRing(this);
  // What lies behind a popup or an editor: the content and both board columns; an alert over
  // everything keeps its own keys.
  focusScope_ = new FocusScope(
      this, {contentView.data(), scrollView.data(), smallControlBoardView.data()},
      [this]() -> FocusScope::Scope {
        if (QWidget* popup = escapeKey_.top()) return {{popup}, true, true};
        switch (controlBoardViewModel().editMode->value()) {
          case EditMode::ignore:
            return {{editButtonStackView.data()}, false, true};
          case EditMode::fov:
            return {{fovStackView.data(), basePositionView.data(), editButtonStackView.data()},
                    false, true};
          case EditMode::none:
            break;
        }
        if (isSimpleMode_) return {{smallControlBoardView.data()}, false, false};
        return {};
      },
      this);
  for (QWidget* host : {updateView.data(), settingView.data(), saveRoiView.data(),
                        languageView.data(), advertisementView.data()})
    focusScope_->watch(host);
  focusScope_->update();
}

ControlBoardController* MainController::controlBoardController() {
  if (!controlBoardController_) {
    ControlBoardController::Environment board = ControlBoardController::Environment::process();
    board.camera = env_.camera;
    board.viewModel = env_.viewModel;
    board.config = env_.config;
    board.metal = env_.metal;
    board.defaults = env_.defaults;
    controlBoardController_ = new ControlBoardController(board);
  }
  return controlBoardController_;
}

SmallControlBoardController* MainController::smallControlBoardController() {
  if (!smallControlBoardController_) {
    SmallControlBoardController::Environment board;
    board.camera = env_.camera;
    board.config = env_.config;
    smallControlBoardController_ = new SmallControlBoardController(board);
    smallControlBoardController_->fullWindowAction = [this] { leaveSimpleUILater(); };
  }
  return smallControlBoardController_;
}

void MainController::initlayout() {
  debugLine("initlayout");
  scrollView->setWidget(controlBoardController());
  scrollView->horizontalScrollBar()->setValue(0);
  scrollView->verticalScrollBar()->setValue(0);
  smallControlBoardController()->setParent(smallControlBoardView);
  smallControlBoardController()->setGeometry(0, 0, int(Geometry::smallControlBoardWidth),
                                             int(Geometry::smallControlBoardHeight));
  smallControlBoardView->resize(int(Geometry::smallControlBoardWidth),
                                int(Geometry::smallControlBoardHeight));
  scrollView->show();
  smallControlBoardView->hide();
  setupControlBoard();
  setupPopupView();
  if (env_.config->showPowerby) {
    navigatorBottomConstraints = 41;
    powerbyImage->show();
  } else {
    navigatorBottomConstraints = 0;
    powerbyImage->hide();
  }
  if (basePositionView) basePositionView->setupView();
  env_.defaults->set("NSInitialToolTipDelay", kInitialToolTipDelay);
  ToolTipDelayStyle::apply(int(kInitialToolTipDelay * 1000));
}

void MainController::localizeTexts() {
  fov1Button->setTitle(text("button_fov1_name"));
  fov2Button->setTitle(text("button_fov2_name"));
  fov3Button->setTitle(text("button_fov3_name"));
  editOKButton->setTitle(text("button_ok_name"));
  editCancelButton->setTitle(text("button_cancel_name"));
  ignoreLabel->setText(text("setting_ignore_area_name"));
  navigatorTitleLabel->setText(text("Navigator_panel_name"));
  notificationButton->setTitle(text("notification_text"));
}

void MainController::addObservable() {
  std::weak_ptr<bool> weak = alive_;
  // Runs `work` while this window exists.
  auto guard = [this, weak](auto work) {
    return [this, weak, work](auto... args) {
      auto alive = weak.lock();
      if (alive && *alive) work(args...);
    };
  };
  CameraManager& camera = cameraManager();
  ControlBoardViewModel& model = controlBoardViewModel();

  camera.loadRecord->bindAndNotify(guard([this](bool) {
    updateFocusRect();
    updateSelectOriRect();
    updateBannerIconArea();
    CameraManager& c = cameraManager();
    if (c.recordBoxesLeftOut > 0 || c.recordIgnoreAreasLeftOut > 0) {
      showPictureNote(text("tips_roi_record_left_out")
                          .arg(c.recordBoxesLeftOut)
                          .arg(c.recordIgnoreAreasLeftOut)
                          .arg(orlith::OutlineBudget::kOutlines));
    }
    c.recordBoxesLeftOut = c.recordIgnoreAreasLeftOut = 0;
  }));
  // Audio fit is offered while a microphone array gives the speaker's direction.
  camera.isSpeakerConnect->bindAndNotify(guard([this](bool connected) {
    controlBoardController()->shouldAudioFit = connected;
    controlBoardController()->initlayout();
    smallControlBoardController()->shouldAudioFit(connected);
  }));
  camera.connectMode->bindAndNotify(guard([this](ConnectMode mode) { onConnectMode(int(mode)); }));
  sourcePictures_ = std::make_unique<SourcePictures>(
      camera.connectMode, *env_.metal,
      SourcePictures::Views{{controlMetalView, navigatorMetalView}, env_.controlBoardMetalView,
                            controlBorderView},
      MetalContext::shared().renderQueue);
  camera.setRoiDicEntry("MainController", [this, weak](const auto& output, const auto& control) {
    auto alive = weak.lock();
    if (alive && *alive) onRoiPairs(output, control);
  });
  // The camera manager may call these from any thread: the work goes to the main queue.
  camera.setDisplayModeDicEntry("MainController", [this, weak] {
    platform::MainQueue::shared().async([this, weak] {
      auto alive = weak.lock();
      if (alive && *alive) onDisplayModeChanged();
    });
  });
  camera.isAutoTracking->bindAndNotify(guard([this](bool) { selectRect(false, -1); }));
  camera.setFitModeDicEntry("MainController", [this, weak] {
    platform::MainQueue::shared().async([this, weak] {
      auto alive = weak.lock();
      if (alive && *alive) onFitModeChanged();
    });
  });
  camera.verticalFov->bindAndNotify(guard([this](VerticalFovMode mode) { onVerticalFov(mode); }));
  // The board's panels changed: the column shows it from its top again, yet never hides the
  // control the keyboard is on (a short screen shows only part of the board).
  model.frame->bind(guard([this](QRectF) {
    QWidget* board = scrollView->widget();
    if (board) board->adjustSize();
    scrollView->horizontalScrollBar()->setValue(0);
    scrollView->verticalScrollBar()->setValue(0);
    QWidget* focus = window()->focusWidget();
    if (board && focus && board->isAncestorOf(focus) && focus->isVisible())
      scrollView->ensureWidgetVisible(focus, 0, 8);
  }));
  model.splitWindow->bind(guard([this](bool split) {
    env_.config->defaultLargeNavigator = split;
    showNavigator(split);
  }));
  model.advancedEffect->bind(guard([this](bool shown) { onAdvancedEffect(shown); }));
  model.mirror->bind(guard([this](bool mirror) { setMirror(mirror); }));
  model.editMode->bindAndNotify(guard([this](EditMode mode) { onEditMode(mode); }));

  if (!env_.assignMenuEvents) return;
  auto toggle = [this, guard](QPointer<QWidget> MainController::*host) {
    return std::function<void()>(guard([this, host] {
      QWidget* view = (this->*host).data();
      if (!view) return;
      view->setVisible(view->isHidden());
      // A popup shows above the connection view, which is raised whenever the state changes.
      if (view->isVisible()) view->raise();
    }));
  };
  // The menu's commands reach the window's action of that name, the one the preview's context
  // menu runs too.
  auto action = [this, guard](const char* name) {
    return std::function<void()>(guard([this, name] { sendAction(name); }));
  };
  env_.assignMenuEvents({
      {"menuLanguageEvent", toggle(&MainController::languageView)},
      {"menuUpdateEvent", guard([this] { onMenuUpdate(); })},
      {"menuAutoDetectEvent", action("menuDetectBody")},
      {"menuDetectOnceEvent", action("menuDetectOnce")},
      {"menuAutoTrackEvent", action("menuAutoTrack")},
      {"menuCleanAllEvent", action("menuCleanAll")},
      {"menuWebsiteEvent", guard([this] { menuWebsite(); })},
      {"menuTrackAllEvent", action("menuTrackAll")},
      {"menuUntrackAllEvent", action("menuUntrackAll")},
      {"menuPreferencesiEvent", toggle(&MainController::settingView)},
      {"menuLoadRoiEvent", action("menuLoadRoi")},
      {"menuSaveRoiEvent", action("menuSaveRoi")},
  });
}

void MainController::onConnectMode(int raw) { onConnectModeChanged(ConnectMode(raw)); }

void MainController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  viewDidAppear();
}

void MainController::viewDidAppear() {
  debugLine("viewDidAppear");
  if (!firstAppear) {
    setupMetalViews();
    return;
  }
  if (updateController) updateController->checkAutomatically();
  setupBasePositionView();
  firstAppear = false;
  // Nothing has the keyboard at the start: Space presses no control unseen, the first Tab
  // reaches the first control.
  setFocus(Qt::OtherFocusReason);
  updateControlViewAspect();
  updateNavigatorSize();
  updateBannerIconArea();
  checkNotification();
  // Cameras plugged in after a connection run gave up are found when they arrive.
  if (env_.deviceMonitor) cameraManager().watchDeviceArrivals(*env_.deviceMonitor);
  if (!connectCameraExtension()) {
    registerForDeviceNotifications();
    ++activationRequests_;
    if (env_.activateCameraExtension) env_.activateCameraExtension();
  }
  if (env_.config->enableNewDetectLayout && env_.config->enableLaunchDetect)
    cameraManager().isFaceAutoDetect->setValue(true);
  if (auto* own = qobject_cast<CustomWindow*>(window())) own->setCustomWindowDelegate(this, this);
  // Starting compact: with the camera there, or while a program watches the virtual camera.
  if ((env_.config->defaultSimple && cameraManager().connectMode->value() == ConnectMode::connected) ||
      (env_.isStreaming && env_.isStreaming()))
    closeAllPopups();
  setupMetalViews();
}

void MainController::windowZoom() {
  auto* own = qobject_cast<CustomWindow*>(window());
  if (!isSimpleMode_ && own) own->zoomFrame();
}

void MainController::handleKeyDown(QKeyEvent* event) {
  if (event && event->key() == Qt::Key_Escape &&
      escapeKey_.press(controlBoardViewModel().editMode->value(), [this] { onClickEditCancel(); }))
    return;
  // Behind a popup nothing is edited from the keyboard.
  if (escapeKey_.top()) return;
  // A key that edits a ROI acts on the one just drawn when nothing else was picked since.
  const bool editKey = event && (WindowFrameKeys::nudged(QRectF(0, 0, 1, 1), event->key()) !=
                                     QRectF(0, 0, 1, 1) ||
                                 WindowFrameKeys::isDelete(event->key()));
  if (editKey && !roiEditor.isStartTransform) {
    fillRoiEditorContext();
    roiEditor.selectFreshRect();
  }
  // A tracked rectangle is selected without a transform: the keys can only delete it.
  if (editKey && !roiEditor.isStartTransform && roiEditor.isTrackedSelected) {
    if (WindowFrameKeys::isDelete(event->key())) {
      sendAction("menuDelete");
      selectRect(false, -1);
    }
    return;
  }
  const bool roiEdit = roiEditor.isStartTransform;
  if (!event || (!roiEdit && !roiEditor.isStartFocusTransform)) return;
  std::shared_ptr<AnalysisFacade> manager = facade();
  if (!manager) return;
  int key = event->key();
  const RoiEditor::Rect& edited = roiEdit ? roiEditor.selectOriRect : roiEditor.focusOriRect;
  QRectF rect =
      WindowFrameKeys::nudged(QRectF(edited.x, edited.y, edited.width, edited.height), key);
  if (WindowFrameKeys::isDelete(key)) sendAction("menuDelete");
  auto x = int(std::lround(rect.x())), y = int(std::lround(rect.y()));
  auto w = int(std::lround(rect.width())), h = int(std::lround(rect.height()));
  if (roiEdit) {
    manager->SetTransformingRect(x, y, w, h);
  } else {
    manager->SetFocusModeManualRect(x, y, w, h);
    saveFocusRect(rect);
  }
  // Read back, so repeated presses add up.
  updateSelectOriRect();
  updateFocusRect();
}

void MainController::windowDidResize() {
  reanchorBasePosition();
  // The views read back what the camera shows at the new size.
  if (cameraManager().connectMode->value() == ConnectMode::connected) {
    updateControlViewAspect();
    updateNavigatorSize();
    updateFocusRect();
    updateBannerIconArea();
  }
  controlBoardController()->refreshLater();
  QWidget* top = window();
  bool custom = qobject_cast<CustomWindow*>(top) != nullptr;
  if (!isSimpleMode_ && custom && connectController_)
    connectController_->setGeometry(popupView->rect());
  for (const auto& [key, value] :
       WindowFrameKeys::onResize(top->size(), isSimpleMode_, isFullScreen_, custom))
    env_.defaults->set(QString::fromStdString(key), value);
}

void MainController::windowDidMove() {
  auto* own = qobject_cast<CustomWindow*>(window());
  for (const auto& [key, value] :
       WindowFrameKeys::onMove(window()->pos(), isSimpleMode_, own, own && own->placeKnown()))
    env_.defaults->set(QString::fromStdString(key), value);
}

void MainController::streamStateChanged(bool streaming) {
  pendingStreamState_ = streaming;
  if (streamStatePosted_.exchange(true)) return;  // the waiting application takes this state
  std::weak_ptr<bool> weak = alive_;
  platform::MainQueue::shared().async([this, weak] {
    auto alive = weak.lock();
    if (!alive || !*alive) return;
    // Cleared before the read: a state arriving from now on posts again.
    streamStatePosted_ = false;
    applyStreamState(pendingStreamState_);
  });
}

void MainController::applyStreamState(bool streaming) {
  if (appliedStreamState_ == streaming) return;
  appliedStreamState_ = streaming;
  debugLine("streamStateChanged", streaming ? "running" : "stopped");
  if (!streaming) {
    // The output goes back to 1280 x 720 before anything else sees the stop.
    cameraManager().setResolutionChange(true);
    setupMetalViews();
    if (isSimpleMode_) leaveSimpleUI();
    return;
  }
  if (!isSimpleMode_) closeAllPopups();
}

void MainController::setupBasePositionView() {
  debugLine("setupBasePositionView");
  if (!basePositionView) return;
  std::weak_ptr<bool> weak = alive_;
  basePositionView->onClickHandler = [this, weak] {
    auto alive = weak.lock();
    if (!alive || !*alive) return;
    debugLine("setupBasePositionView");
    currentCameraFov = cameraManager().verticalFov->value();
    controlBoardViewModel().editMode->setValue(EditMode::fov);
  };
}

QWidget* MainController::connectController() {
  // The connection popup's content; the shell's connection view once it exists.
  if (!connectController_) {
    connectController_ =
        env_.makeConnectController ? env_.makeConnectController(popupView) : new QWidget(popupView);
    connectController_->setObjectName("ConnectController");
  }
  return connectController_;
}

bool MainController::connectCameraExtension() {
  if (!env_.startSinkStream || !env_.startSinkStream()) return false;
  debugLine("connectCameraExtension", "found sink stream");
  sinkConnected_ = true;
  return true;
}

void MainController::registerForDeviceNotifications() {
  if (deviceSubscription_ || !env_.deviceMonitor) return;
  ++deviceObservers_;
  std::weak_ptr<bool> weak = alive_;
  // A new video device may be the virtual camera's loopback device: try the sink again.
  deviceSubscription_ = env_.deviceMonitor->subscribe(
      "video4linux", "add", [this, weak](const platform::DeviceEvent& event) {
        auto alive = weak.lock();
        if (!alive || !*alive) return;
        // A sink whose device went away is unconnected again and takes the next arrival.
        if (env_.isSinkConnected ? env_.isSinkConnected() : sinkConnected_) return;
        debugLine("registerForDeviceNotifications", "device added: " + event.devnode);
        connectCameraExtension();
      });
}

void MainController::checkNotification() {
  std::optional<CompanyModel> company =
      env_.companyModel ? env_.companyModel() : std::optional<CompanyModel>();
  if (company) {
    const auto& notification = company->data.notification;
    if (!notification) {
      notifyView->hide();
    } else {
      QVariant stored = env_.defaults->object("NotificationId");
      bool seen = stored.isValid() && stored.typeId() == QMetaType::QString && notification->_id &&
                  stored.toString().toStdString() == *notification->_id;
      if (seen)
        notifyView->hide();
      else
        startNotifyAnimation();
    }
  }
  setupControlBoard();
}

// ---- layout rules ----

void MainController::setupControlBoard() {
  debugLine("setupControlBoard");
  ControlBoardViewModel& model = controlBoardViewModel();
  // Stored again so that its listeners run.
  model.splitWindow->setValue(model.splitWindow->value());
  basePositionAnchor =
      Geometry::controlBoardAnchor(!notifyView->isHidden(), model.splitWindow->value());
  layoutViews();
}

void MainController::setupPopupView() {
  QWidget* content = connectController();
  for (QWidget* child : popupView->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child != content) child->setParent(nullptr), child->deleteLater();
  content->setParent(popupView);
  content->setGeometry(popupView->rect());
  content->show();
}

void MainController::updateControlViewAspect() {
  CameraFormat format = cameraManager().cameraFormat();
  if (auto aspect = Geometry::controlViewAspect(format.width, format.height)) {
    controlViewAspectConstraint = *aspect;
    layoutViews();
  }
  if (auto multiple = Geometry::controlViewMultiple(format.width, controlView->width())) {
    controlViewWidthMultiple = *multiple;
    controlViewHeightMultiple = *multiple;
  }
  if (connectController_) connectController_->setGeometry(popupView->rect());
}

void MainController::updateNavigatorSize() {
  if (auto size = Geometry::navigatorSize(navigatorView->size())) {
    navigatorWidthConstraints = size->width();
    navigatorHeightConstraints = size->height();
    layoutViews();
  }
}

void MainController::showNavigator(bool show) {
  navigatorView->setVisible(show);
  navigatorShown = show;
  updateControlViewAspect();
  updateBannerIconArea();
  layoutViews();
  updateNavigatorSize();
  setupMetalViews();
  reanchorBasePosition();
}

void MainController::reanchorBasePosition() {
  // Below a preview with room under it, else beside a shown notification; else it stays.
  double band = contentView->height() - (controlView->y() + controlView->height());
  if (auto anchor = Geometry::basePositionAnchor(band, !notifyView->isHidden()))
    basePositionAnchor = *anchor;
  layoutViews();
}

void MainController::setupMetalViews() {
  env_.metal->setNavigatorSize(QSizeF(Geometry::kOutputWidth, Geometry::kOutputHeight));
  LayoutView* boardView = env_.controlBoardMetalView ? env_.controlBoardMetalView() : nullptr;
  bool split = controlBoardViewModel().splitWindow->value();
  // Without the board's own preview the panel's view composes, shown or not.
  metalView = Geometry::navigatorSource(split) == NavigatorSource::navigatorPanel || !boardView
                  ? navigatorMetalView.data()
                  : boardView;
  if (metalView) {
    metalView->mode = LayoutMode::navigator;
    metalView->activate_filter = true;
  }
  controlMetalView->mode = LayoutMode::control;
  controlMetalView->activate_filter = false;
  applyCameraEnvironment();
}

void MainController::applyCameraEnvironment() {
  CameraManager& camera = cameraManager();
  for (LayoutView* view : {metalView.data(), controlMetalView.data()}) {
    if (!view) continue;
    LayoutView::Environment environment = view->environment().withConfiguration(*env_.config);
    environment.camera.projection = camera.projection();
    environment.camera.is360Camera = camera.is360Camera();
    // Only a full panorama continues past its right edge; a file or a 180-degree picture ends
    // there.
    environment.wrapSource = camera.is360Camera();
    environment.camera.verticalFov = camera.verticalFov->value();
    if (USBManager* usb = camera.usbManager()) environment.camera.api_version = usb->api_version();
    // A tile is looked into through the camera's projection only when the camera gave one: a
    // file's picture (no fields of view) is sampled as it is, or its tiles come out black.
    environment.enablePerspectiveProjection =
        environment.enablePerspectiveProjection &&
        PerspectiveProjection::canProject(environment.camera);
    view->setEnvironment(environment);
  }
}

std::shared_ptr<AnalysisFacade> MainController::facade() const { return cameraManager().manager(); }

void MainController::updateBannerIconArea() {
  CameraManager& camera = cameraManager();
  if (camera.is360Camera()) return;
  std::shared_ptr<AnalysisFacade> manager = facade();
  if (!manager) return;
  AnalysisFacade::IntRect r = manager->GetViewMoveIconRect();
  auto position = Geometry::bannerPositionY(r.y, r.height, camera.cameraFormat().width,
                                            camera.bannerAspectRatio);
  if (!position) return;
  roiEditor.bannerPositionY = *position;
  roiEditor.bannerIconArea = RoiEditor::Rect{double(r.x), double(r.y), double(r.width),
                                             double(r.height)};
}

void MainController::updateSelectOriRect() { roiEditor.updateSelectOriRect(); }

void MainController::saveFocusRect(const QRectF& r) {
  CameraFormat format = cameraManager().cameraFormat();
  if (format.width == 0 || format.height == 0) return;
  double wmin = double(env_.config->minRectSideLength);
  double hmin = roiEditor.isStartTransform ? wmin : 180.0;
  double W = format.width, H = format.height;
  double nx = r.x() / W, ny = r.y() / H;
  double nw = std::max(r.width(), wmin) / W, nh = std::max(r.height(), hmin) / H;
  Display mode = cameraManager().displayMode->value();
  std::vector<RectPoint>* target = mode == Display::focus          ? &env_.config->manualFocusRect
                                   : mode == Display::presentation ? &env_.config->presentRect
                                                                   : nullptr;
  if (!target || target->empty()) return;
  target->front() = RectPoint(nx, ny, nx + nw, ny, nx + nw, ny + nh, nx, ny + nh);
}

void MainController::updateFocusRect() {
  controlView->setMouseTracking(true);
  roiArea = true;
  Display mode = cameraManager().displayMode->value();
  if (mode == Display::focus || mode == Display::presentation) {
    if (std::shared_ptr<AnalysisFacade> manager = facade()) {
      AnalysisFacade::IntRect r =
          mode == Display::focus ? manager->GetFocusManualRect() : manager->GetPipManualRect();
      if (r.x != -1 && r.y != -1 && r.width != -1 && r.height != -1) {
        saveFocusRect(QRectF(r.x, r.y, r.width, r.height));
        if (auto rect = Geometry::focusRect(r.x, r.y, r.width, r.height,
                                            cameraManager().cameraFormat().width,
                                            controlBoardViewModel().mirror->value()))
          roiEditor.focusOriRect = {rect->x(), rect->y(), rect->width(), rect->height()};
      }
    }
  }
  const RoiEditor::Rect& f = roiEditor.focusOriRect;
  debugLine("updateFocusRect", "focusOriRect: " + rectText(QRectF(f.x, f.y, f.width, f.height)));
}

std::optional<QRect> MainController::currentScreenFrame(bool useCenter) const {
  std::vector<QRect> screens;
  for (QScreen* screen : QGuiApplication::screens()) screens.push_back(screen->geometry());
  std::optional<QRect> primary;
  if (QScreen* screen = QGuiApplication::primaryScreen()) primary = screen->geometry();
  QWidget* top = window();
  bool ownWindow = qobject_cast<CustomWindow*>(top) != nullptr;
  return Geometry::screenFrame(top ? top->frameGeometry() : QRect(), useCenter, screens, primary,
                               ownWindow);
}

// ---- actions of the window's buttons ----

void MainController::wireButtons() {
  auto on = [this](CustomButton* button, void (MainController::*action)()) {
    connect(button, &QAbstractButton::clicked, this, [this, action] { (this->*action)(); });
  };
  on(fov1Button, &MainController::onClickFOV1);
  on(fov2Button, &MainController::onClickFOV2);
  on(fov3Button, &MainController::onClickFOV3);
  on(editOKButton, &MainController::onClickEditOK);
  on(editCancelButton, &MainController::onClickEditCancel);
  on(notificationButton, &MainController::onClickNotify);
  on(splitWindowButton, &MainController::onClickSplitWindow);
}

void MainController::showPictureNote(const QString& message) {
  QWidget* host = controlView ? controlView.data() : contentView.data();
  if (!host) return;
  if (!pictureNote_) {
    pictureNote_ = new QLabel(host);
    pictureNote_->setObjectName(QStringLiteral("pictureNote"));
    pictureNote_->setWordWrap(true);
    pictureNote_->setAlignment(Qt::AlignCenter);
    pictureNote_->setAttribute(Qt::WA_TransparentForMouseEvents);
    pictureNote_->setStyleSheet(QStringLiteral(
        "QLabel { background: rgba(0, 0, 0, 190); color: white; border-radius: 6px; "
        "padding: 8px 14px; }"));
  }
  pictureNote_->setText(message);
  const int width = std::min(host->width() - 20, 520);
  pictureNote_->setFixedWidth(std::max(width, 120));
  pictureNote_->adjustSize();
  pictureNote_->move((host->width() - pictureNote_->width()) / 2, 16);
  pictureNote_->raise();
  pictureNote_->show();
  const uint64_t generation = ++pictureNoteGeneration_;
  afterDelay(4.0, [this, generation] {
    if (generation == pictureNoteGeneration_ && pictureNote_) pictureNote_->hide();
  });
}

void MainController::afterDelay(double seconds, std::function<void()> work) {
  std::weak_ptr<bool> weak = alive_;
  auto post = [this, weak, work = std::move(work)] {
    platform::MainQueue::shared().async([this, weak, work] {
      auto alive = weak.lock();
      if (alive && *alive) work();
    });
  };
  platform::Clock& clock = platform::Clock::shared();
  auto delay =
      std::chrono::duration_cast<platform::Clock::Duration>(std::chrono::duration<double>(seconds));
  clock.callAt(clock.now() + delay, post);
}

void MainController::onClickFOV1() {
  debugLine("onClickFOV1");
  changeCameraFov(VerticalFovMode::top);
}

void MainController::onClickFOV2() {
  debugLine("onClickFOV2");
  changeCameraFov(VerticalFovMode::mid);
}

void MainController::onClickFOV3() {
  debugLine("onClickFOV3");
  changeCameraFov(VerticalFovMode::down);
}

void MainController::changeCameraFov(VerticalFovMode mode) {
  tempCameraFov = mode;
  cameraManager().verticalFov->setValue(mode);
  // A 180-degree picture changes its whole frame with the field of view: its rectangles go.
  if (!cameraManager().is360Camera())
    if (auto manager = facade()) manager->ClearAllRect();
}

void MainController::onClickEditOK() {
  debugLine("onClickEditOK");
  CameraManager& camera = cameraManager();
  ControlBoardViewModel& model = controlBoardViewModel();
  std::shared_ptr<AnalysisFacade> manager = facade();
  if (model.editMode->value() == EditMode::fov) {
    if (tempCameraFov != currentCameraFov) {
      camera.verticalFov->setValue(tempCameraFov);
      if (manager) manager->ClearAllRect();
    }
    if (manager) camera.editOffsetDatumPoint = int64_t(manager->getContentOffset());
    roiEditor.tempEditOffset = 0;
  }
  model.editMode->setValue(EditMode::none);
  if (manager) manager->EndIgnoreAreaEditing(true);
  selectRect(false, -1);
  if (!camera.isAutoTracking->value()) camera.isFaceAutoDetect->setValue(true);
  ignoreRectsTempDel.clear();
}

void MainController::onClickEditCancel() {
  debugLine("onClickEditCancel");
  CameraManager& camera = cameraManager();
  ControlBoardViewModel& model = controlBoardViewModel();
  std::shared_ptr<AnalysisFacade> manager = facade();
  if (model.editMode->value() == EditMode::fov) {
    if (currentCameraFov != tempCameraFov) camera.verticalFov->setValue(currentCameraFov);
    if (manager) manager->setContentOffset(int(camera.editOffsetDatumPoint));
    roiEditor.tempEditOffset = 0;
  }
  model.editMode->setValue(EditMode::none);
  if (manager) manager->EndIgnoreAreaEditing(false);
  selectRect(false, -1);
  // The facade drops the edit with the next frame; the deleted areas go back after it.
  afterDelay(0.1, [this] { restoreIgnoreRects(); });
}

void MainController::restoreIgnoreRects() {
  if (ignoreRectsTempDel.empty()) return;
  if (std::shared_ptr<AnalysisFacade> manager = facade()) {
    for (const QRectF& r : ignoreRectsTempDel)
      manager->AddIgnoreNewRect(int(r.left()), int(r.top()), int(r.left() + r.width()),
                                int(r.top() + r.height()));
    manager->EndIgnoreAreaEditing(true);
  }
  ControlBoardViewModel& model = controlBoardViewModel();
  model.editMode->setValue(model.editMode->value());
  ignoreRectsTempDel.clear();
}

void MainController::onClickSplitWindow() {
  debugLine("onClickSplitWindow");
  controlBoardViewModel().splitWindow->setValue(false);
}

void MainController::onClickNotify() {
  debugLine("onClickNotify");
  stopNotifyAnimation();
  std::optional<CompanyModel> company =
      env_.companyModel ? env_.companyModel() : std::optional<CompanyModel>();
  if (!company || !company->data.notification) return;
  const NotificationModel& notification = *company->data.notification;
  if (notification._id)
    env_.defaults->set("NotificationId", QString::fromStdString(*notification._id));
  if (notification.content) openAddress(*notification.content, "notification");
}

void MainController::setMirror(bool mirror) {
  debugLine("setMirror", mirror ? " true" : " false");
  controlBorderView->setMirror(mirror);
  if (auto manager = facade()) manager->setMirror(mirror);
  updateSelectOriRect();
  updateFocusRect();
}

void MainController::selectRect(bool keep, int64_t index) { roiEditor.selectRect(keep, int(index)); }

void MainController::showFovEditor(bool show) {
  basePositionView->setHidden(!show);
  fovStackView->setHidden(!show);
  std::shared_ptr<AnalysisFacade> manager = facade();
  if (!manager) return;
  if (show) {
    manager->enableDrawRefLine(cameraManager().is360Camera());
    manager->enableDrawRect(false);
  } else {
    manager->enableSmallVideoWindow(true);
  }
}

void MainController::startNotifyAnimation() {
  debugLine("startNotifyAnimation");
  notifyView->show();
  if (notifyAnimationLayer) return;
  notifyImageView->clear();
  QList<QPixmap> frames;
  for (int i = 1; i <= 12; ++i) {
    QPixmap frame = ImageAssets::named(QString::asprintf("icon_notification%04d", i));
    if (!frame.isNull()) frames.push_back(frame);
  }
  notifyAnimationLayer = ImageSequenceAnimation::addImageSequenceAnimation(
      frames, 1.0f, notifyImageView->rect(), notifyImageView);
  notifyAnimationLayer->show();
}

void MainController::stopNotifyAnimation() {
  debugLine("stopNotifyAnimation");
  if (!notifyAnimationLayer) return;
  delete notifyAnimationLayer.data();
  notifyAnimationLayer = nullptr;
  notifyImageView->setPixmap(ImageAssets::named("icon_notification"));
}

bool MainController::isNotifyAnimating() const {
  if (!notifyAnimationLayer) return false;
  auto* animation = notifyAnimationLayer->findChild<ImageSequenceAnimation*>();
  return animation && animation->isRunning();
}

bool MainController::closeAllPopups() {
  for (QWidget* host : {notifyView.data(), settingView.data(), saveRoiView.data(),
                        languageView.data(), advertisementView.data(), updateView.data()})
    if (host) host->hide();
  if (controlBoardViewModel().editMode->value() != EditMode::none) {
    onClickEditCancel();
    layoutViews();
  }
  // The simple layout takes the window's place a moment later; until then the answer is no.
  auto done = std::make_shared<bool>(false);
  afterDelay(0.1, [this, done] {
    showSimpleUI(true);
    *done = true;
  });
  return *done;
}

// ---- listener bodies ----

double MainController::alphaOf(const QWidget* view) {
  if (!view) return 0;
  if (auto* button = qobject_cast<const CustomButton*>(view)) return button->alphaValue();
  if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect()))
    return effect->opacity();
  return 1.0;
}

void MainController::setAlpha(QWidget* view, double alpha) {
  if (!view) return;
  if (auto* button = qobject_cast<CustomButton*>(view)) return button->setAlphaValue(alpha);
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(view);
    view->setGraphicsEffect(effect);
  }
  effect->setOpacity(alpha);
}

void MainController::showConnectionPopup() {
  if (basePositionView) basePositionView->expand();
  ++popupGeneration_;
  popupView->raise();
  if (!popupView->isHidden()) return;
  setAlpha(popupView, 0.0);
  popupView->show();
  auto* fade = new QPropertyAnimation(popupView->graphicsEffect(), "opacity", popupView);
  fade->setDuration(300);
  fade->setEndValue(1.0);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void MainController::hideConnectionPopup() {
  if (basePositionView) basePositionView->scheduleCollapse(2.0);
  uint64_t generation = ++popupGeneration_;
  if (popupView->isHidden()) return;
  setAlpha(popupView, alphaOf(popupView));
  auto* fade = new QPropertyAnimation(popupView->graphicsEffect(), "opacity", popupView);
  fade->setDuration(300);
  fade->setEndValue(0.0);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
  // Hidden when the fade has run, unless the popup was asked for again meanwhile.
  afterDelay(0.3, [this, generation] {
    if (generation != popupGeneration_) return;
    popupView->hide();
    setAlpha(popupView, 1.0);
  });
}

void MainController::onConnectModeChanged(ConnectMode mode) {
  if (mode == ConnectMode::searching || mode == ConnectMode::connecting) {
    showConnectionPopup();
    return;
  }
  if (mode == ConnectMode::disconnected) {
    needInit = true;
    showConnectionPopup();
    if (isSimpleMode_) leaveSimpleUI();
    return;
  }
  CameraManager& camera = cameraManager();
  if (updateController) updateController->checkAutomatically();
  camera.verticalFov->setValue(MainWindowRules::storedVerticalFov(env_.defaults->object("VerticalFov")));
  hideConnectionPopup();
  ControlBoardViewModel& model = controlBoardViewModel();
  model.editMode->setValue(model.editMode->value());
  if (needInit) {
    // A (re)connected camera: both boards are laid out afresh and take the default mode.
    controlBoardController()->initlayout();
    controlBoardController()->selectDefaultDisplayMode();
    smallControlBoardController()->initlayout();
    smallControlBoardController()->setupDefaultMode();
    needInit = false;
  }
  updateControlViewAspect();
  updateNavigatorSize();
  updateFocusRect();
  updateBannerIconArea();
  controlBoardController()->refreshLater();
  // Without a vertical field of view the FOV controls are hidden: not shown, a click where they
  // are reaches what lies beneath, never them, and neither Tab nor a key reaches them.
  const bool fovShown = camera.cameraFormat().enableVFov;
  for (QWidget* view : std::initializer_list<QWidget*>{basePositionView, fov1Button, fov2Button,
                                                       fov3Button}) {
    setAlpha(view, fovShown ? 1.0 : 0.0);
    if (!view) continue;
    view->setAttribute(Qt::WA_TransparentForMouseEvents, !fovShown);
    view->setEnabled(fovShown);
  }
  setupMetalViews();
}

void MainController::onVerticalFov(VerticalFovMode mode) {
  QList<CustomButton*> buttons =
      fovStackView->findChildren<CustomButton*>(Qt::FindDirectChildrenOnly);
  std::vector<int> tags;
  for (CustomButton* b : buttons) tags.push_back(b->tag);
  MainWindowRules::FovSelection selection = MainWindowRules::fovButtons(tags, mode);
  for (qsizetype i = 0; i < buttons.size(); ++i) {
    buttons[i]->isSelected = selection.selected[i];
    buttons[i]->setState(selection.selected[i]);
    buttons[i]->updateAppearance(selection.selected[i]);
  }
  if (selection.fallBackToMid) cameraManager().verticalFov->setValue(VerticalFovMode::mid);
}

void MainController::onEditMode(EditMode mode) {
  ControlBoardViewModel& model = controlBoardViewModel();
  switch (mode) {
    case EditMode::none:
      debugLine("onEditMode", "Edit mode: none");
      showFovEditor(false);
      basePositionView->show();
      ignoreView->hide();
      controlBorderView->setInEditMode(false);
      controlBoardWidthConstraints = MainWindowRules::controlBoardWidth(mode, isSimpleMode_);
      showNavigator(model.splitWindow->value());
      // The keys go back to the board, now shown again, before the editor's buttons go: else
      // their going hands the focus on to whatever control comes next.
      if (focusScope_) focusScope_->update();
      editButtonStackView->hide();
      if (!cameraManager().is360Camera()) {
        basePositionView->hide();
        fovStackView->show();
      }
      break;
    case EditMode::fov:
      debugLine("onEditMode", "Edit mode: fov");
      showFovEditor(true);
      controlBorderView->setInEditMode(true);
      editButtonStackView->show();
      editButtonStackView->raise();  // above the badge in the same corner
      // The editor takes the keys while the board that had them is still there to say so.
      if (focusScope_) focusScope_->update();
      controlBoardWidthConstraints = MainWindowRules::controlBoardWidth(mode, isSimpleMode_);
      showNavigator(false);
      break;
    case EditMode::ignore:
      debugLine("onEditMode", "Edit mode: ignore");
      showFovEditor(false);
      basePositionView->hide();
      ignoreView->show();
      if (auto manager = facade()) manager->StartIgnoreAreaEditing();
      controlBorderView->setInEditMode(false);
      editButtonStackView->show();
      editButtonStackView->raise();  // above the badge in the same corner
      // The editor takes the keys while the board that had them is still there to say so.
      if (focusScope_) focusScope_->update();
      controlBoardWidthConstraints = MainWindowRules::controlBoardWidth(mode, isSimpleMode_);
      showNavigator(false);
      break;
  }
  layoutViews();
  setupMetalViews();
  if (focusScope_) focusScope_->update();
}

void MainController::onDisplayModeChanged() {
  updateFocusRect();
  Display mode = cameraManager().displayMode->value();
  if (mode == Display::focus || mode == Display::topDown) selectRect(false, -1);
  if (mode == Display::focus || mode == Display::presentation) roiEditor.isStartFocusTransform = true;
}

void MainController::onFitModeChanged() {
  updateFocusRect();
  if (cameraManager().displayMode->value() == Display::focus) selectRect(false, -1);
}

void MainController::onAdvancedEffect(bool shown) {
  if (!shown) return;
  // The effects open at the end of the board: bring its end into view.
  QScrollBar* bar = scrollView->verticalScrollBar();
  if (QWidget* board = scrollView->widget()) bar->setRange(0, std::max(bar->maximum(), board->height() - scrollView->viewport()->height()));
  bar->setValue(bar->maximum());
}

// ---- window operations ----

bool MainController::openAddress(const std::string& address, const char* what) {
  if (!MainWindowRules::mayOpen(address)) {
    env_.logger->warning(std::string("not opened, the ") + what + " address is not a web address: " + address,
                         __FILE__, "openAddress", __LINE__);
    return false;
  }
  return env_.openURL && env_.openURL(address);
}

void MainController::menuWebsite() {
  debugLine("menuWebsite");
  std::optional<CompanyModel> company =
      env_.companyModel ? env_.companyModel() : std::optional<CompanyModel>();
  std::optional<std::string> address = MainWindowRules::websiteAddress(company, env_.makerURL);
  if (!address) {
    env_.logger->info("no web page to open: none from the cloud and none configured", __FILE__,
                      "menuWebsite", __LINE__);
    return;
  }
  if (openAddress(*address, "web page"))
    env_.logger->info("default browser was successfully opened", __FILE__, "menuWebsite",
                      __LINE__);
}

void MainController::onMenuUpdate() {
  debugLine("onMenuUpdate");
  if (env_.config->vendor == "Tobrin") {
    std::optional<CompanyModel> company =
        env_.companyModel ? env_.companyModel() : std::optional<CompanyModel>();
    std::optional<std::string> address =
        MainWindowRules::downloadAddress(company, env_.vendorProductURL);
    if (!address) {
      env_.logger->info("no download page to open", __FILE__, "onMenuUpdate", __LINE__);
      return;
    }
    openAddress(*address, "download page");
    return;
  }
  if (!updateController) return;
  updateController->mode = UpdateMode::manual;
  updateController->updateLayout();
  if (updateController->mode != UpdateMode::allLastVersion) updateController->checkUpdate();
}

bool MainController::sendAction(const char* action) {
  if (std::string_view(action) == "menuWebsite") {
    menuWebsite();
    return true;
  }
  QByteArray signature = QByteArray(action) + "()";
  if (metaObject()->indexOfMethod(signature.constData()) < 0) {
    debugLine("sendAction", std::string("no action ") + action);
    return false;
  }
  return QMetaObject::invokeMethod(this, action);
}

void MainController::leaveSimpleUI() {
  checkNotification();
  auto* top = qobject_cast<CustomWindow*>(window());
  if (!top) return;
  CameraManager& camera = cameraManager();
  if (camera.cameraFormat().enableVFov && camera.is360Camera()) basePositionView->show();
  isSimpleMode_ = false;
  scrollView->show();
  smallControlBoardView->hide();
  controlBoardWidthConstraints = MainWindowRules::kControlBoardWidth;
  controlBoardViewModel().splitWindow->setValue(env_.config->defaultLargeNavigator);
  layoutViews();
  controlBoardController()->showSimpleUI(false);
  smallControlBoardController()->showSimpleUI(false);
  powerbyImage->setVisible(env_.config->showPowerby);
  if (focusScope_) focusScope_->update();

  std::vector<QRect> screens;
  for (QScreen* screen : QGuiApplication::screens()) screens.push_back(screen->geometry());
  std::optional<QRect> primary;
  if (QScreen* screen = QGuiApplication::primaryScreen()) primary = screen->geometry();
  QSize maximum = MainWindowRules::maximumContentSize(primary, currentScreenFrame(true), screens);
  QRect frame = MainWindowRules::restoredWindowFrame(
      env_.defaults->object("WindowWidth"), env_.defaults->object("WindowHeight"),
      env_.defaults->object("WindowX"), env_.defaults->object("WindowY"));
  // Changing a window flag makes a new native window: only when it is on.
  bool level = top->windowFlags() & Qt::WindowStaysOnTopHint;
  if (level) top->setWindowFlag(Qt::WindowStaysOnTopHint, false);
  setMinimumSize(MainWindowRules::kMinimumContentSize);
  top->setMinimumSize(MainWindowRules::kMinimumContentSize);
  if (maximum.isValid()) top->setMaximumSize(maximum);
  top->placeFrame([frame](const QMargins& margins) {
    return MainWindowPlacement::fitted(QRect(frame.topLeft(), frame.size().grownBy(margins)),
                                       margins, CustomWindow::availableAreas());
  });
  if (level) top->show();
}

void MainController::leaveSimpleUILater() {
  // Out of the event that asked: leaving changes the window's flags, which makes a new native
  // window.
  std::weak_ptr<bool> weak = alive_;
  platform::MainQueue::shared().async([this, weak] {
    auto alive = weak.lock();
    if (alive && *alive && isSimpleMode_) leaveSimpleUI();
  });
}

void MainController::windowDidMiniaturize() { miniaturizedFromSimple_ = isSimpleMode_; }

void MainController::windowDidDeminiaturize() {
  // The simple layout's own minimise is its way out: the window comes back full.
  if (std::exchange(miniaturizedFromSimple_, false)) leaveSimpleUILater();
}

void MainController::showSimpleUI(bool) {
  QWidget* top = window();
  if (!qobject_cast<CustomWindow*>(top)) return;
  basePositionView->hide();
  isSimpleMode_ = true;
  scrollView->hide();
  powerbyImage->hide();
  smallControlBoardView->show();
  controlBoardWidthConstraints = MainWindowRules::kSimpleControlBoardWidth;
  showNavigator(false);
  controlBoardController()->showSimpleUI(true);
  smallControlBoardController()->showSimpleUI(true);
  layoutViews();
  if (focusScope_) focusScope_->update();
  CameraFormat format = cameraManager().cameraFormat();
  std::optional<QRect> screen = currentScreenFrame(false);
  if (!screen) return;
  auto simple = MainWindowRules::simpleFrame(format.width, format.height, *screen);
  if (!simple) return;
  bool level = top->windowFlags() & Qt::WindowStaysOnTopHint;
  // What the window holds above and beside this view (its menu bar) comes on top of the content.
  QSize chrome = (top->size() - size()).expandedTo(QSize(0, 0));
  // The view's own minimum belongs to the normal layout; here it is the content.
  setMinimumSize(simple->content);
  top->setMinimumSize(simple->content + chrome);
  top->setMaximumSize(simple->content + chrome);
  top->resize(simple->frame.size() + chrome);
  top->move(simple->frame.topLeft());
  // Floats above normal windows; the flag makes a new native window, so only when it changes.
  if (!level) {
    top->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    top->show();
  }
}

void MainController::setCursor(MouseState state) {
  controlView->setCursor(PreviewMouseAdaptor::cursorFor(state));
}

// ---- per-frame ROI road ----

void MainController::onRoiPairs(const RoiPairs& output, const RoiPairs& control) {
  std::weak_ptr<bool> weak = alive_;
  platform::MainQueue::shared().async([this, weak, output, control] {
    auto alive = weak.lock();
    if (alive && *alive) updateRoiPairList(output, control);
  });
}

void MainController::mergeTypes(const RoiPairs& output, const RoiPairs& control) {
  for (const auto& p : output)
    for (const auto& c : control)
      if (p && c && p->roi_id == c->roi_id) p->type = c->type;
}

void MainController::updateRoiPairList(const RoiPairs& output, const RoiPairs& control) {
  mergeTypes(output, control);
  auto convert = [](const RoiPairs& list) {
    std::vector<LayoutRoiPair> pairs;
    pairs.reserve(list.size());
    for (const auto& p : list)
      if (p) pairs.push_back(LayoutRoiPair::from(*p));
    return pairs;
  };
  // The preview composes its pairs over every frame on the render queue.
  if (controlMetalView) controlMetalView->setRoiPairs(convert(control));
  if (controlBorderView) controlBorderView->setBorders(makeBorders(control));
  std::weak_ptr<bool> weak = alive_;
  auto send = [this, weak](const platform::PixelBufferRef& composed) {
    auto alive = weak.lock();
    if (!alive || !*alive || !composed) return;
    if (env_.sendPixelBuffer) env_.sendPixelBuffer(composed);
    RunProfile::shared().framesSent.fetch_add(1, std::memory_order_relaxed);
    if (env_.enqueueFrame) env_.enqueueFrame(composed);
  };
  std::vector<LayoutRoiPair> pairs = convert(output);
  bool nothingToCompose = !metalView || pairs.empty();
  if (metalView) {
    metalView->setRoiPairs(std::move(pairs));
    // Composed on the render queue from the picture this layout was computed on, then sent.
    if (!nothingToCompose)
      metalView->composeAsync([metal = env_.metal] { return metal->analysedTexture(); }, send);
  }
  // No composition comes: the output sent last goes out again.
  if (nothingToCompose) send(env_.metal->vxdPixelBuffer());
}

std::vector<BorderProperty> MainController::makeBorders(const RoiPairs& control) const {
  double width = controlBorderView ? controlBorderView->width() : 0;
  return makeBorders(control, width, controlBoardViewModel().editMode->value() == EditMode::none);
}

std::vector<BorderProperty> MainController::makeBorders(const RoiPairs& control, double width,
                                                        bool editModeNone) {
  return BorderOutlines::make(control, width, kPanoramaWidth, editModeNone);
}

// ---- popups ----

void MainController::setupPopupControllers() {
  std::weak_ptr<bool> weak = alive_;
  // Each close hides its host, while the window exists.
  auto hider = [weak](QPointer<QWidget> host) {
    return [weak, host] {
      auto alive = weak.lock();
      if (alive && *alive && host) host->hide();
    };
  };
  SaveRoiViewController::Environment record = env_.saveRoi;
  record.camera = env_.camera;
  record.viewModel = env_.viewModel;
  record.config = env_.config;
  record.defaults = env_.defaults;
  saveRoi_ = new SaveRoiViewController(record, saveRoiView);
  saveRoi_->closeAction = hider(saveRoiView.data());
  saveRoiViewController = saveRoi_.data();
  (new QHBoxLayout(saveRoiView))->addWidget(saveRoi_);
  saveRoiView->layout()->setContentsMargins(0, 0, 0, 0);

  if (env_.advertisement) {
    advertisement_ = new AdvertisementViewController(*env_.advertisement, advertisementView);
    advertisement_->closeAction = hider(advertisementView.data());
    advertisementViewController = advertisement_.data();
    (new QHBoxLayout(advertisementView))->addWidget(advertisement_);
    advertisementView->layout()->setContentsMargins(0, 0, 0, 0);
  }

  // Escape closes each popup as its own Cancel or close does.
  QPointer<UpdateController> update = updateController;
  escapeKey_.add(updateView, [update] {
    if (update) update->cancelButton->isHidden() ? update->onClickOK() : update->onClickCancel();
  });
  escapeKey_.add(settingView, [this] {
    if (auto* c = qobject_cast<SettingViewController*>(settingViewController.data()))
      c->onClickClose();
    else if (settingView)
      settingView->hide();
  });
  escapeKey_.add(saveRoiView, [this] { saveRoi_->onClickClose(); });
  escapeKey_.add(languageView, [this] {
    if (auto* c = qobject_cast<LanguageViewController*>(languageViewController.data()))
      c->onClickClose();
    else if (languageView)
      languageView->hide();
  });
  escapeKey_.add(advertisementView, [this] {
    if (advertisement_) advertisement_->onClickCenterClose();
  });

  if (updateController) {
    updateController->displayHandle = [this, weak](bool show) {
      auto alive = weak.lock();
      if (alive && *alive) showUpdatePopup(show);
    };
    updateController->adAction = [this, weak] {
      auto alive = weak.lock();
      if (alive && *alive) toggleAdvertisementPopup();
    };
  }
}

void MainController::toggleSaveRoiPopup(bool saveState) {
  if (!saveRoi_ || !saveRoiView) return;
  saveRoi_->isSaveState = saveState;
  if (!saveRoiView->isHidden()) {
    saveRoiView->hide();
    return;
  }
  saveRoiView->raise();
  saveRoiView->show();  // the popup's appearance captures or shows its record
}

void MainController::showUpdatePopup(bool show) {
  if (!updateView) return;
  uint64_t generation = ++updateFadeGeneration_;
  if (show) {
    if (isSimpleMode_) leaveSimpleUI();
    setAlpha(updateView, 0.0);
    updateView->raise();
    updateView->show();
  } else {
    if (updateView->isHidden()) return;
    setAlpha(updateView, alphaOf(updateView));
  }
  auto* fade = new QPropertyAnimation(updateView->graphicsEffect(), "opacity", updateView);
  fade->setDuration(300);
  fade->setEndValue(show ? 1.0 : 0.0);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
  if (show) return;
  // Hidden once the fade has run, unless the popup was asked for again meanwhile.
  afterDelay(0.3, [this, generation] {
    if (generation != updateFadeGeneration_ || !updateView) return;
    updateView->hide();
    setAlpha(updateView, 1.0);
  });
}

void MainController::toggleAdvertisementPopup() {
  if (!advertisement_ || !advertisementView) return;
  QPointer<QWidget> host = advertisementView.data();
  advertisement_->presentCurrentAdvertisement([host] {
    if (host) host->setVisible(host->isHidden());
  });
}

// ---- mouse editing on the preview and its context menu ----

void MainController::setupRoiEditing() {
  roiEditor.facade = [this] { return facade(); };
  roiEditor.setSelectedRectId = [this](int64_t id) {
    if (controlBorderView) controlBorderView->setSelectedRectId(id);
  };
  roiEditor.setHoveringRectId = [this](int64_t id) {
    if (controlBorderView) controlBorderView->setHoveringRectId(id);
  };
  roiEditor.updateFocusRect = [this] { updateFocusRect(); };
  roiEditor.updateBannerIconArea = [this] { updateBannerIconArea(); };
  roiEditor.saveFocusRect = [this](const RoiEditor::Rect& r) {
    saveFocusRect(QRectF(r.x, r.y, r.width, r.height));
  };
  roiEditor.storeBannerPositionY = [this](double y) { cameraManager().bannerPositionY = y; };
  roiEditor.addRefused = [this](const std::string& note) {
    env_.logger->info("box not added: the picture shows " +
                          std::to_string(orlith::OutlineBudget::kOutlines) +
                          " boxes and ignore areas together at most",
                      __FILE__, "addRefused", __LINE__);
    showPictureNote(text(note.c_str()).arg(orlith::OutlineBudget::kOutlines));
  };
  PreviewMouseAdaptor::Hooks hooks;
  hooks.refreshContext = [this] { fillRoiEditorContext(); };
  hooks.menuWebsite = [this] { menuWebsite(); };
  hooks.rightMouseDown = [this](RoiEditor::Point p, QPoint global) { rightMouseDown(p, global); };
  hooks.isMainWindow = [this] {
    QWidget* top = window();
    return top && (top == this || top->isActiveWindow() || !QApplication::activeWindow());
  };
  // The simple layout's picture: a double click brings the full window back.
  hooks.doubleClicked = [this] {
    if (!isSimpleMode_) return false;
    // Its first click chose a frame to transform; that was part of the gesture, not a choice.
    selectRect(false, -1);
    leaveSimpleUILater();
    return true;
  };
  previewMouse_ = new PreviewMouseAdaptor(contentView, controlView, powerbyImage, roiEditor,
                                          std::move(hooks), this);
  popUpContextMenu = [](QMenu& menu, QPoint at) { menu.exec(at); };
}

void MainController::fillRoiEditorContext() {
  CameraManager& camera = cameraManager();
  ControlBoardViewModel& model = controlBoardViewModel();
  RoiEditor::Context& c = roiEditor.context;
  c.connected = camera.connectMode->value() == ConnectMode::connected;
  c.displayMode = camera.displayMode->value();
  c.editMode = model.editMode->value();
  c.mirror = model.mirror->value();
  c.isAutoDetect = camera.isAutoDetect->value();
  c.drawNormalRect = camera.drawNormalRect->value();
  c.drawTrackingRect = camera.drawTrackingRect->value();
  c.is360Camera = camera.is360Camera();
  CameraFormat format = camera.cameraFormat();
  c.frameWidth = format.width;
  c.frameHeight = format.height;
  c.focusRectAspectRatio = camera.focusRectAspectRatio;
  c.bannerAspectRatio = camera.bannerAspectRatio;
  c.editOffsetDatumPoint = camera.editOffsetDatumPoint;
  c.minRectSideLength = int(env_.config->minRectSideLength);
  c.widthMultiple = controlViewWidthMultiple;
  c.heightMultiple = controlViewHeightMultiple;
}

void MainController::rightMouseDown(RoiEditor::Point point, QPoint global) {
  fillRoiEditorContext();
  std::optional<RoiEditor::MenuTarget> target = roiEditor.rightMouseDown(point);
  if (!target) return;
  // Made anew for every click and gone once it closes.
  std::unique_ptr<QMenu> menu(makeContextMenu(*target, this));
  if (popUpContextMenu) popUpContextMenu(*menu, global);
}

QMenu* MainController::makeContextMenu(const RoiEditor::MenuTarget& target, QWidget* parent) {
  CameraManager& camera = cameraManager();
  auto* menu = new QMenu(parent);
  menu->setTitle("Contextual menu");
  menu->setObjectName("Contextual menu");
  using Item = RoiEditor::MenuItem;
  struct Made {
    const char* key;
    void (MainController::*action)();
  };
  const std::map<Item, Made> made = {
      {Item::track, {"rect_menu_tracking_name", &MainController::menuTrack}},
      {Item::pin, {"rect_menu_pin_name", &MainController::menuPin}},
      {Item::deleteRect, {"rect_menu_delete_name", &MainController::menuDelete}},
      {Item::detectBody, {"control_panel_detect_name", &MainController::menuDetectBody}},
      {Item::removeAllFirst, {"menu_edit_remove_name", &MainController::menuCleanAll}},
      {Item::detectOnce, {"control_panel_detect_name", &MainController::menuDetectOnce}},
      {Item::autoTrack, {"control_panel_tracking_name", &MainController::menuAutoTrack}},
      {Item::removeAllSecond, {"menu_edit_remove_name", &MainController::menuCleanAll}},
      {Item::protectArea, {"rect_menu_protect_name", &MainController::menuSetProtectArea}},
  };
  RoiEditor::MenuChoice choice;
  choice.hit = target.hit;
  choice.editMode = controlBoardViewModel().editMode->value();
  choice.displayMode = camera.displayMode->value();
  choice.drawNormalRect = camera.drawNormalRect->value();
  choice.drawTrackingRect = camera.drawTrackingRect->value();
  choice.isAutoTracking = camera.isAutoTracking->value();
  choice.enableNewDetectLayout = env_.config->enableNewDetectLayout;
  std::weak_ptr<bool> weak = alive_;
  for (Item item : RoiEditor::menuItems(choice)) {
    const Made& m = made.at(item);
    QAction* action = menu->addAction(text(m.key));
    action->setObjectName(m.key);
    action->setData(int(item));
    bool checked = item == Item::track         ? target.hit.isTrack
                   : item == Item::pin         ? target.pinned
                   : item == Item::detectBody  ? camera.isAutoDetect->value()
                   : item == Item::autoTrack   ? camera.isFaceAutoTracking->value()
                                               : false;
    if (item == Item::track || item == Item::pin || item == Item::detectBody ||
        item == Item::autoTrack) {
      action->setCheckable(true);
      action->setChecked(checked);
    }
    if (item == Item::detectOnce) action->setEnabled(!camera.isFaceAutoTracking->value());
    auto method = m.action;
    connect(action, &QAction::triggered, this, [this, weak, method] {
      auto alive = weak.lock();
      if (alive && *alive) (this->*method)();
    });
  }
  return menu;
}

void MainController::menuTrack() {
  fillRoiEditorContext();
  roiEditor.menuTrack();
}

void MainController::menuPin() { roiEditor.menuPin(); }

void MainController::menuDelete() {
  fillRoiEditorContext();
  // An ignore area deleted while editing comes back with the edit's Cancel.
  if (std::optional<RoiEditor::Rect> area = roiEditor.menuDelete())
    ignoreRectsTempDel.push_back(QRectF(area->x, area->y, area->width, area->height));
}

void MainController::menuDetectBody() {
  cameraManager().isAutoDetect->setValue(!cameraManager().isAutoDetect->value());
}

void MainController::menuDetectOnce() { cameraManager().isFaceAutoDetect->setValue(true); }

void MainController::menuAutoTrack() {
  cameraManager().isFaceAutoTracking->setValue(!cameraManager().isFaceAutoTracking->value());
}

void MainController::menuCleanAll() {
  if (std::shared_ptr<AnalysisFacade> manager = facade()) manager->ClearAllRect();
}

void MainController::menuTrackAll() {
  if (std::shared_ptr<AnalysisFacade> manager = facade()) manager->TrackAllRects();
}

void MainController::menuUntrackAll() {
  if (std::shared_ptr<AnalysisFacade> manager = facade()) manager->UntrackAllRects();
}

void MainController::menuTransform() {
  roiEditor.menuTransform();
  if (!roiEditor.isStartTransform) return;
  updateFocusRect();
  if (basePositionView) basePositionView->hide();
}

void MainController::menuSetProtectArea() {
  roiEditor.addProtectArea();
  // Stored again so that the edit-mode controls refresh.
  ControlBoardViewModel& model = controlBoardViewModel();
  model.editMode->setValue(model.editMode->value());
  menuDelete();
}

void MainController::menuLoadRoi() { toggleSaveRoiPopup(false); }

void MainController::menuSaveRoi() { toggleSaveRoiPopup(true); }

// Name tags are not edited from the preview.
void MainController::menuAddTag() {}

}  // namespace corvane
