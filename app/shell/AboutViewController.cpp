#include "shell/AboutViewController.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>

#include "Bundle.h"
#include "Workspace.h"
#include "camera/CameraManager.h"
#include "camera/USBManager.h"
#include "config/ConfigManager.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "shell/AlertManager.h"
#include "shell/AppDelegate.h"
#include "shell/PageOpener.h"
#include "shell/ShellStyle.h"
#include "util/WebAddress.h"
#include "widgets/CustomButton.h"
#include "widgets/NamedColors.h"

#ifndef CORVANE_MAKER_URL
#define CORVANE_MAKER_URL ""
#endif

namespace corvane {

namespace {

constexpr int kWidth = 360;
constexpr int kHeight = 300;

}  // namespace

AboutViewController::Environment AboutViewController::Environment::process() {
  Environment env;
  env.version = platform::Bundle::main().shortVersion();
  env.isStaging = [] { return ConfigManager::shared().isStaging; };
  env.camera = [] {
    CameraManager& camera = CameraManager::shared();
    return Camera{camera.connectMode->value() == ConnectMode::connected,
                  camera.currentDeviceName->value(), USBManager::shared().firmwareVersion()};
  };
  env.companyModel = []() -> std::optional<CompanyModel> {
    AppDelegate* delegate = AppDelegate::current();
    return delegate ? delegate->companyModel() : std::nullopt;
  };
  env.makerAddress = CORVANE_MAKER_URL;
  env.workspace = &platform::Workspace::shared();
  env.main = &platform::MainQueue::shared();
  env.alert = [](const std::string& message) {
    AlertManager& alerts = AlertManager::shared();
    alerts.showMessage(QString::fromStdString(message));
    // The notice is over the main window: it comes in front of this one, or the notice would
    // stay hidden behind it.
    if (QWidget* main = alerts.mainController()) {
      main->window()->raise();
      main->window()->activateWindow();
    }
  };
  return env;
}

AboutViewController* AboutViewController::instantiate(Environment environment) {
  auto* about = new AboutViewController(std::move(environment));
  about->setAttribute(Qt::WA_DeleteOnClose);
  return about;
}

AboutViewController::AboutViewController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  setObjectName("AboutViewController");
  setWindowTitle(localizedText("menu_help_about_desc"));
  setFixedSize(kWidth, kHeight);
  viewDidLoad();
}

void AboutViewController::viewDidLoad() {
  productLabel_ = ShellStyle::label(QRect(20, 40, kWidth - 40, 34),
                                    localizedText("ap_display_name"), this, 20, true);
  productLabel_->setObjectName("productLabel");
  versionLabel_ = ShellStyle::label(QRect(20, 84, kWidth - 40, 22), QString(), this, 12);
  versionLabel_->setObjectName("versionLabel");
  cameraLabel_ = ShellStyle::label(QRect(20, 110, kWidth - 40, 22), QString(), this, 12);
  cameraLabel_->setObjectName("cameraLabel");
  rightLabel_ = ShellStyle::label(QRect(20, kHeight - 44, kWidth - 40, 22),
                                  localizedText("copyright_text"), this, 10);
  rightLabel_->setObjectName("rightLabel");
  for (QLabel* label :
       {productLabel_.data(), versionLabel_.data(), cameraLabel_.data(), rightLabel_.data()})
    label->setAlignment(Qt::AlignCenter);
  QPalette secondary = rightLabel_->palette();
  secondary.setColor(QPalette::WindowText, ShellStyle::secondaryTextColor());
  rightLabel_->setPalette(secondary);
  cameraLabel_->setPalette(secondary);

  if (env_.version) {
    QString version = localizedText("version_text") + " " + QString::fromStdString(*env_.version);
    if (env_.isStaging && env_.isStaging()) version += " Staging";
    versionLabel_->setText(version);
  }

  websiteButton_ = ShellStyle::button(QRect((kWidth - 140) / 2, 166, 140, 32),
                                      localizedText("about_website_name"), this);
  websiteButton_->setObjectName("websiteButton");
  connect(websiteButton_, &QAbstractButton::clicked, this, [this] { onClickWebsite(); });
}

void AboutViewController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) viewWillAppear();
}

void AboutViewController::viewWillAppear() {
  if (isWindow()) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }
  Camera camera = env_.camera ? env_.camera() : Camera{};
  cameraLabel_->setText(
      camera.connected ? QString::fromStdString(camera.deviceName + " " + camera.firmwareVersion)
                       : QString());
}

void AboutViewController::paintEvent(QPaintEvent*) {
  // Black at the top to the dark grey beneath the content.
  QPainter painter(this);
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0, Qt::black);
  gradient.setColorAt(1, NamedColors::color("54Color"));
  painter.fillRect(rect(), gradient);
}

std::string AboutViewController::websiteAddress() const {
  auto company = env_.companyModel ? env_.companyModel() : std::nullopt;
  if (company && !company->data.aboutUrl.empty()) return company->data.aboutUrl;
  return env_.makerAddress;
}

void AboutViewController::onClickWebsite() {
  const std::string address = websiteAddress();
  if (address.empty()) return;
  if (!WebAddress::isWebAddress(QString::fromStdString(address))) {
    CV_LOG_ERROR("Not a web address, not opened: " + address);
    return;
  }
  PageOpener::Environment pages{env_.workspace, env_.main,
                                [](const std::string& line) { CV_LOG_ERROR(line); }, env_.alert};
  if (PageOpener::open(pages, address)) CV_LOG_INFO("default browser was successfully opened");
}

}  // namespace corvane
