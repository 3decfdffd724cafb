#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "FwupdateTestRig.h"

namespace {

using fwtest::Rig;
using qd4718::HIDUPDATE_FLOW;
using Strings = std::vector<std::string>;

const Strings kIdentityChain = {"get_type", "get_hw_ver",    "get_sw_ver",    "get_git_rev",
                                "get_date", "get_line_mode", "get_storage_id"};

Strings concat(Strings a, const Strings& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The distinct progress values, in the order they first came.
std::vector<int> progressSteps(const Strings& events) {
  std::vector<int> steps;
  for (const auto& e : events) {
    if (e.rfind("progress ", 0) != 0) continue;
    int p = std::stoi(e.substr(9));
    if (steps.empty() || steps.back() != p) steps.push_back(p);
  }
  return steps;
}

// ---- complete runs ----------------------------------------------------------------------------

TEST(HIDUpdateFlow, FullRunThroughUpdateModeAndBack) {
  Rig rig;
  rig.start();
  // The device's identity came through the information chain.
  auto device = rig.updater->hidManager()->connectedDeviceNow();
  ASSERT_TRUE(device);
  EXPECT_EQ(device->storageID, "ST4718A9");
  EXPECT_EQ(device->swVer, "2.0.7");
  EXPECT_EQ(device->lineMode, "uac");
  rig.seconds(15);

  EXPECT_EQ(rig.state(), HIDUPDATE_FLOW::UAC_UPDATE_FLOW_FINISH);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  EXPECT_TRUE(rig.errorsNow().empty());
  EXPECT_EQ(rig.device.commands(),
            concat(kIdentityChain, {"get_update_flag", "kernel_1", "start_update", "get_state",
                                    "get_state", "get_state", "reboot", "get_state"}));
  // Every step of the flow shows up, in order, as its own number.
  EXPECT_EQ(progressSteps(rig.eventsNow()),
            (std::vector<int>{1, 2, 5, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
  // The device found the very bytes of the file on its volume, which was ejected first.
  EXPECT_EQ(rig.device.receivedImage(), rig.firmwareBytes());
  EXPECT_GE(rig.device.ejectCount(), 1);
}

// A device that lists a silent consumer-control interface beside its update interface, in
// either order, through its normal enumeration and its update mode alike.
TEST(HIDUpdateFlow, ADeviceWithASecondInterfaceIsUpdatedOverItsUpdateInterface) {
  using Second = testsupport::SimulatedHidDevice::SecondInterface;
  for (Second where : {Second::listedBefore, Second::listedAfter}) {
    SCOPED_TRACE(where == Second::listedBefore ? "listed before" : "listed after");
    Rig rig(false);
    rig.device.setSecondInterface(where);
    rig.device.plug();
    rig.start();
    rig.seconds(15);
    EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
    EXPECT_TRUE(rig.errorsNow().empty());
    EXPECT_EQ(rig.device.secondInterfaceReports(), 0);
    EXPECT_EQ(rig.device.receivedImage(), rig.firmwareBytes());
    EXPECT_EQ(rig.updater->hidManager()->deviceIdsNow(), (Strings{"QD4718-0001"}));
    EXPECT_TRUE(rig.logged("usage page 0x000C"));
  }
}

TEST(HIDUpdateFlow, ProgressRepeatsPerTickWhileWaiting) {
  Rig rig;
  rig.device.setKernelWaitSeconds(5);
  rig.start();
  rig.seconds(20);
  auto events = rig.eventsNow();
  EXPECT_GE(std::count(events.begin(), events.end(), "progress 9"), 4);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
}

TEST(HIDUpdateFlow, UpdateFlagTwoWithTheVolumeMountedGoesStraightToTheCopy) {
  Rig rig;
  rig.device.setUpdateFlag(2);
  rig.device.mountVolume();
  rig.start();
  rig.seconds(12);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  const auto cmds = rig.device.commands();
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "kernel_1"), 0);
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "remount_disk"), 0);
  EXPECT_EQ(cmds[kIdentityChain.size() + 1], "start_update");
  EXPECT_EQ(rig.device.receivedImage(), rig.firmwareBytes());
}

TEST(HIDUpdateFlow, UpdateFlagTwoWithoutTheVolumeRemountsIt) {
  Rig rig;
  rig.device.setUpdateFlag(2);
  rig.start();
  rig.seconds(12);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  const auto cmds = rig.device.commands();
  EXPECT_EQ(cmds[kIdentityChain.size() + 1], "remount_disk");
  EXPECT_EQ(cmds[kIdentityChain.size() + 2], "start_update");
  EXPECT_EQ(rig.device.settleCount(), 2);  // looked once before and once after the remount
}

TEST(HIDUpdateFlow, DeviceAlreadyInUpdateModeIsTaken) {
  Rig rig(false);
  rig.device.plugInUpdateMode();
  rig.start();
  rig.seconds(12);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  EXPECT_EQ(rig.count("kernel_1"), 0);
}

TEST(HIDUpdateFlow, ProcessingKeepsPollingEverySecondWithoutLimit) {
  Rig rig;
  rig.device.setProcessingPolls(1000000);
  rig.start();
  rig.seconds(5);
  int before = rig.count("get_state");
  rig.seconds(120);
  EXPECT_EQ(rig.count("get_state") - before, 120);
  EXPECT_EQ(rig.state(), HIDUPDATE_FLOW::UAC_UPDATE_FLOW_GET_STATUS_1);
  EXPECT_EQ(rig.outcomes(), (Strings{"view"}));
}

TEST(HIDUpdateFlow, ASecondStartDuringARunIsIgnored) {
  Rig rig;
  rig.start();
  rig.seconds(4);
  rig.updater->FirmwareUpdate();
  rig.settle();
  rig.seconds(12);
  EXPECT_EQ(rig.count("get_type"), 1);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  EXPECT_TRUE(rig.logged("An update is already running"));
}

// ---- no device, no reply ---------------------------------------------------------------------

TEST(HIDUpdateFlow, NoDeviceIsACommunicationError) {
  Rig rig(false);
  rig.start();
  EXPECT_EQ(rig.outcomes(), (Strings{"error"}));
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
  EXPECT_TRUE(rig.logged("Communication error!! (no device is connected)"));
  EXPECT_EQ(rig.state(), HIDUPDATE_FLOW::UAC_UPDATE_FLOW_ERROR_HANDLE_0);
  EXPECT_FALSE(rig.updater->isUacConnected());
}

TEST(HIDUpdateFlow, ASilentDeviceGetsTwoSendsOneSecondApart) {
  Rig rig;
  rig.device.silenceAll(true);
  rig.start();
  EXPECT_EQ(rig.count("get_type"), 1);
  rig.run(std::chrono::milliseconds(1900));
  EXPECT_EQ(rig.count("get_type"), 2);
  EXPECT_TRUE(rig.outcomes().empty());
  rig.run(std::chrono::milliseconds(100));
  EXPECT_EQ(rig.outcomes(), (Strings{"error"}));
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
  EXPECT_TRUE(rig.logged("Communication error!! (no reply to get_type after 2 tries)"));
  rig.seconds(5);
  EXPECT_EQ(rig.count("get_type"), 2);  // nothing more once the run has ended
}

TEST(HIDUpdateFlow, FailingWritesEndInACommunicationError) {
  Rig rig;
  rig.device.setWriteFails(true);
  rig.start();
  rig.seconds(3);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
  EXPECT_TRUE(rig.logged("Communication error!! (no reply to get_type after 2 tries)"));
  EXPECT_EQ(rig.device.writtenReports().size(), 2u);
}

TEST(HIDUpdateFlow, TheFinalStateIsAskedTenTimes) {
  Rig rig;
  rig.start();
  while (rig.state() != HIDUPDATE_FLOW::UAC_UPDATE_FLOW_GET_HID_DEVICE) rig.seconds(1);
  rig.device.silence("get_state");
  int before = rig.count("get_state");
  rig.seconds(20);
  EXPECT_EQ(rig.count("get_state") - before, 10);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
  EXPECT_TRUE(rig.logged("Communication error!! (no reply to get_state after 10 tries)"));
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "error"}));
}

TEST(HIDUpdateFlow, ABrokenIdentityChainIsRetriedFromItsStart) {
  Rig rig;
  rig.device.silence("get_date");
  rig.start();
  rig.seconds(3);
  EXPECT_EQ(rig.count("get_type"), 2);
  EXPECT_EQ(rig.count("get_date"), 2);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
  // The command named is the one left unanswered, not the chain's first.
  EXPECT_TRUE(rig.logged("Communication error!! (no reply to get_date after 2 tries)"));
}

// ---- unreadable replies ----------------------------------------------------------------------

TEST(HIDUpdateFlow, RepliesThatCannotBeReadAreNoReplies) {
  std::vector<std::vector<uint8_t>> broken = {
      {0x3F, 0x00, 'x'},                 // no payload
      {0x3F, 0x40, 'l', 'o', 'n', 'g'},  // longer than the report
      {0x3F, 0x02, 0xC3, 0x28},          // not UTF-8
      {0x3F},                            // no length
  };
  for (const auto& report : broken) {
    Rig rig;
    rig.device.overrideReplyBytes("get_type", report);
    rig.start();
    rig.seconds(3);
    EXPECT_EQ(rig.count("get_type"), 2);
    EXPECT_EQ(rig.count("get_hw_ver"), 0);
    EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
  }
}

TEST(HIDUpdateFlow, AFlagThatIsNotANumberIsAskedAgainThenFails) {
  Rig rig;
  rig.device.overrideReply("get_update_flag", "two");
  rig.start();
  rig.seconds(3);
  EXPECT_EQ(rig.count("get_update_flag"), 2);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
}

TEST(HIDUpdateFlow, AnUnknownUpdateFlagEndsTheRunWithAnError) {
  Rig rig;
  rig.device.overrideReply("get_update_flag", "7");
  rig.start();
  EXPECT_EQ(rig.state(), HIDUPDATE_FLOW::UAC_UPDATE_FLOW_ERROR_HANDLE_0);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Invalid update flag!![7]"}));
  EXPECT_EQ(rig.outcomes(), (Strings{"error"}));
}

TEST(HIDUpdateFlow, AWaitThatIsNotANumberDoesNotStallTheRun) {
  Rig rig;
  rig.device.overrideReply("kernel_1", "soon");
  rig.start();
  rig.seconds(3);
  EXPECT_EQ(rig.count("kernel_1"), 2);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
}

TEST(HIDUpdateFlow, ANegativeWaitDoesNotHangTheRun) {
  Rig rig;
  rig.device.setKernelWaitSeconds(-5);
  rig.start();
  rig.seconds(1);
  EXPECT_NE(rig.state(), HIDUPDATE_FLOW::UAC_UPDATE_FLOW_WAIT_ENTRY_INTO_UPDATE_MODE);
}

TEST(HIDUpdateFlow, StartUpdateRefusedIsAnError) {
  Rig rig;
  rig.device.overrideReply("start_update", "NG");
  rig.start();
  rig.seconds(6);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Can not start Update!!"}));
  EXPECT_EQ(rig.outcomes(), (Strings{"error"}));
}

TEST(HIDUpdateFlow, DeviceStatesNameTheirFailure) {
  struct Case {
    int state;
    std::string text;
  };
  for (const auto& c : std::vector<Case>{{3, "Invalid state!![Newer version]"},
                                         {26, "Invalid state!![state = 0x1A]"},
                                         {0, "Invalid state!![Init State]"},
                                         {9, "Invalid state!![Upgrage fail]"}}) {
    Rig rig;
    rig.device.setStateAfterReboot(c.state);
    rig.start();
    rig.seconds(15);
    EXPECT_EQ(rig.errorsNow(), (Strings{c.text})) << c.state;
    EXPECT_EQ(rig.outcomes(), (Strings{"view", "error"}));
  }
  EXPECT_EQ(qd4718::HIDManager::invalidStateText(-4), "Invalid state!![HW version not compatible]");
}

TEST(HIDUpdateFlow, AFailedWriteOfTheImageIsAnError) {
  Rig rig;
  rig.device.overrideReply("get_state", "9");
  rig.start();
  rig.seconds(6);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Invalid state!![Upgrage fail]"}));
}

// ---- the volume ------------------------------------------------------------------------------

TEST(HIDUpdateFlow, NoVolumeIsAnError) {
  Rig rig;
  rig.device.setVolumeAppears(false);
  rig.start();
  rig.seconds(6);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Can not get storage!!"}));
  EXPECT_EQ(rig.outcomes(), (Strings{"error"}));
}

TEST(HIDUpdateFlow, AVolumeNobodyMountedIsMountedByTheHost) {
  Rig rig;
  rig.device.setAutomount(false);
  rig.start();
  rig.seconds(15);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  EXPECT_EQ(rig.device.mountCount(), 1);
  // Looked at read-only; mounted for writing only to take the image.
  EXPECT_EQ(rig.device.hostMountModes(), (Strings{"read-only", "read-write"}));
  EXPECT_FALSE(rig.device.receivedImage().empty());
}

TEST(HIDUpdateFlow, ACopyThatCannotBeSavedAsksForThePrivacyView) {
  Rig rig;
  std::filesystem::create_directories(rig.device.volumeRoot() + "/update.swu");
  rig.start();
  rig.seconds(6);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Can not save file!!"}));
  EXPECT_EQ(rig.outcomes(), (Strings{"privacy"}));
  // Why, for the page and the log: the volume and what stood in the way.
  std::string why = rig.updater->failureReason();
  EXPECT_NE(why.find(rig.device.volumeRoot()), std::string::npos) << why;
  EXPECT_NE(why.find("Is a directory"), std::string::npos) << why;
  EXPECT_TRUE(rig.logged("HIDError: Can not save file!!")) << why;
  EXPECT_TRUE(rig.logged(why));
  EXPECT_EQ(rig.count("start_update"), 0);
  // No half-written file is left on the volume.
  for (const auto& entry : std::filesystem::directory_iterator(rig.device.volumeRoot())) {
    EXPECT_NE(entry.path().filename().string().rfind(".update.swu", 0), 0u);
  }
}

TEST(HIDUpdateFlow, AVolumeThatStaysMountedIsAnError) {
  Rig rig;
  rig.device.setEjectFails(true);
  rig.start();
  rig.seconds(6);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Can not eject mass storage!!"}));
  EXPECT_EQ(rig.count("start_update"), 0);
}

TEST(HIDUpdateFlow, TheVolumeIsKnownByItsStorageId) {
  Rig rig;
  std::string stick = rig.device.addOtherVolume("ST4718\n");  // only a part of the id
  rig.device.setMarkerText("disk=ST4718A9\r\nrev 2\n");       // the id among other text
  rig.start();
  rig.seconds(15);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  EXPECT_FALSE(std::filesystem::exists(stick + "/update.swu"));
  EXPECT_TRUE(std::filesystem::exists(rig.device.volumeRoot() + "/update.swu"));
}

TEST(HIDUpdateFlow, AMarkerThatIsNoShortFileIsNeverRead) {
  Rig rig;
  // Before the device's volume in the list, so each would be taken if its marker were read: a
  // FIFO (reading it waits for a writer for ever) and a huge file naming the id first.
  std::string fifo = rig.device.addOtherVolume("");
  ASSERT_EQ(mkfifo((fifo + "/mtk_disk").c_str(), 0600), 0);
  std::string huge = rig.device.addOtherVolume("ST4718A9\n" + std::string(1 << 20, ' '));
  rig.start();
  rig.seconds(15);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  EXPECT_FALSE(std::filesystem::exists(huge + "/update.swu"));
  EXPECT_FALSE(std::filesystem::exists(fifo + "/update.swu"));
  EXPECT_TRUE(std::filesystem::exists(rig.device.volumeRoot() + "/update.swu"));
}

TEST(HIDUpdateFlow, AnEmptyStorageIdMatchesNoVolume) {
  testsupport::SimulatedHidDevice::Identity identity;
  identity.storageId = "\n";  // nothing but a line end: empty once cleaned
  Rig rig(true, 200000, identity);
  rig.device.setUpdateFlag(2);
  rig.device.mountVolume();
  std::string stick = rig.device.addOtherVolume("anything\n");
  rig.start();
  rig.seconds(6);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Can not get storage!!"}));
  EXPECT_FALSE(std::filesystem::exists(stick + "/update.swu"));
}

// ---- the firmware file -----------------------------------------------------------------------

TEST(HIDUpdateFlow, AMissingEmptyOrUnreadableFileFailsBeforeTheDeviceIsTouched) {
  for (int variant = 0; variant < 3; ++variant) {
    Rig rig(true, 0);
    if (variant == 1) rig.writeFirmware(0);
    if (variant == 2) std::filesystem::create_directories(rig.firmware);
    rig.start();
    EXPECT_EQ(rig.errorsNow(), (Strings{"Can not read firmware file!!"})) << variant;
    EXPECT_EQ(rig.outcomes(), (Strings{"error"}));
    EXPECT_TRUE(rig.device.commands().empty());
  }
}

// ---- the device leaving ----------------------------------------------------------------------

TEST(HIDUpdateFlow, ADeviceThatDoesNotReturnFailsAfterEightySeconds) {
  Rig rig;
  rig.device.setNeverReturns(true);
  rig.start();
  rig.seconds(70);
  EXPECT_EQ(rig.state(), HIDUPDATE_FLOW::UAC_UPDATE_FLOW_CHECK_DEVICE);
  EXPECT_TRUE(rig.outcomes().empty());
  rig.seconds(20);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Get HID Device failed!!"}));
  EXPECT_EQ(rig.outcomes(), (Strings{"error"}));
  // While it was away its entry stayed listed.
  EXPECT_EQ(rig.updater->hidManager()->deviceIdsNow(), (Strings{"QD4718-0001"}));
}

TEST(HIDUpdateFlow, UnpluggedWhileUpdatingIsACommunicationError) {
  Rig rig;
  rig.device.setProcessingPolls(100);
  rig.start();
  rig.seconds(5);
  ASSERT_EQ(rig.state(), HIDUPDATE_FLOW::UAC_UPDATE_FLOW_GET_STATUS_1);
  rig.device.unplug();
  rig.seconds(3);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "error"}));
  EXPECT_FALSE(rig.updater->hidManager()->connectedDeviceNow());
}

TEST(HIDUpdateFlow, UnpluggedAsTheCommandArrives) {
  Rig rig;
  rig.device.unplugOn("start_update");
  rig.start();
  rig.seconds(8);
  EXPECT_EQ(rig.count("start_update"), 1);
  EXPECT_EQ(rig.errorsNow(), (Strings{"Communication error!!"}));
}

TEST(HIDUpdateFlow, ADeviceThatComesBackReplacesItsEntry) {
  Rig rig;
  rig.start();
  rig.seconds(15);
  EXPECT_EQ(rig.outcomes(), (Strings{"view", "complete"}));
  // Two reboots, one entry: the returning device (same serial) took its own place.
  EXPECT_EQ(rig.updater->hidManager()->deviceIdsNow(), (Strings{"QD4718-0001"}));
  EXPECT_TRUE(rig.logged("ReConnect: Kestova Audio QD4718-0001"));
  // Gone once the run is over: the entry goes too.
  rig.device.unplug();
  rig.seconds(1);
  EXPECT_TRUE(rig.updater->hidManager()->deviceIdsNow().empty());
}

}  // namespace
