#include <gtest/gtest.h>

#include "FakeV4l2Node.h"
#include "camera/USBManager.h"
#include "camera/UvcV4l2Transport.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"

using namespace corvane;

namespace {

class UvcV4l2TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state = std::make_shared<FakeV4l2Node::State>();
    state->controls[V4L2_CID_BRIGHTNESS] = {-64, 64, 1, 0, -7};
    state->controls[V4L2_CID_CONTRAST] = {0, 100, 1, 50, 50};
    state->controls[V4L2_CID_SATURATION] = {0, 100, 1, 64, 64};
    state->controls[V4L2_CID_SHARPNESS] = {0, 7, 1, 3, 3};
    state->controls[V4L2_CID_GAMMA] = {100, 500, 1, 300, 300};
    state->controls[V4L2_CID_POWER_LINE_FREQUENCY] = {0, 3, 1, 1, 1};
    state->xu[{3, 0x04}] = {14, std::vector<uint8_t>(14, 0), {}};
    state->xu[{3, 0x06}] = {60, std::vector<uint8_t>(60, 0), {}};
    state->xu[{4, 0x12}] = {32, std::vector<uint8_t>(32, 'X'), {}};
    transport = std::make_unique<UvcV4l2Transport>(std::make_unique<FakeV4l2Node>(state));
  }

  int get(uint8_t request, uint16_t value, uint16_t index, uint8_t* data, uint16_t length) {
    return transport->controlTransfer(0xA1, request, value, index, data, length, 1000);
  }
  int set(uint16_t value, uint16_t index, uint8_t* data, uint16_t length) {
    return transport->controlTransfer(0x21, 0x01, value, index, data, length, 1000);
  }
  size_t callsOf(unsigned long request, uint8_t query = 0) const {
    size_t n = 0;
    for (const auto& c : state->calls)
      if (c.request == request && (query == 0 || c.query == query)) ++n;
    return n;
  }

  std::shared_ptr<FakeV4l2Node::State> state;
  std::unique_ptr<UvcV4l2Transport> transport;
};

}  // namespace

// ---- processing unit ----

TEST_F(UvcV4l2TransportTest, ProcessingUnitReadsComeFromTheControlsDescription) {
  uint8_t b[2];
  EXPECT_EQ(get(0x83, 0x0200, 0x0200, b, 2), 2);
  EXPECT_EQ(int16_t(b[0] | b[1] << 8), 64);
  EXPECT_EQ(get(0x82, 0x0200, 0x0200, b, 2), 2);
  EXPECT_EQ(int16_t(b[0] | b[1] << 8), -64);
  EXPECT_EQ(get(0x81, 0x0200, 0x0200, b, 2), 2);
  EXPECT_EQ(int16_t(b[0] | b[1] << 8), -7);
  EXPECT_EQ(get(0x87, 0x0900, 0x0200, b, 2), 2);
  EXPECT_EQ(b[0] | b[1] << 8, 300);
  ASSERT_EQ(state->calls.size(), 4u);
  EXPECT_EQ(state->calls[0].request, VIDIOC_QUERYCTRL);
  EXPECT_EQ(state->calls[0].id, V4L2_CID_BRIGHTNESS);
  EXPECT_EQ(state->calls[2].request, VIDIOC_G_CTRL);
  EXPECT_EQ(state->calls[3].id, V4L2_CID_GAMMA);

  uint8_t one;
  EXPECT_EQ(get(0x81, 0x0500, 0x0200, &one, 1), 1);
  EXPECT_EQ(one, 1);
  EXPECT_EQ(state->calls.back().id, V4L2_CID_POWER_LINE_FREQUENCY);
}

TEST_F(UvcV4l2TransportTest, EachSelectorMapsToItsControl) {
  EXPECT_EQ(UvcV4l2Transport::controlIdForSelector(0x02), uint32_t(V4L2_CID_BRIGHTNESS));
  EXPECT_EQ(UvcV4l2Transport::controlIdForSelector(0x03), uint32_t(V4L2_CID_CONTRAST));
  EXPECT_EQ(UvcV4l2Transport::controlIdForSelector(0x05), uint32_t(V4L2_CID_POWER_LINE_FREQUENCY));
  EXPECT_EQ(UvcV4l2Transport::controlIdForSelector(0x07), uint32_t(V4L2_CID_SATURATION));
  EXPECT_EQ(UvcV4l2Transport::controlIdForSelector(0x08), uint32_t(V4L2_CID_SHARPNESS));
  EXPECT_EQ(UvcV4l2Transport::controlIdForSelector(0x09), uint32_t(V4L2_CID_GAMMA));
  uint8_t b[2];
  EXPECT_EQ(get(0x81, 0x0400, 0x0200, b, 2), kUsbErrorNotSupported);  // no such control here
  EXPECT_TRUE(state->calls.empty());
}

TEST_F(UvcV4l2TransportTest, ProcessingUnitWritesSignExtendTheValue) {
  uint8_t b[2] = {0xFB, 0xFF};  // -5
  EXPECT_EQ(set(0x0200, 0x0200, b, 2), 2);
  ASSERT_EQ(state->calls.size(), 1u);
  EXPECT_EQ(state->calls[0].request, VIDIOC_S_CTRL);
  EXPECT_EQ(state->calls[0].value, -5);
  EXPECT_EQ(state->controls[V4L2_CID_BRIGHTNESS].value, -5);
}

TEST_F(UvcV4l2TransportTest, PowerLineFrequencyInEightBytesIsWrittenAtTheControlsOwnSize) {
  uint8_t b[8] = {2, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(set(0x0500, 0x0200, b, 8), 8);
  ASSERT_EQ(state->calls.size(), 1u);
  EXPECT_EQ(state->calls[0].request, VIDIOC_S_CTRL);
  EXPECT_EQ(state->calls[0].id, V4L2_CID_POWER_LINE_FREQUENCY);
  EXPECT_EQ(state->calls[0].value, 2);
  // A value no control can hold is refused, not cut down.
  uint8_t big[8] = {0, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(set(0x0500, 0x0200, big, 8), kUsbErrorInvalidParam);
  EXPECT_EQ(state->calls.size(), 1u);
  // A value out of the control's range comes back as the driver's refusal.
  uint8_t nine[8] = {9, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(set(0x0500, 0x0200, nine, 8), kUsbErrorInvalidParam);
}

TEST_F(UvcV4l2TransportTest, ADisabledControlHasNoRange) {
  state->controls[V4L2_CID_GAMMA].flags = V4L2_CTRL_FLAG_DISABLED;
  uint8_t b[2];
  EXPECT_EQ(get(0x83, 0x0900, 0x0200, b, 2), kUsbErrorNotSupported);
}

// ---- extension units ----

TEST_F(UvcV4l2TransportTest, ExtensionUnitsGoThroughTheQueryAtTheirLength) {
  uint8_t block[14] = {0x00, 0x0F, 0x38, 0x04};
  EXPECT_EQ(set(0x0400, 0x0300, block, 14), 14);
  uint8_t back[14] = {};
  EXPECT_EQ(get(0x81, 0x0400, 0x0300, back, 14), 14);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 14), std::vector<uint8_t>(block, block + 14));
  // GET_LEN once, then one query per request.
  ASSERT_EQ(state->calls.size(), 3u);
  EXPECT_EQ(state->calls[0].query, 0x85);
  EXPECT_EQ(state->calls[0].size, 2);
  EXPECT_EQ(state->calls[1].unit, 3);
  EXPECT_EQ(state->calls[1].selector, 4);
  EXPECT_EQ(state->calls[1].query, 0x01);
  EXPECT_EQ(state->calls[1].size, 14);
  EXPECT_EQ(state->calls[2].query, 0x81);

  uint8_t id[32];
  EXPECT_EQ(get(0x81, 0x1200, 0x0400, id, 32), 32);
  EXPECT_EQ(state->calls.back().unit, 4);
  EXPECT_EQ(id[31], 'X');
}

TEST_F(UvcV4l2TransportTest, AShortWriteIsZeroPaddedToTheControlsLength) {
  uint8_t mode = 1;  // update mode: one byte to the 60-byte status selector
  EXPECT_EQ(set(0x0600, 0x0300, &mode, 1), 1);
  const auto& written = (state->xu[{3, 0x06}].written);
  ASSERT_EQ(written.size(), 1u);
  ASSERT_EQ(written[0].size(), 60u);
  EXPECT_EQ(written[0][0], 1);
  for (size_t i = 1; i < 60; ++i) EXPECT_EQ(written[0][i], 0);
}

TEST_F(UvcV4l2TransportTest, ReadsAdaptToTheControlsLength) {
  state->xu[{3, 0x04}].current = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  uint8_t shortBlock[8] = {};
  EXPECT_EQ(get(0x81, 0x0400, 0x0300, shortBlock, 8), 8);  // the first 8 of the 14
  EXPECT_EQ(shortBlock[7], 8);
  EXPECT_EQ(state->calls.back().size, 14);

  // A control shorter than the request gives a short reply.
  state->xu[{3, 0x0B}] = {8, std::vector<uint8_t>(8, 0x11), {}};
  uint8_t doa[12] = {};
  EXPECT_EQ(get(0x81, 0x0B00, 0x0300, doa, 12), 8);
}

TEST_F(UvcV4l2TransportTest, ALongerWriteOnlyWhenTheTailIsZero) {
  state->xu[{3, 0x04}] = {8, std::vector<uint8_t>(8, 0), {}};
  uint8_t block[14] = {0x00, 0x0F, 0x38, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(set(0x0400, 0x0300, block, 14), 14);
  EXPECT_EQ((state->xu[{3, 0x04}].written.back().size()), 8u);
  block[12] = 1;
  size_t before = callsOf(UVCIOC_CTRL_QUERY, 0x01);
  EXPECT_EQ(set(0x0400, 0x0300, block, 14), kUsbErrorOverflow);
  EXPECT_EQ(callsOf(UVCIOC_CTRL_QUERY, 0x01), before);
}

TEST_F(UvcV4l2TransportTest, DriverErrorsBecomeTransportResults) {
  uint8_t b[14];
  EXPECT_EQ(get(0x81, 0x0900, 0x0300, b, 14), kUsbErrorNotFound);  // no such selector
  struct {
    int error;
    int result;
  } cases[] = {{EPIPE, kUsbErrorPipe},          {ETIMEDOUT, kUsbErrorTimeout},
               {ENODEV, kUsbErrorNoDevice},     {EACCES, kUsbErrorAccess},
               {EBUSY, kUsbErrorBusy},          {EIO, kUsbErrorIo},
               {ENOBUFS, kUsbErrorOverflow},    {EPROTO, kUsbErrorIo},
               {ENOTTY, kUsbErrorNotSupported}, {EBADRQC, kUsbErrorNotSupported},
               {EXDEV, kUsbErrorOther}};
  for (auto c : cases) {
    SCOPED_TRACE(c.error);
    state->failWith = c.error;
    EXPECT_EQ(get(0x81, 0x0400, 0x0300, b, 14), c.result);
    EXPECT_EQ(get(0x81, 0x0200, 0x0200, b, 2), c.result);
  }
}

TEST_F(UvcV4l2TransportTest, RequestsTheDriverCannotCarryAreRefused) {
  uint8_t b[8];
  EXPECT_EQ(transport->controlTransfer(0xC0, 0, 0xE0, 0x13, b, 8, 1000), kUsbErrorNotSupported);
  EXPECT_EQ(transport->controlTransfer(0x21, 0x81, 0x0400, 0x0300, b, 8, 1000),
            kUsbErrorInvalidParam);  // GET_CUR with a host-to-device type
  EXPECT_EQ(transport->controlTransfer(0xA1, 0x81, 0x0200, 0x0200, b, 9, 1000),
            kUsbErrorInvalidParam);
  EXPECT_TRUE(state->calls.empty());
}

// USBManager runs over the V4L2 route unchanged.
TEST_F(UvcV4l2TransportTest, UsbManagerOverTheDriver) {
  class Fixed : public UsbConnector {
   public:
    explicit Fixed(std::shared_ptr<UsbTransport> t) : t_(std::move(t)) {}
    UsbOpenResult open(uint16_t, uint16_t) override { return {0, t_}; }

   private:
    std::shared_ptr<UsbTransport> t_;
  };
  std::shared_ptr<UsbTransport> shared = std::move(transport);
  platform::SerialQueue queue("v4l2-test");
  USBManager manager(std::make_shared<Fixed>(shared), &queue, &platform::MainQueue::shared());
  ASSERT_EQ(manager.openUSBFromVID(1, 2), 0);
  std::vector<double> got;
  manager.getBrightness([&](double c, double mn, double mx) { got = {c, mn, mx}; });
  EXPECT_EQ(got, (std::vector<double>{-7, -64, 64}));
  std::optional<bool> done;
  manager.setBrightness(1.0, [&](bool ok) { done = ok; });
  manager.setFlicker(2, nullptr);
  queue.drain();
  platform::MainQueue::shared().drain();
  EXPECT_EQ(done, true);
  EXPECT_EQ(state->controls[V4L2_CID_BRIGHTNESS].value, 64);
  EXPECT_EQ(state->controls[V4L2_CID_POWER_LINE_FREQUENCY].value, 2);
}
