#include "shell/StudioMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>
#include <iostream>
#include <optional>

#include "Bundle.h"
#include "FileSizeLimit.h"
#include "OrlithLog.h"
#include "Paths.h"
#include "camera/CameraManager.h"
#include "camera/PlayerManager.h"
#include "dispatch/Clock.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "i18n/Localized.h"
#include "log/LogManager.h"
#include "qt/DisplayPlatform.h"
#include "qt/QtMainQueue.h"
#include "qt/UserDefaults.h"
#include "render/MetalContext.h"
#include "shell/AlertManager.h"
#include "shell/AppDelegate.h"
#include "shell/CannotGoOnExit.h"
#include "shell/ClipHandOver.h"
#include "shell/CustomWindow.h"
#include "shell/InstanceRequest.h"
#include "shell/InterruptedSaves.h"
#include "shell/LaunchViewController.h"
#include "shell/ProfileProbe.h"
#include "shell/ProgramInfo.h"
#include "shell/ShellControllers.h"
#include "shell/SignalQuitter.h"
#include "shell/SingleInstance.h"
#include "util/AtomicFile.h"
#include "util/CommandLine.h"
#include "util/GeneralPrinter.h"

namespace corvane {

namespace {

constexpr QSize LAUNCH_SIZE{800, 450};
constexpr const char* kProgram = "corvane-studio";
constexpr const char* kDeactivate = AppDelegate::kDeactivateSwitch;

// The temporary files of saves that a crash or a kill interrupted (the settings file's saves
// write an unnamed file, named only for the instant before its rename).
void removeStaleTemporaries() {
  auto caches = platform::Paths::caches();
  auto executable = platform::Bundle::main().executableName();
  if (!caches || !executable) return;
  for (const auto& file : InterruptedSaves::sweep(platform::Paths::join(*caches, *executable),
                                                  platform::Clock::shared().wallNow()))
    CV_LOG_INFO("removed the temporary file of an interrupted save: " + file);
}

// The clip named on the command line, made absolute (a later start hands it to the running
// instance, whose working folder may be another).
std::optional<QString> commandLineClip(const CommandLine::Decision& commandLine) {
  auto clip = commandLine.lastOperand();
  if (!clip) return std::nullopt;
  return QFileInfo(QString::fromLocal8Bit(clip->c_str())).absoluteFilePath();
}

// The arguments after the program path, once the toolkit has taken its own out.
std::vector<std::string> programArguments() {
  std::vector<std::string> arguments;
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i)
    arguments.push_back(all[i].toLocal8Bit().toStdString());
  return arguments;
}

// What the running instance did for this start, and the start's exit status: a clip it did
// not play is said so, and the start fails.
int reportRunningInstance(const std::optional<QString>& clip, bool handed,
                          const InstanceRequest::Answer& answer) {
  if (!clip) {
    LogManager::shared().log("Corvane Studio runs already: its window comes forward");
    return 0;
  }
  const std::string name = clip->toStdString();
  if (answer.playing) {
    LogManager::shared().log("Corvane Studio runs already: its window comes forward and plays " +
                             name);
    return 0;
  }
  std::string why = !handed ? "its path cannot be handed over"
                    : answer.notPlayed.isEmpty()
                        ? "the running instance plays no clips handed to it"
                        : answer.notPlayed.toStdString();
  // The reason may name the path as well ("cannot read the file (<path>: ...)"): once is enough.
  for (size_t at; (at = why.find(name + ": ")) != std::string::npos;)
    why.erase(at, name.size() + 2);
  // A warning reaches the console too, where a start with a clip is typed.
  CV_LOG_WARNING("Corvane Studio runs already and did not play " + name + ": " + why);
  return 1;
}

// The settings file's problems go to the day log; the user is told once that the saved
// settings, or some of them, could not be read (the program goes on with the defaults for
// what was lost).
void watchSettingsFile() {
  platform::UserDefaults& defaults = platform::UserDefaults::shared();
  defaults.setWriteProblemHandler(
      [](const QString& problem) { CV_LOG_ERROR("settings file " + problem.toStdString()); });
  QString problem = defaults.loadProblem();
  if (problem.isEmpty()) return;
  CV_LOG_ERROR("settings file " + problem.toStdString());
  const char* message =
      defaults.loadedInPart() ? "alert_settings_partly_unreadable" : "alert_settings_unreadable";
  // Once the window is up, so the alert has something to show over.
  platform::MainQueue::shared().async([message] {
    AlertSetupModel model;
    model.mode = AlertMode::alert;
    model.message = QString::fromStdString(localized(message));
    AlertManager::shared().present(model);
  });
}

// The face store's errors and warnings also belong in the day log.
void forwardFaceStoreLines() {
  orlith::OrlithLog::setDayLogSink([](orlith::OrlithLog::Level level, const std::string& line) {
    if (level == orlith::OrlithLog::Level::Error)
      LogManager::shared().error(line, "FaceRecognizer.cpp", "face store", 0);
    else
      LogManager::shared().warning(line, "FaceRecognizer.cpp", "face store", 0);
  });
}

}  // namespace

CommandLine::Usage studioUsage() {
  CommandLine::Usage usage;
  usage.synopses = {"[video-file]", std::string(kDeactivate)};
  usage.description =
      "Shows the panorama of a Kestova Camera plugged in over USB, composes the output\n"
      "picture and feeds it to a virtual camera. With no camera plugged in, a video file\n"
      "named on the command line stands in for it; while the program runs, a later start\n"
      "hands its file to the running window and ends.\n";
  usage.options =
      "  -deactivateExt  remove the virtual camera's device (asking for an administrator's\n"
      "                  password through pkexec) and quit, without showing a window\n";
  return usage;
}

int studioMain(int argc, char** argv, const std::function<void(StudioRun&)>& started) {
  platform::FileSizeLimit::failWritesPastIt();
  // Help and version need no display: answered before the window system is reached.
  if (auto status = CommandLine::answerInformational(CommandLine::arguments(argc, argv), kProgram,
                                                     "Corvane Studio", CORVANE_VERSION,
                                                     studioUsage(), std::cout))
    return *status;
  configureMainBundle();
  // Before the application object: it picks the display platform (X11 under a Wayland session).
  platform::DisplayPlatform::applyPreferred();
  QApplication app(argc, argv);
  // The toolkit has taken its options: what is left is ours, and an unknown one ends the start
  // before anything of it runs.
  const CommandLine::Decision commandLine = CommandLine::decide(programArguments(), {kDeactivate});
  if (auto status = CommandLine::refusal(commandLine, kProgram, 1, std::cerr)) return *status;
  QApplication::setApplicationName("Corvane Studio");
  QApplication::setApplicationVersion(CORVANE_VERSION);
  platform::QtMainQueue::install();
  SignalQuitter::install(app);
  LogManager::shared().log("Corvane Studio " CORVANE_VERSION " starting");
  // A thread the program cannot do without that cannot be started ends it with a reason.
  CannotGoOnExit::install();
  // The analysis framework's lines of every frame follow the program's debug switch, and so
  // does every running commentary on standard output: without it the terminal gets only the
  // warnings and errors.
  const bool debug = LogManager::shared().isFrameDebug();
  orlith::OrlithLog::setFrameDebug(debug);
  orlith::OrlithLog::setConsoleCommentary(debug);
  GeneralPrinter::enabled = debug;
  // One instance per user: a second start brings the first window forward and ends. The run
  // that only removes the virtual camera shows no window and may run beside it.
  SingleInstance instance(SingleInstance::Environment::process());
  bool holdsLock = false;
  if (!commandLine.has(kDeactivate)) {
    const std::optional<QString> clip = commandLineClip(commandLine);
    std::optional<InstanceRequest> play = clip ? InstanceRequest::play(*clip) : std::nullopt;
    switch (instance.start(play.value_or(InstanceRequest::show()))) {
      case SingleInstance::Start::first:
        holdsLock = true;
        // At once, so that a start at the same instant finds someone to wait for.
        instance.listen();
        break;
      case SingleInstance::Start::unchecked:
        break;
      case SingleInstance::Start::answered:
        return reportRunningInstance(clip, play.has_value(), instance.answer());
      case SingleInstance::Start::interrupted:
        LogManager::shared().log("Corvane Studio's start ended by a signal");
        return 0;
      case SingleInstance::Start::busy: {
        LogManager::shared().log("Corvane Studio runs already and does not answer");
        QMessageBox box(QMessageBox::Information, QStringLiteral("Corvane Studio"),
                        QStringLiteral("Corvane Studio is already running."));
        // A quit does not end a dialog's own loop before the program's loop runs.
        SignalQuitter::whenSignalled(&box, [&box] { box.reject(); });
        if (!SignalQuitter::received()) box.exec();
        return 1;
      }
    }
  }
  forwardFaceStoreLines();
  // Only with the instance lock: without it (the run that removes the virtual camera, or a lock
  // that could not be made) another instance may be saving.
  if (holdsLock) removeStaleTemporaries();
  watchSettingsFile();
  registerShellControllers();

  CameraManager& camera = CameraManager::shared();
  AppDelegate delegate(camera, AppDelegate::Environment::process());
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                   [&delegate] { delegate.applicationWillTerminate(); });
  registerShellWindows(delegate);
  delegate.applicationWillFinishLaunching();

  CustomWindow window([&camera] { return camera.connectMode->value(); });
  window.setWindowTitle("Corvane Studio");
  delegate.attachTo(&window);
  auto* launch = new LaunchViewController(LaunchViewController::Environment::process());
  window.setMainContent(launch);
  window.setFixedSize(LAUNCH_SIZE);  // the launch screen does not resize; the main window does
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(LAUNCH_SIZE.width() / 2, LAUNCH_SIZE.height() / 2));
  }
  launch->viewDidLoad();
  // The run that only removes the virtual camera shows no window.
  if (!delegate.isDeactivateRun()) window.show();
  delegate.applicationDidFinishLaunching();

  // The renderer's effect pass, fed by every frame the analysis completes.
  camera.setupEffectView();
  // A video file named on the command line stands in for the camera (the demo clip).
  ClipHandOver clips(PlayerManager::shared());
  if (!delegate.isDeactivateRun())
    if (auto clip = commandLineClip(commandLine)) clips.play(*clip);

  // The window exists: later starts get their answer now, those that came meanwhile too.
  SingleInstance::Handlers handlers;
  handlers.activate = [&window] {
    if (window.isMinimized()) window.showNormal();
    // A compositor hides a minimised window without a word and lets no window raise itself: the
    // window mapped anew is a new one to it, which it shows in front.
    if (!window.windowSystem().reportsMinimise && window.isVisible()) window.hide();
    window.show();
    window.raise();
    window.activateWindow();
  };
  // A later start's clip plays as this start's own would; it hears whether the player took it.
  handlers.play = [&clips](const QString& clip, ClipHandOver::Answered answered) {
    clips.play(clip, std::move(answered));
  };
  instance.serve(std::move(handlers));
  // A profiling run's probe (tools/cpu-profile), when the environment asks for one.
  ProfileProbe::installFromEnvironment(camera, &app);

  StudioRun run{app, delegate, window, camera};
  if (started) started(run);

  int rc = app.exec();
  // A file still playing would hand frames to the renderer while the program's objects go.
  PlayerManager::shared().close();
  // Passes not started yet are dropped, not run; the one running finishes while the windows'
  // objects are there. However far the render fell behind, the quit waits for one pass.
  if (auto queue = MetalContext::shared().renderQueue) {
    queue->discardPending();
    queue->drain();
  }
  // The analysis ends here, not among the statics: its workers would outlive the vision
  // library's thread-local data and abort the exit.
  camera.releaseAnalysis();
  // A relaunch waiting for this instance may start now.
  instance.release();
  LogManager::shared().log("Corvane Studio quits");
  orlith::OrlithLog::setDayLogSink(nullptr);
  SignalQuitter::uninstall();
  platform::QtMainQueue::uninstall();
  return rc;
}

}  // namespace corvane
