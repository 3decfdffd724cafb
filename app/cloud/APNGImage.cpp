#include "cloud/APNGImage.h"

#include <QPainter>
#include <array>
#include <cstring>
#include <string>

namespace corvane {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr size_t kSignatureSize = 8;

uint32_t crc32(const char* bytes, size_t size, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i)
    crc = table[(crc ^ static_cast<uint8_t>(bytes[i])) & 0xff] ^ (crc >> 8);
  return ~crc;
}

uint32_t readU32(const char* p) {
  auto b = reinterpret_cast<const uint8_t*>(p);
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

uint16_t readU16(const char* p) {
  auto b = reinterpret_cast<const uint8_t*>(p);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

void appendU32(QByteArray& out, uint32_t v) {
  char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  out.append(b, 4);
}

void appendChunk(QByteArray& out, const char* type, const QByteArray& data) {
  appendU32(out, static_cast<uint32_t>(data.size()));
  QByteArray typed(type, 4);
  typed.append(data);
  out.append(typed);
  appendU32(out, crc32(typed.constData(), static_cast<size_t>(typed.size())));
}

struct Chunk {
  std::string type;
  QByteArray data;
};

struct FrameControl {
  uint32_t width = 0, height = 0, x = 0, y = 0;
  uint16_t delayNum = 0, delayDen = 0;
  uint8_t dispose = 0, blend = 0;
  QByteArray data;  // the frame's compressed image data (IDAT or fdAT contents)
};

bool fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

}  // namespace

std::optional<APNGImage> APNGImage::decode(const QByteArray& data, double scale,
                                           std::string* error) {
  auto bad = [&](const std::string& message) {
    fail(error, message);
    return std::nullopt;
  };
  if (data.size() < static_cast<qsizetype>(kSignatureSize) ||
      std::memcmp(data.constData(), kSignature, kSignatureSize) != 0)
    return bad("not PNG data");

  std::vector<Chunk> chunks;
  for (qsizetype at = kSignatureSize; at < data.size();) {
    if (data.size() - at < 12) return bad("a chunk is cut short");
    uint32_t length = readU32(data.constData() + at);
    if (length > 0x7fffffffu || static_cast<qsizetype>(length) > data.size() - at - 12)
      return bad("a chunk is cut short");
    const char* type = data.constData() + at + 4;
    uint32_t stored = readU32(type + 4 + length);
    if (crc32(type, 4 + length) != stored) return bad("a chunk's checksum is wrong");
    chunks.push_back({std::string(type, 4), QByteArray(type + 4, length)});
    at += 12 + length;
    if (chunks.back().type == "IEND") break;
  }
  if (chunks.empty() || chunks.front().type != "IHDR" || chunks.front().data.size() != 13)
    return bad("no image header");

  APNGImage image;
  const QByteArray& header = chunks.front().data;
  image.size_ = QSize(static_cast<int>(readU32(header.constData())),
                      static_cast<int>(readU32(header.constData() + 4)));
  if (image.size_.isEmpty() || image.size_.width() < 0 || image.size_.height() < 0)
    return bad("unusable image size");
  if (image.size_.width() > kMaxSide || image.size_.height() > kMaxSide)
    return bad("the picture is larger than " + std::to_string(kMaxSide) + " x " +
               std::to_string(kMaxSide));

  bool animated = false;
  uint32_t frameCount = 0;
  std::vector<Chunk> shared;  // PLTE, tRNS, gAMA and the like: every frame needs them
  std::vector<FrameControl> frames;
  bool seenImageData = false;
  bool defaultIsFrame = false;
  for (const auto& chunk : chunks) {
    const std::string& type = chunk.type;
    if (type == "acTL" && chunk.data.size() == 8) {
      animated = true;
      frameCount = readU32(chunk.data.constData());
      image.plays_ = readU32(chunk.data.constData() + 4);
    } else if (type == "fcTL") {
      if (chunk.data.size() != 26) return bad("a frame control is malformed");
      const char* d = chunk.data.constData();
      FrameControl control;
      control.width = readU32(d + 4);
      control.height = readU32(d + 8);
      control.x = readU32(d + 12);
      control.y = readU32(d + 16);
      control.delayNum = readU16(d + 20);
      control.delayDen = readU16(d + 22);
      control.dispose = static_cast<uint8_t>(d[24]);
      control.blend = static_cast<uint8_t>(d[25]);
      if (control.width == 0 || control.height == 0 ||
          uint64_t(control.x) + control.width > uint64_t(image.size_.width()) ||
          uint64_t(control.y) + control.height > uint64_t(image.size_.height()))
        return bad("a frame lies outside the image");
      if (!seenImageData) defaultIsFrame = true;
      frames.push_back(std::move(control));
    } else if (type == "IDAT") {
      seenImageData = true;
      if (defaultIsFrame && !frames.empty()) frames.back().data.append(chunk.data);
    } else if (type == "fdAT") {
      if (frames.empty() || chunk.data.size() < 4) return bad("frame data without a frame");
      frames.back().data.append(chunk.data.mid(4));
    } else if (type != "IHDR" && type != "IEND" && !seenImageData) {
      shared.push_back(chunk);
    }
  }
  if (!seenImageData) return bad("no image data");

  auto standalone = [&](uint32_t width, uint32_t height, const QByteArray& pixels) {
    QByteArray png(kSignature, kSignatureSize);
    QByteArray ihdr = header;
    char size[8] = {char(width >> 24),  char(width >> 16),  char(width >> 8),  char(width),
                    char(height >> 24), char(height >> 16), char(height >> 8), char(height)};
    std::memcpy(ihdr.data(), size, 8);
    appendChunk(png, "IHDR", ihdr);
    for (const auto& chunk : shared) appendChunk(png, chunk.type.c_str(), chunk.data);
    appendChunk(png, "IDAT", pixels);
    appendChunk(png, "IEND", {});
    return QImage::fromData(png, "PNG");
  };

  if (!animated || frames.empty()) {
    QImage still = QImage::fromData(data, "PNG");
    if (still.isNull()) return bad("the picture cannot be read");
    still.setDevicePixelRatio(scale);
    image.frames_.push_back({still, std::chrono::milliseconds(0)});
    return image;
  }
  if (frameCount != 0 && frames.size() > frameCount) frames.resize(frameCount);
  uint64_t frameBytes = uint64_t(image.size_.width()) * uint64_t(image.size_.height()) * 4;
  if (frames.size() > kMaxFrames) {
    return bad("the animation has more than " + std::to_string(kMaxFrames) + " frames");
  }
  if (frameBytes * frames.size() > kMaxDecodedBytes) {
    return bad("the animation would take more than " + std::to_string(kMaxDecodedBytes >> 20) +
               " MiB decoded");
  }

  QImage canvas(image.size_, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  for (size_t i = 0; i < frames.size(); ++i) {
    FrameControl& control = frames[i];
    // "Previous" has nothing to go back to on the first frame: it clears instead.
    if (i == 0 && control.dispose == 2) control.dispose = 1;
    if (control.data.isEmpty()) return bad("frame " + std::to_string(i) + " has no data");
    QImage part = standalone(control.width, control.height, control.data);
    if (part.isNull()) return bad("frame " + std::to_string(i) + " cannot be read");
    QRect area(static_cast<int>(control.x), static_cast<int>(control.y),
               static_cast<int>(control.width), static_cast<int>(control.height));
    QImage before = control.dispose == 2 ? canvas.copy() : QImage();
    {
      QPainter painter(&canvas);
      // Blend 0 replaces the area, transparency included; 1 draws over what is there.
      painter.setCompositionMode(control.blend == 0 ? QPainter::CompositionMode_Source
                                                    : QPainter::CompositionMode_SourceOver);
      painter.drawImage(area.topLeft(), part);
    }
    Frame frame;
    frame.image = canvas.copy();
    frame.image.setDevicePixelRatio(scale);
    int den = control.delayDen == 0 ? 100 : control.delayDen;
    frame.duration = std::chrono::milliseconds(1000 * control.delayNum / den);
    image.frames_.push_back(std::move(frame));
    if (control.dispose == 1) {
      QPainter painter(&canvas);
      painter.setCompositionMode(QPainter::CompositionMode_Source);
      painter.fillRect(area, Qt::transparent);
    } else if (control.dispose == 2) {
      canvas = before;
    }
  }
  return image;
}

}  // namespace corvane
