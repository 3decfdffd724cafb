#include "hid/HidapiBackend.h"

#include <hidapi/hidapi.h>

#include <cwchar>
#include <mutex>

#include "QD4718Log.h"

namespace qd4718 {

namespace {

std::string narrow(const wchar_t* text) {
  if (!text) return {};
  std::string out;
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (const wchar_t* p = text; *p; ++p) {
    size_t n = std::wcrtomb(buffer, *p, &state);
    if (n == static_cast<size_t>(-1)) {
      // Outside the current locale's character set: keep plain ASCII, drop the rest.
      if (*p < 0x80) out.push_back(static_cast<char>(*p));
      state = std::mbstate_t{};
      continue;
    }
    out.append(buffer, n);
  }
  return out;
}

class HidapiConnection : public HidConnection {
 public:
  explicit HidapiConnection(hid_device* device) : device_(device) {}
  ~HidapiConnection() override { hid_close(device_); }

  bool writeOutputReport(const std::vector<uint8_t>& report) override {
    if (report.empty()) return false;
    // hidraw takes a report in one write; a short count means the rest never went out.
    int n = hid_write(device_, report.data(), report.size());
    if (n < 0) {
      QD4718_LOG_ERROR("HID write failed: " + narrow(hid_error(device_)));
      return false;
    }
    return static_cast<size_t>(n) == report.size();
  }

  int readInputReport(std::vector<uint8_t>& report, size_t maxLength, int timeoutMs) override {
    report.assign(maxLength, 0);
    int n = hid_read_timeout(device_, report.data(), report.size(), timeoutMs);
    if (n < 0) {
      report.clear();
      return -1;
    }
    report.resize(static_cast<size_t>(n));
    return n;
  }

 private:
  hid_device* device_;
};

}  // namespace

namespace {
// hidapi's state is process-wide: it is started by the first backend and ended by the last.
std::mutex libraryMutex;
int libraryUsers = 0;
}  // namespace

HidapiBackend::HidapiBackend() {
  std::lock_guard lock(libraryMutex);
  initialised_ = libraryUsers > 0 || hid_init() == 0;
  if (initialised_) {
    ++libraryUsers;
  } else {
    QD4718_LOG_ERROR("The HID library cannot start");
  }
}

HidapiBackend::~HidapiBackend() {
  std::lock_guard lock(libraryMutex);
  if (initialised_ && --libraryUsers == 0) hid_exit();
}

std::vector<HidBackend::DeviceInfo> HidapiBackend::enumerate() {
  std::vector<DeviceInfo> out;
  if (!initialised_) return out;
  hid_device_info* list = hid_enumerate(0, 0);
  for (hid_device_info* d = list; d; d = d->next) {
    DeviceInfo info;
    info.path = d->path ? d->path : "";
    info.vendorId = d->vendor_id;
    info.productId = d->product_id;
    info.serialNumber = narrow(d->serial_number);
    info.product = narrow(d->product_string);
    info.usagePage = d->usage_page;
    info.usage = d->usage;
    out.push_back(std::move(info));
  }
  hid_free_enumeration(list);
  return out;
}

std::unique_ptr<HidConnection> HidapiBackend::open(const std::string& path) {
  if (!initialised_) return nullptr;
  hid_device* device = hid_open_path(path.c_str());
  if (!device) {
    QD4718_LOG_ERROR("Cannot open HID device " + path);
    return nullptr;
  }
  return std::make_unique<HidapiConnection>(device);
}

}  // namespace qd4718
