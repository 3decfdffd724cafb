#pragma once

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ManualClock.h"
#include "QD4718Log.h"
#include "QD4718Updater.h"
#include "SimulatedHidDevice.h"
#include "TempDir.h"
#include "dispatch/MainQueue.h"

namespace fwtest {

// One facade over the simulated device, on a manual clock, with every callback recorded.
struct Rig {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  testsupport::TempDir dir;
  testsupport::SimulatedHidDevice device;
  std::string firmware = dir.file("update.swu");
  std::vector<std::string> events;  // "view", "progress N", "privacy", "error", "complete"
  std::vector<std::string> logs;
  std::vector<std::string> errors;  // the texts of the error notifications
  qd4718::NotificationCenter::Token errorObserver = 0;
  std::unique_ptr<qd4718::QD4718Updater> updater;
  std::mutex eventsMutex;

  explicit Rig(bool plugged = true, size_t firmwareBytes = 200000,
               testsupport::SimulatedHidDevice::Identity identity = {})
      : device(std::move(identity)) {
    qd4718::QD4718Log::setSink([this](qd4718::QD4718Log::Level, const std::string& line) {
      std::lock_guard lock(eventsMutex);
      logs.push_back(line);
    });
    if (firmwareBytes > 0) writeFirmware(firmwareBytes);
    if (plugged) device.plug();
  }
  ~Rig() {
    qd4718::NotificationCenter::shared().removeObserver(errorObserver);
    updater.reset();
    platform::MainQueue::shared().drain();
    qd4718::QD4718Log::setSink(nullptr);
  }

  void writeFirmware(size_t bytes) {
    std::ofstream out(firmware, std::ios::binary | std::ios::trunc);
    for (size_t i = 0; i < bytes; ++i) out.put(static_cast<char>((i * 131 + i / 7) & 0xFF));
  }

  std::vector<uint8_t> firmwareBytes() const {
    std::ifstream in(firmware, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  void create(int productId = testsupport::SimulatedHidDevice::kProductId) {
    updater = std::make_unique<qd4718::QD4718Updater>(
        testsupport::SimulatedHidDevice::kVendorId, productId, firmware,
        qd4718::HIDManager::Backends{device.hidBackend(), device.volumes()});
    errorObserver = qd4718::NotificationCenter::shared().addObserver(
        qd4718::HIDManagerError, updater->hidManager(), [this](const qd4718::Notification& n) {
          const auto* d = std::any_cast<qd4718::NotificationDictionary>(&n.object);
          if (!d || !d->count("error") || !std::holds_alternative<std::string>(d->at("error"))) {
            return;
          }
          std::lock_guard lock(eventsMutex);
          errors.push_back(std::get<std::string>(d->at("error")));
        });
    settle();
  }

  void registerCallbacks() {
    updater->RegisterDeviceCB(
        [this] { record("view"); }, [this](int p) { record("progress " + std::to_string(p)); },
        [this] { record("privacy"); }, [this] { record("error"); }, [this] { record("complete"); });
  }

  void start() {
    create();
    registerCallbacks();
    updater->FirmwareUpdate();
    settle();
  }

  void record(const std::string& event) {
    std::lock_guard lock(eventsMutex);
    events.push_back(event);
  }

  // Lets the HID thread and the main queue run until both have nothing left.
  void settle() {
    do {
      updater->hidManager()->drain();
    } while (platform::MainQueue::shared().drain() > 0);
  }

  // Moves the clock in 100 ms steps, letting the HID thread finish after each.
  void run(std::chrono::milliseconds span) {
    for (auto t = std::chrono::milliseconds(0); t < span; t += std::chrono::milliseconds(100)) {
      clock.advance(std::chrono::milliseconds(100));
      settle();
    }
  }
  void seconds(int n) { run(std::chrono::milliseconds(1000 * n)); }

  qd4718::HIDUPDATE_FLOW state() { return updater->hidManager()->flowStatusNow(); }

  std::vector<std::string> eventsNow() {
    std::lock_guard lock(eventsMutex);
    return events;
  }
  // The events other than progress values.
  std::vector<std::string> outcomes() {
    std::vector<std::string> out;
    for (const auto& e : eventsNow()) {
      if (e.rfind("progress", 0) != 0) out.push_back(e);
    }
    return out;
  }
  bool logged(const std::string& text) {
    std::lock_guard lock(eventsMutex);
    for (const auto& l : logs) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }
  std::vector<std::string> errorsNow() {
    std::lock_guard lock(eventsMutex);
    return errors;
  }
  int count(const std::string& command) {
    int n = 0;
    for (const auto& c : device.commands()) n += c == command;
    return n;
  }
};

}  // namespace fwtest
