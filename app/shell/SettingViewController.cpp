#include "shell/SettingViewController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QShowEvent>

#include "Workspace.h"
#include "camera/AnalysisFacade.h"
#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "i18n/LanguageManager.h"
#include "i18n/Localized.h"
#include "qt/UserDefaults.h"
#include "shell/AlertManager.h"
#include "shell/LanguagePopUpButton.h"
#include "shell/LanguageRestart.h"
#include "shell/RelaunchArguments.h"
#include "shell/ShellStyle.h"
#include "util/RecordThumbnail.h"
#include "util/RoiOverlay.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/ImageAssets.h"
#include "widgets/ImageView.h"
#include "widgets/NamedColors.h"

namespace corvane {

namespace {

constexpr int kWidth = 560;
constexpr int kHeight = 420;
constexpr QRect kPane(24, 104, kWidth - 48, kHeight - 128);

}  // namespace

SettingViewController::Environment SettingViewController::Environment::process() {
  Environment env;
  env.languages = &LanguageManager::shared();
  env.defaults = &platform::UserDefaults::shared();
  // The alert service is asked for on first use: it needs the main window's controller,
  // which may be making this popup.
  env.alerts = nullptr;
  env.config = &ConfigManager::shared();
  env.facade = [] { return CameraManager::shared().manager(); };
  env.loadRoiRecord = [] { CameraManager::shared().loadRoiRecord(); };
  env.thumbnailFolder = [] { return RecordThumbnail::folder(); };
  env.workspace = &platform::Workspace::shared();
  env.relaunchArguments = [] { return RelaunchArguments::process(); };
  env.terminate = [] { QCoreApplication::quit(); };
  return env;
}

SettingViewController::SettingViewController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  setObjectName("SettingViewController");
  resize(kWidth, kHeight);
  viewDidLoad();
}

void SettingViewController::viewDidLoad() {
  backgroundView_ = ShellStyle::panel(QRect(0, 0, kWidth, kHeight), this);
  backgroundView_->disableMouseEvent = true;
  titleLabel_ = ShellStyle::label(QRect(24, 16, 300, 30), QString(), backgroundView_, 15, true);
  titleLabel_->setObjectName("titleLabel");
  const int tabWidth = 150;
  languageButton_ = ShellStyle::tabButton(QRect(24, 60, tabWidth, 30), QString(), backgroundView_);
  gestureButton_ =
      ShellStyle::tabButton(QRect(24 + tabWidth + 8, 60, tabWidth, 30), QString(), backgroundView_);
  roiButton_ = ShellStyle::tabButton(QRect(24 + 2 * (tabWidth + 8), 60, tabWidth, 30), QString(),
                                     backgroundView_);
  languageButton_->setObjectName("languageButton");
  gestureButton_->setObjectName("gestureButton");
  roiButton_->setObjectName("roiButton");
  buildLanguageView();
  buildGestureView();
  buildRoiView();
  // Made last, the close button comes last from the keyboard: the popup opens on its first
  // useful control.
  closeButton_ =
      ShellStyle::tabButton(QRect(kWidth - 44, 16, 28, 28), QStringLiteral("✕"), backgroundView_);
  closeButton_->setObjectName("closeButton");

  connect(closeButton_, &QAbstractButton::clicked, this, [this] { onClickClose(); });
  connect(languageButton_, &QAbstractButton::clicked, this, [this] { onClickLanguage(); });
  connect(gestureButton_, &QAbstractButton::clicked, this, [this] { onClickGesture(); });
  connect(roiButton_, &QAbstractButton::clicked, this, [this] { onClickRoi(); });
  connect(languageOkButton_, &QAbstractButton::clicked, this, [this] { onClickLanguageOk(); });
  connect(roiOkButton_, &QAbstractButton::clicked, this, [this] { onClickRoiOk(); });
  connect(languagePullDownButton_, &QComboBox::activated, this,
          [this] { onClickLanguagePullDownButton(); });
  connect(roiPullDownButton_, &QComboBox::activated, this, [this] { onClickRoiPullDownButton(); });
  connect(gestureUseButton_, &QAbstractButton::clicked, this,
          [this] { onClickGestureCUseButton(); });
  connect(gesturePriorityButton_, &QAbstractButton::clicked, this,
          [this] { onClickGestureCPriorityButton(); });

  setupTexts();
  selectState(currentState);
}

void SettingViewController::buildLanguageView() {
  languageView_ = new QWidget(backgroundView_);
  languageView_->setObjectName("languageView");
  languageView_->setGeometry(kPane);
  languagePullDownButton_ = new LanguagePopUpButton(languageView_);
  languagePullDownButton_->setGeometry(0, 20, kPane.width(), 32);
  languageOkButton_ = ShellStyle::button(
      QRect((kPane.width() - 120) / 2, kPane.height() - 52, 120, 32), QString(), languageView_);
  languageOkButton_->setObjectName("languageOkButton");
}

void SettingViewController::buildGestureView() {
  gestureView_ = new QWidget(backgroundView_);
  gestureView_->setObjectName("gestureView");
  gestureView_->setGeometry(kPane);
  auto row = [this](int top, QPointer<QCheckBox>& box, QPointer<QLabel>& title,
                    QPointer<QLabel>& desc, const char* titleKey, const char* descKey) {
    box = new QCheckBox(gestureView_);
    box->setGeometry(0, top + 2, 24, 24);
    box->setChecked(true);
    // Information only: gesture control is the camera's own and cannot be switched here.
    box->setEnabled(false);
    title = ShellStyle::label(QRect(32, top, kPane.width() - 32, 26), localizedText(titleKey),
                              gestureView_, 13, true);
    desc = ShellStyle::label(QRect(32, top + 28, kPane.width() - 32, 40), localizedText(descKey),
                             gestureView_, 11);
    desc->setWordWrap(true);
    QPalette secondary = desc->palette();
    secondary.setColor(QPalette::WindowText, ShellStyle::secondaryTextColor());
    desc->setPalette(secondary);
  };
  row(8, gestureUseButton_, gestureUseTitleLabel_, gestureUseDescLabel_,
      "setting_gesture_use_title", "setting_gesture_use_desc");
  row(92, gesturePriorityButton_, gesturePriorityTitleLabel_, gesturePriorityDescLabel_,
      "setting_gesture_priority_title", "setting_gesture_priority_desc");
  gestureUseButton_->setObjectName("gestureUseButton");
  gesturePriorityButton_->setObjectName("gesturePriorityButton");
  gestureImageView_ =
      new ImageView(QRect(0, 176, kPane.width(), kPane.height() - 176), gestureView_);
}

void SettingViewController::buildRoiView() {
  roiView_ = new QWidget(backgroundView_);
  roiView_->setObjectName("roiView");
  roiView_->setGeometry(kPane);
  roiDescLabel_ = ShellStyle::label(QRect(0, 0, kPane.width(), 36), QString(), roiView_, 12);
  roiDescLabel_->setObjectName("roiDescLabel");
  roiDescLabel_->setWordWrap(true);
  roiPullDownButton_ = new QComboBox(roiView_);
  roiPullDownButton_->setObjectName("roiPullDownButton");
  roiPullDownButton_->setGeometry(0, 42, 240, 30);
  roiPullDownButton_->setStyleSheet(languagePullDownButton_->styleSheet());
  const QRect preview(0, 82, kPane.width(), kPane.height() - 82 - 52);
  roiImageView_ = new ImageView(preview, roiView_);
  roiImageView_->setObjectName("roiImageView");
  roiRectImageView_ = new ImageView(preview, roiView_);
  roiRectImageView_->setObjectName("roiRectImageView");
  roiOkButton_ = ShellStyle::button(QRect((kPane.width() - 120) / 2, kPane.height() - 38, 120, 32),
                                    QString(), roiView_);
  roiOkButton_->setObjectName("roiOkButton");
}

void SettingViewController::setupTexts() {
  titleLabel_->setText(localizedText("menu_setting_name"));
  languageButton_->setTitle(localizedText("menu_setting_language"));
  languageOkButton_->setTitle(localizedText("button_ok_name"));
  gestureButton_->setTitle(localizedText("menu_setting_gesture"));
  roiButton_->setTitle(localizedText("menu_setting_roi"));
  roiDescLabel_->setText(localizedText("menu_setting_roi_desc"));
  roiOkButton_->setTitle(localizedText("button_ok_name"));
}

void SettingViewController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) viewWillAppear();
}

void SettingViewController::viewWillAppear() {
  if (QWidget* host = parentWidget()) move(host->rect().center() - rect().center());
  backgroundView_->setCornerRadius(5.0);
  // Reopened, the panes show what is in force, not a choice left there without its OK.
  setupLanguageList();
  setupRoiList();
}

void SettingViewController::selectState(SettingState state) {
  currentState = state;
  const std::pair<SettingState, CustomButton*> tabs[] = {{SettingState::Language, languageButton_},
                                                         {SettingState::Gesture, gestureButton_},
                                                         {SettingState::Roi, roiButton_}};
  for (const auto& [tabState, button] : tabs) {
    const bool chosen = tabState == state;
    button->isSelected = chosen;
    button->setState(chosen);
    button->updateAppearance(button->state());
  }
  if (state == SettingState::Language) setupLanguageList();
  if (state == SettingState::Roi) setupRoiList();
  languageView_->setVisible(state == SettingState::Language);
  gestureView_->setVisible(state == SettingState::Gesture);
  roiView_->setVisible(state == SettingState::Roi);
}

void SettingViewController::setupLanguageList() {
  if (!env_.languages) return;
  // Each language is named in its own language, so everyone finds theirs.
  languagePullDownButton_->reload(*env_.languages, &LanguageChoice::nativeName);
}

void SettingViewController::setupRoiList() {
  roiPullDownButton_->clear();
  for (const char* key : {"menu_setting_roi_none", "menu_setting_roi_record1",
                          "menu_setting_roi_record2", "menu_setting_roi_record3"})
    roiPullDownButton_->addItem(localizedText(key));
  const int64_t index = env_.config ? env_.config->roiRecordIndex : 0;
  roiPullDownButton_->setCurrentIndex(index >= 0 && index <= 3 ? static_cast<int>(index) : 0);
  showRoiPreview(roiPullDownButton_->currentIndex());
}

void SettingViewController::onClickRoiPullDownButton() {
  showRoiPreview(roiPullDownButton_->currentIndex());
}

void SettingViewController::showRoiPreview(int index) {
  if (index <= 0) {
    roiImageView_->setImage(QPixmap());
    roiRectImageView_->setImage(QPixmap());
    return;
  }
  roiImageView_->setImage(QPixmap());
  QPixmap thumbnail;
  if (auto folder = env_.thumbnailFolder ? env_.thumbnailFolder() : std::nullopt) {
    thumbnail = QPixmap::fromImage(RecordThumbnail::load(RecordThumbnail::file(*folder, index)));
  }
  roiImageView_->setImage(thumbnail.isNull() ? ImageAssets::named("img_room_default") : thumbnail);
  drawRoiRects();
}

void SettingViewController::drawRoiRects() {
  if (!env_.config) return;
  const ConfigManager& c = *env_.config;
  bool mirror = false;
  double base = 0;
  switch (roiPullDownButton_->currentIndex()) {
    case 1:
      roiRecord = c.roiRecord1, mirror = c.roiRecord1Mirror, base = c.roiRecord1BasePos;
      break;
    case 2:
      roiRecord = c.roiRecord2, mirror = c.roiRecord2Mirror, base = c.roiRecord2BasePos;
      break;
    case 3:
      roiRecord = c.roiRecord3, mirror = c.roiRecord3Mirror, base = c.roiRecord3BasePos;
      break;
    default:
      return;
  }
  const QPixmap thumbnail = roiImageView_->image();
  if (thumbnail.isNull()) return;
  // The overlay has the thumbnail's size in points, so both views lay them out alike.
  const QSize size = thumbnail.deviceIndependentSize().toSize();
  const QImage overlay = RoiOverlay::draw(RoiOverlay::overlayQuads(roiRecord, base, mirror), size,
                                          NamedColors::color("tintColor"));
  roiRectImageView_->setImage(QPixmap::fromImage(overlay));
}

void SettingViewController::applyRoiRecord() {
  const int index = roiPullDownButton_->currentIndex();
  if (index >= 0) {
    // Without a camera the facade is not set up and ignores the clearing; the index stays and
    // the record is restored at the next connection.
    // Cleared first, ignore areas too, so that the layout's own fit the picture.
    if (auto facade = env_.facade ? env_.facade() : nullptr) {
      facade->ClearAllRect();
      facade->RemoveIgnoreAreas();
    }
    std::string why;
    bool stored = true;
    if (env_.config) {
      env_.config->roiRecordIndex = index;
      // On disk at once, as a saved layout is, so that a failure is told while the user is here.
      stored = env_.config->saveConfigFile(&why);
    }
    if (env_.loadRoiRecord) env_.loadRoiRecord();
    if (!stored) {
      AlertManager& alerts = env_.alerts ? *env_.alerts : AlertManager::shared();
      const QString notice = localizedText("alert_startup_layout_not_saved");
      if (closeAction) closeAction();
      alerts.showMessage(notice.arg(QString::fromStdString(why)));
      return;
    }
  }
  if (closeAction) closeAction();
}

void SettingViewController::onClickLanguageOk() {
  // The language in force again: nothing to restart for.
  if (!LanguageRestart::isChange(
          languagePullDownButton_->selectedTable(),
          env_.languages ? env_.languages->currentTablePath() : std::nullopt)) {
    if (closeAction) closeAction();
    return;
  }
  AlertManager& alerts = env_.alerts ? *env_.alerts : AlertManager::shared();
  QPointer<SettingViewController> self(this);
  alerts.showAlert(localizedText("menu_restart_desc"), [self, &alerts](bool accepted) {
    if (!accepted || !self) return;
    const Environment& env = self->env_;
    // Started again as the language window does: with the clip that plays and the window's place.
    std::string why;
    const bool started =
        LanguageRestart::apply(self->languagePullDownButton_->selectedTable(), env.defaults,
                               env.languages, env.workspace, env.relaunchArguments, &why);
    // Closing may take the window away: what is left is held here.
    const std::function<void()> terminate = env.terminate;
    const QString notice = localizedText("alert_language_not_saved");
    if (self->closeAction) self->closeAction();
    if (!started) {
      alerts.showMessage(notice.arg(QString::fromStdString(why)));
      return;
    }
    if (terminate) terminate();
  });
}

void SettingViewController::onClickClose() {
  if (closeAction) closeAction();
}

}  // namespace corvane
