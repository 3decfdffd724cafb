// Advertisement pictures from the network: any bytes decode into a bounded picture or an error.
#include <QByteArray>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "cloud/APNGImage.h"

using corvane::APNGImage;

namespace {

uint32_t crc32(const char* bytes, size_t size) {
  uint32_t c = 0xffffffffu;
  for (size_t i = 0; i < size; ++i) {
    c ^= static_cast<uint8_t>(bytes[i]);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
  }
  return ~c;
}

// Mutated chunks would almost all fail their checksum and never reach the decoder: renew the
// checksum of every whole chunk (a file whose checksums are wrong is tried as it came, too).
QByteArray withChecksums(QByteArray bytes) {
  for (qsizetype at = 8; at + 12 <= bytes.size();) {
    auto* p = reinterpret_cast<const uint8_t*>(bytes.constData() + at);
    uint32_t length =
        (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    if (length > uint32_t(bytes.size() - at - 12)) break;
    uint32_t crc = crc32(bytes.constData() + at + 4, 4 + length);
    char* out = bytes.data() + at + 8 + length;
    out[0] = char(crc >> 24), out[1] = char(crc >> 16), out[2] = char(crc >> 8), out[3] = char(crc);
    at += 12 + qsizetype(length);
  }
  return bytes;
}

void check(const QByteArray& bytes) {
  std::string error;
  auto image = APNGImage::decode(bytes, 1.0, &error);
  if (!image) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  FUZZ_CHECK(!image->frames().empty());
  FUZZ_CHECK(image->frames().size() <= APNGImage::kMaxFrames);
  FUZZ_CHECK(image->size().width() <= APNGImage::kMaxSide);
  FUZZ_CHECK(image->size().height() <= APNGImage::kMaxSide);
  uint64_t bytesDecoded = 0;
  for (const auto& frame : image->frames()) {
    FUZZ_CHECK(!frame.image.isNull());
    FUZZ_CHECK(frame.duration.count() >= 0);
    bytesDecoded += uint64_t(frame.image.sizeInBytes());
  }
  if (image->isAnimated()) FUZZ_CHECK(bytesDecoded <= APNGImage::kMaxDecodedBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  check(bytes);
  check(withChecksums(bytes));
  return 0;
}
