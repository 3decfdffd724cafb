#include <gtest/gtest.h>

#include <array>
#include <map>

#include "camera/ReSpeakerManager.h"

using namespace corvane;

namespace {

// The microphone array's vendor requests: a value per (wValue, wIndex), 8 bytes each.
class SimulatedArray : public UsbTransport {
 public:
  struct Request {
    uint8_t requestType, request;
    uint16_t value, index, length;
    unsigned timeoutMs;
  };
  int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                      uint8_t* data, uint16_t length, unsigned timeoutMs) override {
    requests.push_back({requestType, request, value, index, length, timeoutMs});
    if (fail) return fail;
    auto it = replies.find({value, index});
    if (it == replies.end() || length != 8) return kUsbErrorPipe;
    std::copy(it->second.begin(), it->second.end(), data);
    return 8;
  }
  std::string description() const override { return "simulated array"; }

  std::map<std::pair<uint16_t, uint16_t>, std::array<uint8_t, 8>> replies;
  std::vector<Request> requests;
  int fail = 0;
};

class ArrayConnector : public UsbConnector {
 public:
  UsbOpenResult open(uint16_t vid, uint16_t pid) override {
    ++opens;
    UsbOpenResult r{code, nullptr};
    if (code == 0 && present && vid == 0x2886 && pid == 0x0018) r.handle = array;
    return r;
  }
  std::shared_ptr<SimulatedArray> array = std::make_shared<SimulatedArray>();
  bool present = true;
  int code = 0;
  int opens = 0;
};

}  // namespace

TEST(ReSpeakerManager, DecodesByteZeroPlus256WhenByteOneIsOne) {
  const uint8_t a[8] = {0x2C, 0x01};
  const uint8_t b[8] = {0x2C, 0x00};
  const uint8_t c[8] = {0x2C, 0x02};
  EXPECT_EQ(ReSpeakerManager::decode(a), 300);
  EXPECT_EQ(ReSpeakerManager::decode(b), 44);
  EXPECT_EQ(ReSpeakerManager::decode(c), 44);
}

TEST(ReSpeakerManager, ReadsVoiceAndDirectionWithVendorRequests) {
  auto connector = std::make_shared<ArrayConnector>();
  connector->array->replies[{0xE0, 0x13}] = {1, 0, 9, 9, 9, 9, 9, 9};
  connector->array->replies[{0xC0, 0x15}] = {0x2C, 0x01, 9, 9, 9, 9, 9, 9};
  ReSpeakerManager manager(connector);
  EXPECT_EQ(manager.status(), 2u);
  ASSERT_TRUE(manager.checkRespeaker());
  EXPECT_EQ(manager.status(), 0u);
  std::optional<std::pair<int, int>> got;
  manager.getDoaAngleFormat([&](int32_t voice, int32_t angle) { got = {voice, angle}; });
  EXPECT_EQ(got, (std::pair<int, int>{1, 300}));
  const auto& sent = connector->array->requests;
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].requestType, 0xC0);
  EXPECT_EQ(sent[0].request, 0);
  EXPECT_EQ(sent[0].value, 0xE0);
  EXPECT_EQ(sent[0].index, 0x13);
  EXPECT_EQ(sent[0].length, 8);
  EXPECT_EQ(sent[0].timeoutMs, 100000u);
  EXPECT_EQ(sent[1].value, 0xC0);
  EXPECT_EQ(sent[1].index, 0x15);
}

TEST(ReSpeakerManager, NoArrayGivesFalseAndZeros) {
  auto connector = std::make_shared<ArrayConnector>();
  connector->present = false;
  ReSpeakerManager manager(connector);
  EXPECT_FALSE(manager.checkRespeaker());
  EXPECT_EQ(manager.status(), 0u);
  EXPECT_EQ(manager.getVoice(), 0);
  EXPECT_EQ(manager.getDoaAngle(), 0);
  EXPECT_TRUE(connector->array->requests.empty());
  connector->code = 2;
  EXPECT_FALSE(manager.checkRespeaker());
  EXPECT_EQ(manager.status(), 2u);
  connector->code = 1;
  EXPECT_FALSE(manager.checkRespeaker());
  EXPECT_EQ(manager.status(), 1u);
}

TEST(ReSpeakerManager, FailedReadsAndAGoneArrayReadZero) {
  auto connector = std::make_shared<ArrayConnector>();
  connector->array->replies[{0xC0, 0x15}] = {90, 0};
  ReSpeakerManager manager(connector);
  ASSERT_TRUE(manager.checkRespeaker());
  EXPECT_EQ(manager.getDoaAngle(), 90);
  EXPECT_EQ(manager.getVoice(), 0);  // stalled
  connector->array->fail = kUsbErrorNoDevice;
  EXPECT_EQ(manager.getDoaAngle(), 0);
  connector->array->fail = 0;
  manager.disconnected();
  EXPECT_EQ(manager.getDoaAngle(), 0);
  EXPECT_EQ(manager.respeaker_device(), nullptr);
  manager.getDoaAngleFormat(nullptr);  // no completion: nothing happens
}
