#include "main/SaveRoiViewController.h"

#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <QVBoxLayout>

#include "camera/AnalysisFacade.h"
#include "camera/CameraManager.h"
#include "camera/Display.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "i18n/Localized.h"
#include "main/RoiRecordRules.h"
#include "qt/UserDefaults.h"
#include "render/MetalManager.h"
#include "shell/AlertManager.h"
#include "shell/ShellStyle.h"
#include "util/ImageExtension.h"
#include "util/RecordThumbnail.h"
#include "util/RoiOverlay.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/ImageAssets.h"
#include "widgets/NamedColors.h"

namespace corvane {

namespace {

constexpr int64_t kFocus = 11;
constexpr int64_t kPresentation = 13;

QString text(const char* key) { return QString::fromStdString(localized(key)); }

}  // namespace

SaveRoiViewController::Environment SaveRoiViewController::Environment::process() {
  Environment env;
  env.controlPicture = [] {
    platform::PixelBufferRef frame = MetalManager::shared().controlPixelBuffer();
    return frame ? ImageExtension::imageWithPixelBuffer(*frame, 1.0) : QImage();
  };
  env.thumbnailFolder = [] { return RecordThumbnail::folder(); };
  env.showFailure = [](const QString& message) { AlertManager::shared().showMessage(message); };
  return env;
}

SaveRoiViewController::SaveRoiViewController(Environment environment, QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
  setObjectName(QStringLiteral("SaveRoiViewController"));
  // The shell's popup look: a dark rounded panel that takes every click, white text.
  backgroundView = ShellStyle::panel(QRect(QPoint(0, 0), kPopupSize), this);
  titleLabel = ShellStyle::label(QRect(), QString(), this, 15, true);
  titleLabel->setAlignment(Qt::AlignCenter);
  closeButton = ShellStyle::tabButton(QRect(), QStringLiteral("✕"), this);
  closeButton->setObjectName(QStringLiteral("closeButton"));
  roiPullDownButton = new QComboBox(this);
  roiDescLabel = ShellStyle::label(QRect(), QString(), this, 12);
  roiDescLabel->setWordWrap(true);
  QPalette secondary = roiDescLabel->palette();
  secondary.setColor(QPalette::WindowText, ShellStyle::secondaryTextColor());
  roiDescLabel->setPalette(secondary);
  roiOkButton = ShellStyle::button(QRect(0, 0, 120, 28), QString(), this);
  roiImageView = new QLabel(this);
  roiImageView->setScaledContents(true);
  roiRectImageView = new QLabel(this);
  roiRectImageView->setScaledContents(true);
  roiRectImageView->setAttribute(Qt::WA_TransparentForMouseEvents);
  connect(roiPullDownButton, &QComboBox::activated, this, [this] { onClickRoiPullDownButton(); });
  connect(roiOkButton, &QAbstractButton::clicked, this, [this] { onClickRoiOk(); });
  connect(closeButton, &QAbstractButton::clicked, this, [this] { onClickClose(); });
  // From the keyboard: the chooser first (it has the focus when the popup opens), then the
  // confirm button, then the close button.
  QWidget::setTabOrder(roiPullDownButton, roiOkButton);
  QWidget::setTabOrder(roiOkButton, closeButton);
  resize(kPopupSize);
}

void SaveRoiViewController::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || !roiPullDownButton->hasFocus()) return QWidget::keyPressEvent(event);
  if (!event->isAutoRepeat()) roiOkButton->click();
  event->accept();
}

std::shared_ptr<AnalysisFacade> SaveRoiViewController::facade() const {
  return env_.camera->manager();
}

void SaveRoiViewController::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int w = width(), h = height(), m = 16;
  backgroundView->setGeometry(rect());
  titleLabel->setGeometry(m + 32, m, w - 2 * m - 64, 24);
  closeButton->setGeometry(w - m - 28, m - 2, 28, 28);
  roiPullDownButton->setGeometry(m, 48, w - 2 * m, 28);
  roiDescLabel->setGeometry(m, 82, w - 2 * m, 36);
  layoutPictures();
  roiOkButton->setGeometry(w - m - 120, h - m - 28, 120, 28);
}

void SaveRoiViewController::layoutPictures() {
  // The thumbnail below the text and above the button, in the picture's own shape.
  const int m = 16;
  QRect room(m, 124, width() - 2 * m, std::max(20, height() - 124 - 56));
  QRect picture = room;
  if (!picture_.isNull() && picture_.height() > 0) {
    QSize fitted = picture_.size().scaled(room.size(), Qt::KeepAspectRatio);
    picture = QRect(QPoint(0, 0), fitted);
    picture.moveCenter(room.center());
  }
  roiImageView->setGeometry(picture);
  roiRectImageView->setGeometry(picture);
}

void SaveRoiViewController::onClickClose() {
  if (closeAction) closeAction();
}

void SaveRoiViewController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  viewWillAppear();
}

void SaveRoiViewController::localizeTexts() {
  titleLabel->setText(text(isSaveState ? "menu_edit_save_roi" : "menu_edit_load_roi"));
  roiDescLabel->setText(
      text(isSaveState ? "menu_configuration_save_desc" : "menu_configuration_load_desc"));
  roiOkButton->setTitle(text(isSaveState ? "button_save_name" : "button_load_name"));
  roiPullDownButton->clear();
  if (!isSaveState) roiPullDownButton->addItem(text("menu_configuration_none"));
  for (const char* key :
       {"menu_configuration_record1", "menu_configuration_record2", "menu_configuration_record3"})
    roiPullDownButton->addItem(text(key));
}

void SaveRoiViewController::viewWillAppear() {
  localizeTexts();
  roiPullDownButton->setCurrentIndex(
      RoiRecordRules::itemOfRecord(env_.config->roiRecordIndex, isSaveState));
  if (isSaveState)
    captureCurrentRecord();
  else
    showStoredRecord();
  drawOverlay();
}

void SaveRoiViewController::onClickRoiPullDownButton() {
  if (isSaveState) return;
  showStoredRecord();
  drawOverlay();
}

void SaveRoiViewController::captureCurrentRecord() {
  thumbnailMirror = env_.viewModel->mirror->value();
  CameraFormat format = env_.camera->cameraFormat();
  const double W = format.width, H = format.height;
  std::shared_ptr<AnalysisFacade> manager = facade();
  const double base = manager && W > 0 ? manager->getContentOffset() / W : 0.0;
  thumbnailRoiRecord.clear();
  roiRecord.clear();
  auto take = [&](const std::vector<orlith::SelvoRect>& rects) {
    for (const orlith::SelvoRect& r : rects) {
      std::optional<RectPoint> q = RoiRecordRules::quad(r.rect.x, r.rect.y, r.rect.width,
                                                        r.rect.height, W, H);
      if (q) roiRecord.push_back(*q);
    }
  };
  if (manager) {
    take(manager->GetManualRect());
    take(manager->GetDetectRect());
  }
  // One box per place: a detected box lying on a manual one (the same person) is not kept twice.
  roiRecord = RoiRecordRules::distinctBoxes(roiRecord, W, H, env_.camera->is360Camera());
  for (const RectPoint& piece : RoiOverlay::overlayQuads(roiRecord, base, thumbnailMirror))
    thumbnailRoiRecord.push_back(piece);
  thumbnailDisplayModeValue = int64_t(env_.camera->displayMode->value());
  thumbnailFixRect.clear();
  if (thumbnailDisplayModeValue == kFocus) thumbnailFixRect = env_.config->manualFocusRect;
  if (thumbnailDisplayModeValue == kPresentation) thumbnailFixRect = env_.config->presentRect;
  thumbnailIgnoreRect = currentIgnoreRects();
}

std::vector<RectPoint> SaveRoiViewController::currentIgnoreRects() const {
  std::vector<RectPoint> out;
  if (thumbnailDisplayModeValue == kFocus) return out;
  std::shared_ptr<AnalysisFacade> manager = facade();
  if (!manager) return out;
  CameraFormat format = env_.camera->cameraFormat();
  const long count = manager->GetIgnoredRectCount();
  for (long i = 0; i < count; ++i) {
    AnalysisFacade::IntRect r = manager->GetIgnoreRect(int(i));
    if (auto q = RoiRecordRules::quad(r.x, r.y, r.width, r.height, format.width, format.height))
      out.push_back(*q);
  }
  return out;
}

bool SaveRoiViewController::saveRecord(std::string* error) {
  ConfigManager& config = *env_.config;
  const int item = roiPullDownButton->currentIndex();
  config.roiRecordIndex = RoiRecordRules::recordOfItem(item, true);
  CameraManager& camera = *env_.camera;
  const VerticalFovMode fov = camera.verticalFov->value();
  const bool mirror = env_.viewModel->mirror->value();
  std::shared_ptr<AnalysisFacade> manager = facade();
  const int offset = manager ? manager->getContentOffset() : 0;
  CameraFormat format = camera.cameraFormat();
  const double W = format.width, H = format.height;
  const bool tracking = camera.isAutoDetect->value();
  const int64_t mode = int64_t(camera.displayMode->value());
  RoiRecordRules::PresetChoice preset =
      RoiRecordRules::preset(env_.defaults->object(QStringLiteral("CurrentPreset")), config.presets);

  std::optional<RoiRecordRules::Fields> record = RoiRecordRules::fields(config, config.roiRecordIndex);
  if (!record) {
    if (error) *error = "there is no layout " + std::to_string(config.roiRecordIndex);
    return false;
  }
  *record->rois = roiRecord;
  *record->fov = rawValue(fov) + 1;
  *record->mirror = mirror;
  *record->basePos = W > 0 ? offset / W : 0.0;
  *record->cropY = RoiRecordRules::cropY(camera.bannerPositionY, H, W, camera.bannerAspectRatio);
  *record->doTracking = tracking;
  *record->displayMode = mode;
  if (mode == kFocus) *record->fixRect = config.manualFocusRect;
  if (mode == kPresentation) *record->fixRect = config.presentRect;
  *record->focusedPreset = preset.index;
  if (preset.custom) *record->customPreset = preset.custom;
  *record->ignore = currentIgnoreRects();
  // On disk at once, like its thumbnail: a crash or a kill before the quit keeps the record.
  return config.saveConfigFile(error);
}

void SaveRoiViewController::onClickRoiOk() {
  if (isSaveState) {
    // Both are tried: a record written without its picture still comes back at the next start.
    std::string recordError, thumbnailError;
    const bool recordSaved = saveRecord(&recordError);
    const bool thumbnailSaved = storeThumbnail(&thumbnailError);
    if (closeAction) closeAction();
    if ((!recordSaved || !thumbnailSaved) && env_.showFailure) {
      const std::string why = !recordSaved ? recordError : thumbnailError;
      env_.showFailure(text("alert_layout_not_saved").arg(QString::fromStdString(why)));
    }
    return;
  }
  const int item = roiPullDownButton->currentIndex();
  if (item >= 0) {
    if (std::shared_ptr<AnalysisFacade> manager = facade()) {
      manager->ClearAllRect();
      manager->RemoveIgnoreAreas();
    }
    env_.config->roiRecordIndex = RoiRecordRules::recordOfItem(item, false);
    env_.camera->loadRoiRecord();
  }
  if (closeAction) closeAction();
}

std::optional<std::string> SaveRoiViewController::thumbnailPath(int64_t record) const {
  std::optional<std::string> folder = env_.thumbnailFolder ? env_.thumbnailFolder() : std::nullopt;
  if (!folder) return std::nullopt;
  return RecordThumbnail::file(*folder, record);
}

void SaveRoiViewController::setPicture(const QImage& image) {
  picture_ = image;
  roiImageView->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
  layoutPictures();
}

void SaveRoiViewController::showStoredRecord() {
  const int item = roiPullDownButton->currentIndex();
  if (item == 0) {
    setPicture(QImage());
    overlay_ = QImage();
    roiRectImageView->clear();
    thumbnailRoiRecord.clear();
    return;
  }
  std::optional<std::string> path = thumbnailPath(item);
  if (!path) return;
  QImage stored = RecordThumbnail::load(*path);
  setPicture(stored.isNull() ? ImageAssets::named(QStringLiteral("img_room_default")).toImage()
                             : stored);
  double base = 0;
  bool mirror = false;
  if (std::optional<RoiRecordRules::Fields> record = RoiRecordRules::fields(*env_.config, item)) {
    roiRecord = *record->rois;
    base = *record->basePos;
    mirror = *record->mirror;
    thumbnailDisplayModeValue = *record->displayMode;
    thumbnailFixRect = *record->fixRect;
    thumbnailIgnoreRect = *record->ignore;
  }
  thumbnailMirror = mirror;
  thumbnailRoiRecord = RoiOverlay::overlayQuads(roiRecord, base, mirror);
}

void SaveRoiViewController::drawOverlay() {
  if (isSaveState && env_.controlPicture) {
    QImage live = env_.controlPicture();
    if (!live.isNull()) setPicture(live);
  }
  if (picture_.isNull()) return;
  QImage canvas(picture_.size(), QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  const QSizeF size(canvas.size());
  auto stroke = [&](const QColor& color, const std::vector<RectPoint>& quads) {
    painter.setPen(QPen(color, RoiOverlay::lineWidth(size.height()), Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    for (const RectPoint& q : quads) painter.drawPolygon(RoiOverlay::polygon(q, size));
  };
  if (thumbnailDisplayModeValue != kFocus)
    stroke(NamedColors::color(QStringLiteral("tintColor")), thumbnailRoiRecord);
  if (thumbnailDisplayModeValue == kFocus || thumbnailDisplayModeValue == kPresentation) {
    QColor focus = env_.config->focusColor.value_or(QColor(Qt::yellow));
    focus.setAlphaF(1.0);
    std::vector<RectPoint> fixed;
    for (const RectPoint& q : thumbnailFixRect) {
      if (!thumbnailMirror) {
        fixed.push_back(q);
        continue;
      }
      // The fix rectangle as the mirrored picture shows it, kept on the picture.
      const double w = q.x3 - q.x1, h = q.y3 - q.y1;
      double x = 1 - q.x1 - w;
      x = x >= 1 ? 1 - w : std::max(0.0, x);
      fixed.emplace_back(x, q.y1, x + w, q.y1, x + w, q.y1 + h, x, q.y1 + h);
    }
    stroke(focus, fixed);
  }
  if (!thumbnailIgnoreRect.empty()) {
    QColor ignore = env_.config->ignoreColor.value_or(QColor(Qt::red));
    ignore.setAlphaF(1.0);
    stroke(ignore, thumbnailIgnoreRect);
  }
  painter.end();
  overlay_ = canvas;
  roiRectImageView->setPixmap(QPixmap::fromImage(canvas));
}

bool SaveRoiViewController::storeThumbnail(std::string* error) {
  std::optional<std::string> path =
      thumbnailPath(RoiRecordRules::recordOfItem(roiPullDownButton->currentIndex(), true));
  // No picture yet (no frame came): the load popup shows the default picture; nothing failed.
  if (!path || picture_.isNull()) return true;
  // Written whole or not at all; a failure is logged there and the record stays saved.
  return ImageExtension::savePNG(picture_, QString::fromStdString(*path),
                                 ImageExtension::WriteOptions::atomic, error);
}

}  // namespace corvane
