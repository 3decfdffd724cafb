#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>

#include <nlohmann/json.hpp>

#include "FakeSysfs.h"
#include "FakeV4l2Device.h"
#include "Process.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "main/SystemExtensionManager.h"
#include "main/VirtualCameraSink.h"
#include "shell/AlertController.h"
#include "shell/AlertManager.h"
#include "vcam/LoopbackOutput.h"
#include "widgets/CustomButton.h"

namespace fs = std::filesystem;
using corvane::SystemExtensionManager;
using corvane::VirtualCameraSink;
using Outcome = SystemExtensionManager::Outcome;
using testsupport::FakeV4l2Device;
using Argv = std::vector<std::string>;

namespace {

constexpr const char* kHelper = "/opt/corvane/libexec/corvane-studio/corvane-studio-virtual-camera";

// A machine whose module, devices and privileged commands the test decides. The command runner
// records each argument vector and, for a privileged step that succeeds, changes the machine the
// way the module would.
class ActivationTest : public ::testing::Test {
 protected:
  std::unique_ptr<SystemExtensionManager> manager() {
    SystemExtensionManager::Environment env;
    env.run = [this](const Argv& argv) { return run(argv); };
    env.api = &v4l2;
    env.sysRoot = sys.sysRoot();
    env.devRoot = sys.devRoot();
    env.helperPath = kHelper;
    env.mainQueue = &main;
    env.connectSink = [this] {
      ++sinkConnects;
      return sinkConnects_result;
    };
    env.showAlert = [this](const std::string& text, std::function<void(bool)> confirm) {
      alerts.push_back(text);
      pendingConfirm = std::move(confirm);
    };
    env.relaunch = [this] {
      ++relaunches;
      return true;
    };
    env.terminate = [this] { ++terminations; };
    return std::make_unique<SystemExtensionManager>(std::move(env));
  }

  int run(const Argv& argv) {
    std::unique_lock lock(mutex);
    commands.push_back(argv);
    if (gate) {
      auto g = gate;
      lock.unlock();
      g->wait();
      lock.lock();
    }
    int status = 0;
    if (argv.size() > 1 && argv[0].find("modinfo") != std::string::npos) return modinfoStatus;
    if (argv[0].find("udevadm") != std::string::npos) return 0;
    if (!statuses.empty()) {
      status = statuses.front();
      statuses.erase(statuses.begin());
    }
    if (status == 0 && makesDevice && argv.size() > 3 &&
        (argv[3] == "v4l2loopback" || argv[3] == "add"))
      addLoopback("video9", VirtualCameraSink::kCardLabel);
    return status;
  }

  void loadModule(bool controlDevice) {
    fs::create_directories(sys.sysRoot() + "/module/v4l2loopback");
    if (controlDevice) std::ofstream(sys.devRoot() + "/v4l2loopback").put('\0');
  }
  void addLoopback(const std::string& node, const std::string& label) {
    loadModule(false);
    sys.addVirtualNode(node, label);
    v4l2.addNode(sys.devicePath(node),
                 FakeV4l2Device::loopbackNode(label, std::stoi(node.substr(5)), 0));
  }
  Outcome activate(SystemExtensionManager& m) {
    std::optional<Outcome> outcome;
    int calls = 0;
    m.activateCameraExtension([&](Outcome o) {
      outcome = o;
      ++calls;
    });
    m.drain();
    main.drain();
    EXPECT_EQ(calls, 1);  // completion once
    return outcome.value_or(Outcome::failed);
  }
  std::optional<bool> deactivate(SystemExtensionManager& m) {
    std::promise<bool> done;
    int calls = 0;
    m.deactivateCameraExtension([&](bool ok) {
      ++calls;
      done.set_value(ok);
    });
    m.drain();
    EXPECT_EQ(calls, 1);
    return done.get_future().get();
  }
  Argv pkexec(std::initializer_list<std::string> rest) {
    Argv argv{"/usr/bin/pkexec", kHelper};
    argv.insert(argv.end(), rest);
    return argv;
  }

  testsupport::FakeSysfs sys;
  FakeV4l2Device v4l2;
  platform::MainQueue main;
  std::mutex mutex;
  std::vector<Argv> commands;
  std::vector<int> statuses;
  int modinfoStatus = 0;
  bool makesDevice = true;
  std::shared_ptr<std::shared_future<void>> gate;
  int sinkConnects = 0;
  bool sinkConnects_result = true;
  std::vector<std::string> alerts;
  std::function<void(bool)> pendingConfirm;
  int relaunches = 0, terminations = 0;
};

}  // namespace

TEST_F(ActivationTest, OurDevicePresentCompletesWithoutACommand) {
  addLoopback("video4", VirtualCameraSink::kCardLabel);
  auto m = manager();
  EXPECT_EQ(activate(*m), Outcome::completed);
  EXPECT_TRUE(commands.empty());
  EXPECT_EQ(sinkConnects, 1);
  EXPECT_TRUE(alerts.empty());
}

TEST_F(ActivationTest, AMissingModuleFailsNamingItsPackageWithoutAPasswordPrompt) {
  modinfoStatus = 1;
  auto m = manager();
  EXPECT_EQ(activate(*m), Outcome::failed);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], (Argv{"/usr/sbin/modinfo", "v4l2loopback"}));
  EXPECT_EQ(sinkConnects, 0);
}

TEST_F(ActivationTest, LoadsTheModuleWithOurLabelAsOneArgumentAndConnectsAtOnce) {
  auto m = manager();
  EXPECT_EQ(activate(*m), Outcome::completed);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[1], pkexec({"modprobe", "v4l2loopback", "exclusive_caps=1",
                                 "card_label=Kestova Virtual Camera"}));
  // udev has made the /dev entry before the sink looks for it.
  EXPECT_EQ(commands[2], (Argv{"/usr/bin/udevadm", "settle", "--timeout=5"}));
  EXPECT_EQ(sinkConnects, 1);
  EXPECT_TRUE(alerts.empty());  // connected: no restart is offered
}

TEST_F(ActivationTest, TheRestartIsOfferedOnlyWhenTheSinkStillCannotConnect) {
  sinkConnects_result = false;
  auto m = manager();
  EXPECT_EQ(activate(*m), Outcome::completed);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0], corvane::localized("camera_extension_desc"));
  pendingConfirm(false);  // declined: nothing happens
  EXPECT_EQ(relaunches, 0);
  EXPECT_EQ(terminations, 0);
  pendingConfirm(true);
  EXPECT_EQ(relaunches, 1);
  EXPECT_EQ(terminations, 1);
}

TEST_F(ActivationTest, ADismissedOrRefusedPromptFails) {
  for (int status : {126, 127, 1}) {
    statuses = {status};
    commands.clear();
    auto m = manager();
    EXPECT_EQ(activate(*m), Outcome::failed) << status;
    EXPECT_EQ(commands.size(), 2u);
  }
  // Loaded fine but no device named like ours came: failed, not completed.
  makesDevice = false;
  auto m = manager();
  EXPECT_EQ(activate(*m), Outcome::failed);
  EXPECT_EQ(sinkConnects, 0);
  EXPECT_TRUE(alerts.empty());
}

TEST_F(ActivationTest, ALoadedModuleGetsOurDeviceBesideOthersOrWaitsForAReboot) {
  addLoopback("video2", "OBS Virtual Camera");
  auto m = manager();
  EXPECT_EQ(activate(*m), Outcome::willCompleteAfterReboot);  // no control device
  EXPECT_TRUE(commands.empty());
  EXPECT_EQ(sinkConnects, 0);

  loadModule(true);
  EXPECT_EQ(activate(*m), Outcome::completed);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0],
            pkexec({"v4l2loopback-ctl", "add", "-n", "Kestova Virtual Camera", "-x", "1"}));
  EXPECT_EQ(sinkConnects, 1);
}

TEST_F(ActivationTest, DeactivationRemovesOnlyOurDevice) {
  auto m = manager();
  EXPECT_EQ(deactivate(*m), true);  // none of ours: nothing to remove
  EXPECT_TRUE(commands.empty());

  addLoopback("video4", VirtualCameraSink::kCardLabel);
  statuses = {1};
  EXPECT_EQ(deactivate(*m), false);
  EXPECT_EQ(deactivate(*m), true);  // only ours: the module goes
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[1], pkexec({"modprobe", "-r", "v4l2loopback"}));

  commands.clear();
  addLoopback("video2", "OBS Virtual Camera");
  EXPECT_EQ(deactivate(*m), false);  // another program's device and no control device
  EXPECT_TRUE(commands.empty());
  loadModule(true);
  EXPECT_EQ(deactivate(*m), true);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], pkexec({"v4l2loopback-ctl", "delete", sys.devicePath("video4")}));
}

TEST_F(ActivationTest, NoActivationStartsWhileADeactivationRuns) {
  addLoopback("video4", VirtualCameraSink::kCardLabel);
  auto m = manager();
  std::promise<void> release;
  gate = std::make_shared<std::shared_future<void>>(release.get_future().share());
  std::promise<bool> removed;
  m->deactivateCameraExtension([&](bool ok) { removed.set_value(ok); });
  std::optional<Outcome> activation;
  m->activateCameraExtension([&](Outcome o) { activation = o; });
  main.drain();
  ASSERT_TRUE(activation);
  EXPECT_EQ(*activation, Outcome::failed);
  release.set_value();
  EXPECT_TRUE(removed.get_future().get());  // its own kind: a removal, answered as one
  m->drain();
  gate.reset();
  // Once it is done, activation runs again.
  EXPECT_EQ(activate(*m), Outcome::completed);
}

TEST(VirtualCameraHelper, RefusesEveryRequestButOurs) {
  std::string helper = std::string(CORVANE_SOURCE_DIR) + "/packaging/corvane-studio-virtual-camera";
  for (const Argv& request : {
           Argv{"modprobe", "v4l2loopback", "exclusive_caps=1", "card_label=Other"},
           Argv{"modprobe", "v4l2loopback", "exclusive_caps=1", "card_label=Kestova", "Virtual"},
           Argv{"modprobe", "vivid"},
           Argv{"modprobe", "-r", "uvcvideo"},
           Argv{"v4l2loopback-ctl", "add", "-n", "Other", "-x", "1"},
           Argv{"v4l2loopback-ctl", "delete", "/dev/sda"},
           Argv{"v4l2loopback-ctl", "delete", "/dev/video999999"},
           Argv{"sh", "-c", "id"},
           Argv{},
       }) {
    Argv argv{"/bin/sh", helper};
    argv.insert(argv.end(), request.begin(), request.end());
    EXPECT_EQ(platform::Process::run(argv), 2) << (request.empty() ? "" : request[0]);
  }
}

namespace {

// The restart offer of the program itself: the program's one alert over the main window, naming
// the device as conferencing programs list it; a second alert while it stands is dropped.
TEST(ActivationRestartOffer, IsTheProgramsOneAlertAndNamesTheDevice) {
  QWidget window;
  window.resize(800, 500);
  window.show();
  corvane::AlertManager& alerts = corvane::AlertManager::shared();
  ASSERT_FALSE(alerts.isShow);
  auto env = SystemExtensionManager::Environment::process();
  ASSERT_TRUE(env.showAlert);
  // Every language names the device as conferencing programs list it.
  int tables = 0;
  for (const auto& entry :
       fs::directory_iterator(CORVANE_SHARE_DIR "/corvane-studio/localizable")) {
    std::ifstream in(entry.path());
    nlohmann::json table = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(table.contains("camera_extension_desc")) << entry.path();
    const std::string desc = table["camera_extension_desc"];
    EXPECT_NE(desc.find(VirtualCameraSink::kCardLabel), std::string::npos) << desc;
    EXPECT_EQ(desc.find("Vantrel"), std::string::npos) << desc;
    ++tables;
  }
  EXPECT_GE(tables, 3);
  std::vector<bool> answers;
  const std::string text = "The virtual camera is ready. Restart now?";
  env.showAlert(text, [&](bool yes) { answers.push_back(yes); });
  ASSERT_TRUE(alerts.isShow);
  corvane::AlertController* alert = alerts.alertController();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->messageLabel()->text().toStdString(), text);
  env.showAlert("a second offer", [&](bool yes) { answers.push_back(!yes); });
  EXPECT_EQ(alert->messageLabel()->text().toStdString(), text);
  alert->okButton()->click();
  EXPECT_EQ(answers, std::vector<bool>{true});
  EXPECT_FALSE(alerts.isShow);
  platform::MainQueue::shared().drain();
}

}  // namespace
