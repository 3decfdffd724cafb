#include "shell/LaunchViewController.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>

#include "Bundle.h"
#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/MainQueue.h"
#include "i18n/LanguageManager.h"
#include "i18n/Localized.h"
#include "ipc/MachManager.h"
#include "log/LogManager.h"
#include "main/MainWindowPlacement.h"
#include "qt/UserDefaults.h"
#include "shell/AlertManager.h"
#include "shell/AppDelegate.h"
#include "shell/CustomWindow.h"
#include "shell/CustomWindowDelegate.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/FocusRing.h"
#include "widgets/ImageAssets.h"
#include "widgets/NamedColors.h"
#include "widgets/ViewRouter.h"

namespace corvane {

namespace {

constexpr int BAR_HEIGHT = 64;
constexpr int FADE_MS = 250;
constexpr double DOT_ON = 1.0;
constexpr double DOT_OFF = 0.3;
constexpr const char* ALPHA_PROPERTY = "corvaneAlpha";

QString text(const char* key) { return QString::fromStdString(localized(key)); }

CustomButton* makeTextButton(QWidget* parent, const QString& title, QSize size) {
  auto* button = new CustomButton(QRect(QPoint(0, 0), size), parent);
  button->setFixedSize(size);
  button->setCornerRadius(size.height() / 2.0);
  button->setBorderWidth(1);
  button->setBorderColor(NamedColors::color("tintColor"));
  button->setTextColor(Qt::white);
  button->setHoverColor(NamedColors::color("tintColor"));
  button->setHoverTextColor(Qt::white);
  button->setTitle(title);
  return button;
}

void setOpacity(QWidget* widget, double opacity) {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(widget);
    widget->setGraphicsEffect(effect);
  }
  effect->setOpacity(opacity);
}

}  // namespace

LaunchViewController::Environment LaunchViewController::Environment::process() {
  Environment env;
  env.config = &ConfigManager::shared();
  env.defaults = &platform::UserDefaults::shared();
  env.bundle = &platform::Bundle::main();
  env.languages = &LanguageManager::shared();
  env.searchCamera = [] { CameraManager::shared().startConnection(); };
  env.isCameraConnected = [] {
    return CameraManager::shared().connectMode->value() == ConnectMode::connected;
  };
  env.mainController = [] { return ViewRouter::shared().mainController(); };
  env.isStreaming = [] { return platform::MachManager::shared().isStreaming(); };
  env.screens = [] { return CustomWindow::availableAreas(); };
  env.showAlert = [](const QString& message) { AlertManager::shared().showMessage(message); };
  return env;
}

LaunchViewController::LaunchViewController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  if (!env_.clock) env_.clock = &platform::Clock::shared();
  if (!env_.main) env_.main = &platform::MainQueue::shared();
  setObjectName("LaunchViewController");
  buildViews();
  new FocusRing(this);
}

LaunchViewController::~LaunchViewController() {
  if (splashTimer_) splashTimer_->cancel();
}

void LaunchViewController::buildViews() {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, NamedColors::color("windowBackgroundColor"));
  setPalette(palette);

  contentImage = new QLabel(this);
  contentImage->setObjectName("contentImage");
  contentImage->setAlignment(Qt::AlignCenter);

  versionLabel = new QLabel(this);
  versionLabel->setObjectName("versionLabel");
  versionLabel->setStyleSheet("color: #B4B4B4; background: transparent;");

  launchBottomView = new CustomView(QRect(), this);
  launchBottomView->setObjectName("launchBottomView");
  launchBottomView->setColor(QColor(0x26, 0x27, 0x2C));
  auto* launchRow = new QHBoxLayout(launchBottomView);
  launchRow->setContentsMargins(24, 0, 24, 0);
  logoImageView = new QLabel(launchBottomView);
  logoImageView->setObjectName("logoImageView");
  rightLabel = new QLabel(launchBottomView);
  rightLabel->setObjectName("rightLabel");
  launchRow->addWidget(logoImageView);
  launchRow->addStretch();
  launchRow->addWidget(rightLabel);

  tutorialBottomView = new CustomView(QRect(), this);
  tutorialBottomView->setObjectName("tutorialBottomView");
  tutorialBottomView->setColor(QColor(0x26, 0x27, 0x2C));
  auto* tutorialRow = new QHBoxLayout(tutorialBottomView);
  tutorialRow->setContentsMargins(24, 0, 24, 0);
  rememberButton = new CustomButton(QRect(0, 0, 18, 18), tutorialBottomView);
  rememberButton->setObjectName("rememberButton");
  rememberButton->setFixedSize(18, 18);
  rememberButton->setCornerRadius(3);
  rememberButton->setBorderWidth(1);
  rememberButton->setTextColor(NamedColors::clear());
  rememberButton->setActiveTextColor(Qt::white);
  rememberButton->setTitle(QStringLiteral("✓"));
  rememberLabel = new QLabel(tutorialBottomView);
  rememberLabel->setStyleSheet("color: #E6E6E6; background: transparent;");
  prevButton = makeTextButton(tutorialBottomView, QStringLiteral("‹"), QSize(32, 32));
  prevButton->setObjectName("prevButton");
  nextButton = makeTextButton(tutorialBottomView, QStringLiteral("›"), QSize(32, 32));
  nextButton->setObjectName("nextButton");
  tutorialIndexView = new QWidget(tutorialBottomView);
  tutorialIndexView->setObjectName("tutorialIndexView");
  auto* dots = new QHBoxLayout(tutorialIndexView);
  dots->setSpacing(8);
  dots->setContentsMargins(12, 0, 12, 0);
  skipButton = makeTextButton(tutorialBottomView, QString(), QSize(96, 32));
  skipButton->setObjectName("skipButton");
  startButton = makeTextButton(tutorialBottomView, QString(), QSize(96, 32));
  startButton->setObjectName("startButton");
  tutorialRow->addWidget(rememberButton);
  tutorialRow->addWidget(rememberLabel);
  tutorialRow->addStretch();
  tutorialRow->addWidget(prevButton);
  tutorialRow->addWidget(tutorialIndexView);
  tutorialRow->addWidget(nextButton);
  tutorialRow->addStretch();
  tutorialRow->addWidget(skipButton);
  tutorialRow->addWidget(startButton);
  tutorialBottomView->hide();
  fade(prevButton, 0.0);

  connect(prevButton, &QAbstractButton::clicked, this, [this] { onClickPrevTutorial(); });
  connect(nextButton, &QAbstractButton::clicked, this, [this] { onClickNextTutorial(); });
  connect(skipButton, &QAbstractButton::clicked, this, [this] { onClickSkip(); });
  connect(startButton, &QAbstractButton::clicked, this, [this] { onClickStart(); });
  connect(rememberButton, &QAbstractButton::clicked, this, [this] { onClickRemember(); });

  showContent(ImageAssets::named("img_launch").toImage());
}

void LaunchViewController::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QRect all = rect();
  // The splash runs under the bar; a tutorial page stays whole above it.
  contentImage->setGeometry(fitContent_ ? all.adjusted(0, 0, 0, -BAR_HEIGHT) : all);
  QRect bar(0, all.height() - BAR_HEIGHT, all.width(), BAR_HEIGHT);
  launchBottomView->setGeometry(bar);
  tutorialBottomView->setGeometry(bar);
  versionLabel->adjustSize();
  versionLabel->move(all.width() - versionLabel->width() - 24,
                     bar.top() - versionLabel->height() - 12);
  showContent(content_);
}

void LaunchViewController::showContent(const QImage& image) {
  content_ = image;
  if (image.isNull() || contentImage->size().isEmpty()) return;
  // The splash fills the view, cut evenly where it does not fit; a page is shown whole.
  QSize area = contentImage->size() * devicePixelRatioF();
  QImage scaled =
      image.scaled(area, fitContent_ ? Qt::KeepAspectRatio : Qt::KeepAspectRatioByExpanding,
                   Qt::SmoothTransformation);
  if (!fitContent_)
    scaled = scaled.copy(QRect(
        QPoint((scaled.width() - area.width()) / 2, (scaled.height() - area.height()) / 2), area));
  QPixmap pixmap = QPixmap::fromImage(scaled);
  pixmap.setDevicePixelRatio(devicePixelRatioF());
  contentImage->setPixmap(pixmap);
}

void LaunchViewController::viewDidLoad() {
  if (AppDelegate::hasDeactivateSwitch(env_.arguments)) {
    hide();
    return;
  }
  setFixedTexts();
  std::string version = env_.bundle ? env_.bundle->shortVersion().value_or("") : "";
  versionLabel->setText(text("version_text") + " " + QString::fromStdString(version));
  // The version check and every loader, once: a second load would log each of their lines
  // (the errors among them) twice.
  if (env_.setupConfiguration)
    env_.setupConfiguration();
  else if (env_.config)
    env_.config->setup();
  if (env_.searchCamera) env_.searchCamera();

  ConfigManager* config = env_.config;
  if (config && config->launchBarColor) launchBottomView->setColor(*config->launchBarColor);
  bool dark = config && config->darkLogo;
  logoImageView->setPixmap(
      ImageAssets::named(dark ? "powered_by_kestova_dark" : "powered_by_kestova"));
  rightLabel->setStyleSheet(
      QString("color: %1; background: transparent;").arg(dark ? "#FFFFFF" : "#353535"));

  bool skip = env_.defaults && env_.defaults->boolean("TutorialSkip");
  bool toMain = skip || !config || !config->enableTutorial || config->tutorialCount <= 0;
  scheduledStep_ = toMain ? "showMain" : "showTutorial";
  splashTimer_ = std::make_unique<platform::DispatchTimer>(*env_.main, *env_.clock);
  QPointer<LaunchViewController> self(this);
  splashTimer_->setEventHandler([self, toMain] {
    if (!self) return;
    if (toMain)
      self->showMain();
    else
      self->showTutorial();
  });
  splashTimer_->schedule(std::chrono::seconds(SPLASH_SECONDS), platform::Clock::Duration(0));
  splashTimer_->resume();
}

void LaunchViewController::setFixedTexts() {
  skipButton->setTitle(text("skip_name"));
  startButton->setTitle(text("start_name"));
  rightLabel->setText(text("copyright_text"));
  rememberLabel->setText(text("update_no_ask_name"));
}

int LaunchViewController::tutorialCount() const {
  return env_.config ? int(std::clamp<int64_t>(env_.config->tutorialCount, 0, 99)) : 0;
}

void LaunchViewController::showTutorial() {
  launchBottomView->hide();
  versionLabel->hide();
  startButton->hide();
  skipButton->show();
  tutorialBottomView->show();
  fitContent_ = true;
  contentImage->setGeometry(rect().adjusted(0, 0, 0, -BAR_HEIGHT));
  rememberButton->setBorderColor(NamedColors::color("tintColor"));
  rememberButton->setActiveBorderColor(NamedColors::color("tintColor"));
  rememberButton->setHoverColor(NamedColors::clear());
  tutorialIndex_ = 0;
  if (tutorialCount() >= 2 && dotIndexImageView.empty()) {
    QPixmap dot = ImageAssets::named("slide_dor");
    for (int i = 0; i < tutorialCount(); ++i) {
      auto* view = new QLabel(tutorialIndexView);
      view->setPixmap(dot);
      tutorialIndexView->layout()->addWidget(view);
      dotIndexImageView.push_back(view);
    }
  }
  showPage();
  // The keyboard starts on the arrow that pages on, so a first Space or Return reads the next page.
  (tutorialCount() >= 2 ? nextButton : skipButton)->setFocus(Qt::TabFocusReason);
}

void LaunchViewController::showPage() {
  std::string name = "img_tutorial_p0" + std::to_string(tutorialIndex_ + 1);
  QImage page = env_.languages ? env_.languages->localizedImage(name) : QImage();
  if (page.isNull()) CV_LOG_WARNING("no tutorial page " + name);
  showContent(page);
  updateDots();
}

void LaunchViewController::updateDots() {
  for (size_t i = 0; i < dotIndexImageView.size(); ++i)
    setOpacity(dotIndexImageView[i], int(i) == tutorialIndex_ ? DOT_ON : DOT_OFF);
}

void LaunchViewController::onClickPrevTutorial() {
  if (tutorialIndex_ <= 0) return;
  --tutorialIndex_;
  skipButton->show();
  startButton->hide();
  fade(nextButton, 1.0);
  // The arrow that goes hands the keyboard's focus to the one that stays, not round the page.
  const bool focused = prevButton->hasFocus();
  if (tutorialIndex_ == 0) fade(prevButton, 0.0);
  if (focused && !prevButton->isEnabled()) nextButton->setFocus(Qt::TabFocusReason);
  showPage();
}

void LaunchViewController::onClickNextTutorial() {
  if (tutorialIndex_ + 1 >= tutorialCount()) return;
  ++tutorialIndex_;
  if (tutorialIndex_ + 1 == tutorialCount()) {
    // The arrow goes: its focus moves on to Start, never onto the tick box a Space would untick.
    const bool focused = nextButton->hasFocus();
    startButton->show();
    skipButton->hide();
    fade(nextButton, 0.0);
    if (focused) startButton->setFocus(Qt::TabFocusReason);
  }
  fade(prevButton, 1.0);
  showPage();
}

void LaunchViewController::onClickSkip() { showMain(); }
void LaunchViewController::onClickStart() { showMain(); }

void LaunchViewController::onClickRemember() {
  rememberButton->isSelected = !rememberButton->isSelected;
  rememberButton->setState(rememberButton->isSelected);
  rememberButton->updateAppearance(rememberButton->isSelected);
  if (env_.defaults) {
    env_.defaults->set("TutorialSkip", rememberButton->isSelected);
    std::string why;
    if (!env_.defaults->synchronize(&why) && env_.showAlert)
      env_.showAlert(text("alert_setting_not_saved").arg(QString::fromStdString(why)));
  }
}

double LaunchViewController::alpha(const QWidget* widget) {
  QVariant value = widget->property(ALPHA_PROPERTY);
  return value.isValid() ? value.toDouble() : 1.0;
}

void LaunchViewController::fade(QWidget* widget, double alpha) {
  if (widget->property(ALPHA_PROPERTY).isValid() && this->alpha(widget) == alpha) return;
  widget->setProperty(ALPHA_PROPERTY, alpha);
  // Faded out, a button is not there for the keyboard either.
  widget->setEnabled(alpha > 0);
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(alpha);
    widget->setGraphicsEffect(effect);
    return;
  }
  auto* animation = new QPropertyAnimation(effect, "opacity", widget);
  animation->setDuration(FADE_MS);
  animation->setEndValue(alpha);
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void LaunchViewController::showMain() {
  if (mainShown_) return;
  auto* window = qobject_cast<CustomWindow*>(this->window());
  if (!window) return;
  mainShown_ = true;
  if (splashTimer_) splashTimer_->cancel();

  QWidget* main = env_.mainController ? env_.mainController() : nullptr;
  if (!main) {
    CV_LOG_ERROR("There is no main controller to show");
    return;
  }
  window->setMinimumSize(0, 0);
  window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  window->setMainContent(main);
  auto* delegate = dynamic_cast<CustomWindowDelegate*>(main);
  if (delegate) window->setCustomWindowDelegate(delegate, main);

  bool live = (env_.isCameraConnected && env_.isCameraConnected()) ||
              (env_.isStreaming && env_.isStreaming());
  if (env_.config && env_.config->defaultSimple && live && delegate) {
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    delegate->showSimpleUI(true);
  } else {
    MainWindowPlacement::Stored stored;
    if (env_.defaults) {
      stored.width = MainWindowPlacement::number(env_.defaults->object("WindowWidth"));
      stored.height = MainWindowPlacement::number(env_.defaults->object("WindowHeight"));
      stored.x = MainWindowPlacement::number(env_.defaults->object("WindowX"));
      stored.y = MainWindowPlacement::number(env_.defaults->object("WindowY"));
    }
    std::vector<QRect> screens = env_.screens ? env_.screens() : std::vector<QRect>{};
    const bool placesItself = window->windowSystem().placesOwnWindows;
    if (!placesItself) {
      // The compositor places the window and never says where: no place is applied, and the
      // size fits the screen the window is on.
      stored.x.reset();
      stored.y.reset();
      if (QScreen* own = window->screen())
        screens.insert(screens.begin(), own->availableGeometry());
    }
    auto placement = MainWindowPlacement::place(stored, screens, window->frameMargins());
    // Changing a window flag makes a new native window: only when it is on.
    if (window->windowFlags() & Qt::WindowStaysOnTopHint)
      window->setWindowFlag(Qt::WindowStaysOnTopHint, false);
    // Shown anew at its new size, so that the compositor places it where it fits: grown in
    // place from the launch screen's corner it would pass the screen's edge.
    if (!placesItself) window->hide();
    window->setMinimumSize(placement.minimum);
    window->setMaximumSize(placement.maximum);
    window->placeFrame([stored, screens](const QMargins& margins) {
      auto p = MainWindowPlacement::place(stored, screens, margins);
      return QRect(p.origin, p.size.grownBy(margins));
    });
    // Nor does it say what its panels take: a window as tall or as wide as the screen would pass
    // the screen's edge beside them. Maximised, the compositor sizes it to what is left.
    if (!placesItself && placement.fillsScreen) window->setWindowState(Qt::WindowMaximized);
  }
  window->show();
  // This controller's part is over; the window keeps the main controller.
  deleteLater();
}

}  // namespace corvane
