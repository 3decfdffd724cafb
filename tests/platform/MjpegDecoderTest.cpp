#include <gtest/gtest.h>
#include <libyuv.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestPictures.h"
#include "capture/MjpegDecoder.h"
#include "video/PixelBuffer.h"

using platform::MjpegDecoder;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;
using testsupport::JpegSampling;

namespace {

PixelBufferRef nv12(int w, int h, size_t rowAlignment = 1) {
  PixelBuffer::Options options;
  options.rowAlignment = rowAlignment;
  return PixelBuffer::create(w, h, PixelFormat::NV12FullRange, options);
}

// The largest difference between two NV12 pictures' samples, over each plane's width only.
int largestDifference(const PixelBuffer& a, const PixelBuffer& b) {
  int most = 0;
  for (size_t p = 0; p < 2; ++p) {
    const size_t rowBytes = p == 0 ? size_t(a.width()) : size_t(a.planeWidth(1)) * 2;
    for (int y = 0; y < a.planeHeight(p); ++y) {
      const uint8_t* ra = a.baseAddress(p) + size_t(y) * a.bytesPerRow(p);
      const uint8_t* rb = b.baseAddress(p) + size_t(y) * b.bytesPerRow(p);
      for (size_t x = 0; x < rowBytes; ++x) most = std::max(most, std::abs(ra[x] - rb[x]));
    }
  }
  return most;
}

// What libyuv's MJPGToNV12 makes of the frame: the picture the capture layer delivered before.
PixelBufferRef libyuvPicture(const std::vector<uint8_t>& jpeg, int w, int h) {
  auto frame = nv12(w, h);
  EXPECT_EQ(libyuv::MJPGToNV12(jpeg.data(), jpeg.size(), frame->baseAddress(0),
                               int(frame->bytesPerRow(0)), frame->baseAddress(1),
                               int(frame->bytesPerRow(1)), w, h, w, h),
            0);
  return frame;
}

std::vector<uint8_t> photoJpeg(int w, int h, JpegSampling sampling, int photo = 2) {
  return testsupport::encodeJpeg(
      testsupport::fit(testsupport::loadJpeg(testsupport::photoPath(photo)), w, h), 85, sampling);
}

}  // namespace

TEST(MjpegDecoder, ChoosesItsRoadBySampling) {
  using Road = MjpegDecoder::Road;
  struct Case {
    const char* what;
    MjpegDecoder::Sampling sampling;
    Road road;
  };
  const Case cases[] = {
      {"4:2:2", {3, true, {2, 1, 1}, {1, 1, 1}}, Road::halvedChroma},
      {"4:2:0", {3, true, {2, 1, 1}, {2, 1, 1}}, Road::chroma},
      {"4:4:4", {3, true, {1, 1, 1}, {1, 1, 1}}, Road::libyuv},
      {"4:4:0", {3, true, {1, 1, 1}, {2, 1, 1}}, Road::libyuv},
      {"4:1:1", {3, true, {4, 1, 1}, {1, 1, 1}}, Road::libyuv},
      {"luma 2x4", {3, true, {2, 1, 1}, {4, 1, 1}}, Road::libyuv},
      {"chroma of two samplings", {3, true, {2, 2, 1}, {1, 1, 1}}, Road::libyuv},
      {"chroma sampled twice vertically", {3, true, {2, 1, 1}, {2, 2, 1}}, Road::libyuv},
      {"grey", {1, false, {1, 0, 0}, {1, 0, 0}}, Road::libyuv},
      {"RGB stored as 4:2:2", {3, false, {2, 1, 1}, {1, 1, 1}}, Road::libyuv},
      {"four components", {4, false, {2, 1, 1}, {1, 1, 1}}, Road::libyuv},
  };
  for (const auto& c : cases) EXPECT_EQ(MjpegDecoder::roadFor(c.sampling), c.road) << c.what;
}

// Every sampling and size gives libyuv's picture: the bands' in-place luma, their scratch rows
// where the block padding does not fit or the picture's bottom cuts a band, the chroma halving.
TEST(MjpegDecoder, DecodesThePictureLibyuvMadeForEverySamplingAndSize) {
  struct Case {
    JpegSampling sampling;
    int width, height;
    size_t rowAlignment;
  };
  const Case cases[] = {
      {JpegSampling::s422, 4992, 1248, 1},  // the camera's own size
      {JpegSampling::s422, 3840, 1080, 1},
      {JpegSampling::s420, 3840, 1080, 1},  // 4:2:0 bands of 16 rows: the last one cut
      {JpegSampling::s422, 1366, 768, 1},   // rows narrower than their block padding
      {JpegSampling::s420, 1366, 768, 1},
      {JpegSampling::s422, 1366, 768, 64},  // padded rows hold the blocks' padding
      {JpegSampling::s422, 64, 36, 1},      // a band cut by the bottom
      {JpegSampling::s420, 64, 36, 1},
      {JpegSampling::s422, 48, 2, 1},  // a picture lower than one band
      {JpegSampling::s420, 48, 2, 1},
      {JpegSampling::s444, 640, 360, 1},  // libyuv's own road
      {JpegSampling::s440, 640, 360, 1},  // not one libyuv takes: refused by both
      {JpegSampling::grey, 640, 360, 1},
  };
  MjpegDecoder decoder;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " sampling " +
                 std::to_string(int(c.sampling)) + " alignment " + std::to_string(c.rowAlignment));
    auto jpeg = photoJpeg(c.width, c.height, c.sampling);
    ASSERT_FALSE(jpeg.empty());
    auto frame = nv12(c.width, c.height, c.rowAlignment);
    auto status = decoder.decode(jpeg.data(), jpeg.size(), *frame);
    auto reference = nv12(c.width, c.height);
    bool libyuvTakes = libyuv::MJPGToNV12(jpeg.data(), jpeg.size(), reference->baseAddress(0),
                                          int(reference->bytesPerRow(0)), reference->baseAddress(1),
                                          int(reference->bytesPerRow(1)), c.width, c.height,
                                          c.width, c.height) == 0;
    if (!libyuvTakes) {
      EXPECT_EQ(status, MjpegDecoder::Status::corrupt);
      continue;
    }
    ASSERT_EQ(status, MjpegDecoder::Status::decoded);
    EXPECT_EQ(decoder.width(), c.width);
    EXPECT_EQ(decoder.height(), c.height);
    EXPECT_EQ(largestDifference(*frame, *reference), 0);
  }
}

TEST(MjpegDecoder, RefusesBrokenFramesAndGoesOnDecoding) {
  const auto good = photoJpeg(320, 180, JpegSampling::s422);
  const auto other = photoJpeg(640, 360, JpegSampling::s422);
  std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() / 2));
  std::vector<uint8_t> noise(4096, 0x5A);
  noise[noise.size() - 2] = 0xFF;
  noise.back() = 0xD9;
  // A whole header, then the scan's data cut short and the end marker set right after it.
  std::vector<uint8_t> shortScan(good.begin(), good.begin() + long(good.size() / 3));
  shortScan.push_back(0xFF);
  shortScan.push_back(0xD9);
  std::vector<uint8_t> noFrameHeader = good;
  // The start-of-frame marker (FF C0) made an unknown APP marker: no frame header is left.
  for (size_t i = 2; i + 1 < noFrameHeader.size(); ++i)
    if (noFrameHeader[i] == 0xFF && noFrameHeader[i + 1] == 0xC0) {
      noFrameHeader[i + 1] = 0xEF;
      break;
    }

  struct Case {
    const char* what;
    const std::vector<uint8_t>* bytes;
    MjpegDecoder::Status status;
    int width, height;
  };
  const std::vector<uint8_t> empty;
  const Case cases[] = {
      {"no bytes", &empty, MjpegDecoder::Status::corrupt, 0, 0},
      {"cut in transfer", &cut, MjpegDecoder::Status::corrupt, 0, 0},
      {"not a JPEG", &noise, MjpegDecoder::Status::corrupt, 0, 0},
      {"no frame header", &noFrameHeader, MjpegDecoder::Status::corrupt, 0, 0},
      {"another size", &other, MjpegDecoder::Status::otherSize, 640, 360},
  };
  MjpegDecoder decoder;
  const auto reference = libyuvPicture(good, 320, 180);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto frame = nv12(320, 180);
    EXPECT_EQ(decoder.decode(c.bytes->data(), c.bytes->size(), *frame), c.status);
    EXPECT_EQ(decoder.width(), c.width);
    EXPECT_EQ(decoder.height(), c.height);
    // The decoder's state is whole again for the next frame.
    ASSERT_EQ(decoder.decode(good.data(), good.size(), *frame), MjpegDecoder::Status::decoded);
    EXPECT_EQ(largestDifference(*frame, *reference), 0);
  }
  // A scan cut short ends early (libjpeg pads what is missing) or is refused; never a crash,
  // and the next frame decodes whole.
  auto frame = nv12(320, 180);
  decoder.decode(shortScan.data(), shortScan.size(), *frame);
  ASSERT_EQ(decoder.decode(good.data(), good.size(), *frame), MjpegDecoder::Status::decoded);
  EXPECT_EQ(largestDifference(*frame, *reference), 0);
  // A destination that is not NV12 is never written.
  auto bgra = PixelBuffer::create(320, 180, PixelFormat::BGRA);
  EXPECT_EQ(decoder.decode(good.data(), good.size(), *bgra), MjpegDecoder::Status::corrupt);
}
