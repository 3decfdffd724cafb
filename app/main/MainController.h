#pragma once

#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRectF>
#include <QScrollArea>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SelvoRoiPair.h"
#include "camera/VerticalFovMode.h"
#include "cloud/CompanyModel.h"
#include "cloud/UpdateController.h"
#include "cloud/AdvertisementViewController.h"
#include "main/EscapeKey.h"
#include "main/MainWindowGeometry.h"
#include "main/SaveRoiViewController.h"
#include "main/SourcePictures.h"
#include "main/RoiEditor.h"
#include "main/MouseState.h"
#include "controlboard/EditMode.h"
#include "camera/ConnectMode.h"
#include "qt/DeviceMonitor.h"
#include "render/BorderProperty.h"
#include "render/LayoutRoiPair.h"
#include "ipc/MachManagerDelegate.h"
#include "shell/CustomWindowDelegate.h"
#include "video/PixelBuffer.h"

namespace platform {
class UserDefaults;
}

namespace corvane {

class AnalysisFacade;
class BasePositionView;
class BorderView;
class CameraManager;
class ConfigManager;
class ControlBoardController;
class ControlBoardViewModel;
class CustomButton;
class CustomView;
class FocusRing;
class FocusScope;
class ImageView;
class LayoutView;
class LogManager;
class MetalManager;
class SmallControlBoardController;
class PreviewMouseAdaptor;

// The main window's content: the live preview with its ROI overlay, the navigator panel, the
// control-board column, the popup hosts and the editing buttons. It wires the camera side, the
// board's view model and the virtual camera together, and on its first appearance starts the
// update check, the virtual-camera connection (or the extension's activation) and the
// notification check. Main thread only.
class MainController : public QWidget,
                       public CustomWindowDelegate,
                       public platform::MachManagerDelegate {
  Q_OBJECT

 public:
  // What the window works with; process() gives the program's own.
  struct Environment {
    CameraManager* camera = nullptr;
    ControlBoardViewModel* viewModel = nullptr;
    ConfigManager* config = nullptr;
    MetalManager* metal = nullptr;
    LogManager* logger = nullptr;
    platform::UserDefaults* defaults = nullptr;
    platform::DeviceMonitor* deviceMonitor = nullptr;
    UpdateController::Environment update;
    // The application's company record, none until fetched.
    std::function<std::optional<CompanyModel>()> companyModel;
    // Finds the virtual camera's loopback device by its card label and starts its sink; true
    // when it runs.
    std::function<bool()> startSinkStream;
    // Whether the sink is connected now (it drops its device when the device goes away).
    std::function<bool()> isSinkConnected;
    // Asks for the virtual camera's loopback device to be made.
    std::function<void()> activateCameraExtension;
    // Whether the virtual camera is being watched by a program.
    std::function<bool()> isStreaming;
    // Hands the application delegate's menu slots their closures (the names of the menu events,
    // in order, with their bodies).
    std::function<void(const std::vector<std::pair<std::string, std::function<void()>>>&)>
        assignMenuEvents;
    // Makes the connection popup's content; none: an empty view.
    std::function<QWidget*(QWidget* parent)> makeConnectController;
    // The language and settings popups, made inside their hosts; each closes by hiding its
    // host. None: the hosts stay empty.
    std::function<QWidget*(QWidget* host)> makeLanguageViewController;
    std::function<QWidget*(QWidget* host)> makeSettingViewController;
    // The control board's own navigator preview, once the board exists; none: the panel's.
    std::function<LayoutView*()> controlBoardMetalView;
    // The composed output's two roads to the virtual camera: the link to its assistant first,
    // then the sink stream.
    std::function<void(const platform::PixelBufferRef&)> sendPixelBuffer;
    std::function<void(const platform::PixelBufferRef&)> enqueueFrame;
    // The record popup's picture and folder (its camera, board and settings are the window's).
    SaveRoiViewController::Environment saveRoi;
    // The advertisement popup's; none: no advertisement popup.
    std::optional<AdvertisementViewController::Environment> advertisement;
    // Registers the window for the virtual camera's stream state (none: unregisters).
    std::function<void(platform::MachManagerDelegate*)> setStreamStateDelegate;
    // Opens a web address in the user's browser; true when the browser was started.
    std::function<bool(const std::string& address)> openURL;
    // The maker's page (website command) and the vendor's product page (its update command);
    // empty: nothing opens.
    std::string makerURL;
    std::string vendorProductURL;

    static Environment process();
  };

  // The program's controller, as the view router makes it.
  static MainController* fromStoryboard();

  explicit MainController(Environment environment, QWidget* parent = nullptr);
  ~MainController() override;

  // A short note over the top of the picture (object name "pictureNote"), gone after a few
  // seconds: a box the picture has no room for, a layout that did not fit whole.
  void showPictureNote(const QString& message);

  // ---- outlets (non-owning, into the widget tree) ----
  QPointer<QWidget> smallControlBoardView;
  QPointer<QScrollArea> scrollView;
  double controlBoardWidthConstraints = MainWindowGeometry::kControlBoardWidth;
  QPointer<QWidget> contentView;
  QPointer<QWidget> controlView;
  QPointer<LayoutView> controlMetalView;
  QPointer<BorderView> controlBorderView;
  QPointer<CustomView> popupView;
  double controlViewAspectConstraint = MainWindowGeometry::kDefaultAspect;
  QPointer<BasePositionView> basePositionView;
  QPointer<QWidget> fovStackView;
  QPointer<CustomButton> fov1Button, fov2Button, fov3Button;
  QPointer<CustomView> ignoreView;
  QPointer<QWidget> editButtonStackView;
  QPointer<CustomButton> editCancelButton, editOKButton;
  QPointer<QWidget> navigatorView;
  QPointer<LayoutView> navigatorMetalView;
  QPointer<QWidget> navigatorContentView;
  QPointer<QLabel> navigatorTitleLabel;
  QPointer<CustomButton> splitWindowButton;  // closes the navigator panel
  double navigatorWidthConstraints = 0, navigatorHeightConstraints = 0,
         navigatorBottomConstraints = 0;
  QPointer<QLabel> powerbyImage;
  QPointer<QLabel> notifyImageView;
  QPointer<QWidget> updateView;
  QPointer<QLabel> ignoreLabel;
  QPointer<QWidget> notifyView;
  QPointer<QWidget> settingView, saveRoiView, languageView, advertisementView;
  BasePositionAnchor basePositionAnchor = BasePositionAnchor::content;
  QPointer<CustomButton> notificationButton;
  // The outline around the control that has the keyboard focus.
  QPointer<FocusRing> focusRing;

  // ---- child controllers and shared objects ----
  QWidget* connectController();
  QPointer<UpdateController> updateController;
  QPointer<QWidget> settingViewController, saveRoiViewController, languageViewController,
      advertisementViewController;
  CameraManager& cameraManager() const { return *env_.camera; }
  ControlBoardViewModel& controlBoardViewModel() const { return *env_.viewModel; }
  // The full board (in the scrolling column) and the small one (simple layout), each made on
  // first use over this window's camera, settings and view model.
  ControlBoardController* controlBoardController();
  SmallControlBoardController* smallControlBoardController();
  QPointer<LayoutView> metalView;

  // ---- editing and geometry state ----
  std::vector<QRectF> ignoreRectsTempDel;
  std::optional<QPointF> oriStartLocation;
  // The gesture and selection state of editing on the preview (frame coordinates).
  RoiEditor roiEditor;
  bool roiArea = false;  // the preview reports pointer moves
  double controlViewWidthMultiple = 1.0, controlViewHeightMultiple = 1.0;
  VerticalFovMode currentCameraFov = VerticalFovMode::mid, tempCameraFov = VerticalFovMode::mid;
  bool isSimpleMode_ = false;
  bool firstAppear = true;
  QPointer<QLabel> notifyAnimationLayer;
  bool needInit = true;
  bool isFullScreen_ = false;
  bool navigatorShown = false;
  bool miniaturizedFromSimple_ = false;

  // ---- start-up ----
  void viewDidLoad();
  void viewDidAppear();
  void addObservable();
  void initlayout();
  void setupControlBoard();
  void setupPopupView();
  void setupBasePositionView();
  void localizeTexts();
  bool connectCameraExtension();
  void registerForDeviceNotifications();
  void checkNotification();

  // ---- layout rules ----
  void updateControlViewAspect();
  void updateNavigatorSize();
  void showNavigator(bool show);
  // The base-position button below the preview when there is room, else beside the notification.
  void reanchorBasePosition();
  void setupMetalViews();
  void updateBannerIconArea();
  void updateSelectOriRect();
  void updateFocusRect();
  // Keeps the focus or picture-in-picture rectangle (camera pixels) in the settings.
  void saveFocusRect(const QRectF& rect);
  std::optional<QRect> currentScreenFrame(bool useCenter) const;

  // ---- per-frame ROI road ----
  using RoiPairs = std::vector<std::shared_ptr<orlith::SelvoRoiPair>>;
  // From the camera side, on any thread: one task to the main queue, while the window exists.
  void onRoiPairs(const RoiPairs& output, const RoiPairs& control);
  // Main thread: the output pairs take their control pairs' type, both views compose, the
  // overlay gets its borders, and the composed output goes to the virtual camera.
  void updateRoiPairList(const RoiPairs& output, const RoiPairs& control);
  // The outlines of the control pairs for the overlay's current width.
  std::vector<BorderProperty> makeBorders(const RoiPairs& control) const;
  // The same for an overlay `width` wide; `hasIgnore` follows the pairs while no edit mode is on.
  static std::vector<BorderProperty> makeBorders(const RoiPairs& control, double width,
                                                 bool editModeNone);
  // Output pairs take the type of the control pair with their id (the last such wins).
  static void mergeTypes(const RoiPairs& output, const RoiPairs& control);
  static constexpr double kPanoramaWidth = 1280.0;

  // The facade, made and registered by the camera manager when there is none.
  std::shared_ptr<AnalysisFacade> facade() const;
  // The composing views' camera description: projection, field-of-view mode and api level.
  void applyCameraEnvironment();

  // ---- mouse editing on the preview and its context menu ----
  // The editor's view of the camera, the board and the settings, as they are now.
  void fillRoiEditorContext();
  // A right press inside the preview: the selection steps, then the menu at `global`.
  void rightMouseDown(RoiEditor::Point point, QPoint global);
  // The menu for what the right press found (none: no menu), titled "Contextual menu".
  QMenu* makeContextMenu(const RoiEditor::MenuTarget& target, QWidget* parent);
  // Shows the menu; the default runs it at the pointer until an item is chosen.
  std::function<void(QMenu&, QPoint)> popUpContextMenu;
  PreviewMouseAdaptor* previewMouse() const { return previewMouse_; }
  void menuTrack();
  void menuPin();
  Q_INVOKABLE void menuDelete();
  Q_INVOKABLE void menuDetectBody();
  Q_INVOKABLE void menuDetectOnce();
  Q_INVOKABLE void menuAutoTrack();
  Q_INVOKABLE void menuCleanAll();
  Q_INVOKABLE void menuTrackAll();
  Q_INVOKABLE void menuUntrackAll();
  void menuTransform();
  void menuSetProtectArea();
  void menuWebsite();
  Q_INVOKABLE void menuLoadRoi();
  Q_INVOKABLE void menuSaveRoi();
  void menuAddTag();

  // ---- actions of the window's buttons ----
  void onClickFOV1();
  void onClickFOV2();
  void onClickFOV3();
  void changeCameraFov(VerticalFovMode mode);
  void onClickEditOK();
  void onClickEditCancel();
  // Puts back the ignore areas deleted during the ignore-area edit, in the order deleted.
  void restoreIgnoreRects();
  void onClickSplitWindow();
  void onClickNotify();
  void setMirror(bool mirror);
  // Selects the rectangle with id `index` (-1: none) and opens its transform when `keep`.
  void selectRect(bool keep, int64_t index);
  void showFovEditor(bool show);
  void startNotifyAnimation();
  void stopNotifyAnimation();
  bool isNotifyAnimating() const;

  // ---- listener bodies ----
  void onConnectModeChanged(ConnectMode mode);
  void onVerticalFov(VerticalFovMode mode);
  void onEditMode(EditMode mode);
  void onDisplayModeChanged();
  void onFitModeChanged();
  void onAdvancedEffect(bool shown);

  // ---- window operations ----
  void onMenuUpdate();
  // The menu's commands that act on the preview: the window's action of that name, if it has
  // one (the preview's context menu gives them).
  bool sendAction(const char* action);
  void leaveSimpleUI();
  // The ways back from the simple layout (a double click on its picture, the small board's
  // button): leaveSimpleUI() on the main queue, while the simple layout is still on.
  void leaveSimpleUILater();
  void showSimpleUI(bool flag) override;
  using QWidget::setCursor;
  void setCursor(MouseState state);
  // The opacity the window gave a control (1 when it gave none).
  static double alphaOf(const QWidget* view);
  static void setAlpha(QWidget* view, double alpha);

  // ---- the program's window hands these over ----
  bool isSimpleMode() const override { return isSimpleMode_; }
  bool isFullScreen() const override { return isFullScreen_; }
  void setIsFullScreen(bool fullScreen) override { isFullScreen_ = fullScreen; }
  bool closeAllPopups() override;
  void windowZoom() override;
  // The arrow keys nudge the rectangle being edited by 5 frame pixels; forward delete removes it.
  void handleKeyDown(QKeyEvent* event) override;
  // The window's frame goes to "WindowWidth", "WindowHeight", "WindowX" and "WindowY".
  void windowDidResize() override;
  void windowDidMove() override;
  // Minimised from the simple layout, the window comes back from the taskbar in the full one.
  void windowDidMiniaturize() override;
  void windowDidDeminiaturize() override;
  // The virtual camera started or stopped streaming; any thread, the work runs on the main queue
  // while the window exists.
  // On the link's thread: keeps the latest state and posts one application to the main queue
  // unless one is already waiting, so a flood of states is applied at most once a turn.
  void streamStateChanged(bool streaming) override;
  // On the main thread: the views are rebuilt only when the state differs from the last applied.
  void applyStreamState(bool streaming);

  // ---- popups ----
  // Makes the record, update and advertisement popups in their hosts, each closing by hiding
  // its host.
  void setupPopupControllers();
  // Shows or hides the record popup, in its save or load state.
  void toggleSaveRoiPopup(bool saveState);
  // Fades the update popup in (back to the normal layout first) or out over 0.3 s.
  void showUpdatePopup(bool show);
  // Shows or hides the advertisement of the signed-in account, when it has one that shows.
  void toggleAdvertisementPopup();
  SaveRoiViewController* saveRoi() const { return saveRoi_; }
  AdvertisementViewController* advertisement() const { return advertisement_; }

  // How often the device-arrival observer was installed, and the activation was asked for.
  int deviceObserverCount() const { return deviceObservers_; }
  int activationRequests() const { return activationRequests_; }

  static constexpr double kInitialToolTipDelay = 0.8;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void buildViews();
  void setupRoiEditing();
  void layoutViews();
  void debugLine(const char* function, const std::string& message = "");
  void onConnectMode(int mode);
  // Runs `work` on the main queue after `seconds` while the window exists.
  void afterDelay(double seconds, std::function<void()> work);
  void showConnectionPopup();
  void hideConnectionPopup();
  void wireButtons();
  bool openAddress(const std::string& address, const char* what);

  Environment env_;
  QPointer<QWidget> connectController_;
  QPointer<ControlBoardController> controlBoardController_;
  QPointer<SmallControlBoardController> smallControlBoardController_;
  QPointer<SaveRoiViewController> saveRoi_;
  QPointer<AdvertisementViewController> advertisement_;
  uint64_t updateFadeGeneration_ = 0;
  QPointer<QLabel> pictureNote_;
  uint64_t pictureNoteGeneration_ = 0;
  PreviewMouseAdaptor* previewMouse_ = nullptr;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool sinkConnected_ = false;
  std::atomic<bool> pendingStreamState_{false};
  std::atomic<bool> streamStatePosted_{false};
  std::optional<bool> appliedStreamState_;  // main thread
  uint64_t popupGeneration_ = 0;
  int deviceObservers_ = 0;
  int activationRequests_ = 0;
  std::optional<platform::DeviceMonitor::SubscriptionId> deviceSubscription_;
  EscapeKey escapeKey_;
  // The preview and the composed views go dark while the source is gone.
  std::unique_ptr<SourcePictures> sourcePictures_;
  // The keyboard held by the popup on top, else by an open editor of the preview, else by the
  // simple layout's column.
  QPointer<FocusScope> focusScope_;
};

}  // namespace corvane
