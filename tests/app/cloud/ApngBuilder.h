#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <array>
#include <cstdint>
#include <vector>

namespace corvane {

// Writes animated PNG files for the tests: each frame is saved by Qt as a PNG of its own, and
// its image data goes into the animation's frame chunks.
struct ApngBuilder {
  struct Frame {
    QImage image;
    int x = 0, y = 0;
    uint16_t delayNum = 10, delayDen = 100;
    uint8_t dispose = 0, blend = 0;
  };
  int width = 0, height = 0;
  uint32_t plays = 0;
  bool defaultImageIsFirstFrame = true;
  std::vector<Frame> frames;

  static uint32_t crc(const QByteArray& bytes) {
    uint32_t c = 0xffffffffu;
    for (unsigned char b : bytes) {
      c ^= b;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
  }
  static void u32(QByteArray& out, uint32_t v) {
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
  }
  static void u16(QByteArray& out, uint16_t v) { out.append(char(v >> 8)).append(char(v)); }
  static void chunk(QByteArray& out, const char* type, const QByteArray& data) {
    u32(out, static_cast<uint32_t>(data.size()));
    QByteArray typed = QByteArray(type, 4) + data;
    out.append(typed);
    u32(out, crc(typed));
  }
  static QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return bytes;
  }
  // The concatenated IDAT contents and the IHDR of a PNG.
  static std::pair<QByteArray, QByteArray> pieces(const QByteArray& file) {
    QByteArray header, data;
    for (qsizetype at = 8; at + 12 <= file.size();) {
      uint32_t length = (uint8_t(file[at]) << 24) | (uint8_t(file[at + 1]) << 16) |
                        (uint8_t(file[at + 2]) << 8) | uint8_t(file[at + 3]);
      QByteArray type = file.mid(at + 4, 4);
      QByteArray body = file.mid(at + 8, length);
      if (type == "IHDR") header = body;
      if (type == "IDAT") data += body;
      at += 12 + length;
    }
    return {header, data};
  }

  QByteArray build() const {
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QImage canvas(width, height, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QByteArray header = pieces(png(canvas)).first;
    chunk(out, "IHDR", header);
    QByteArray actl;
    u32(actl, static_cast<uint32_t>(frames.size()));
    u32(actl, plays);
    chunk(out, "acTL", actl);
    uint32_t sequence = 0;
    if (!defaultImageIsFirstFrame) chunk(out, "IDAT", pieces(png(canvas)).second);
    for (size_t i = 0; i < frames.size(); ++i) {
      const Frame& f = frames[i];
      QByteArray fctl;
      u32(fctl, sequence++);
      u32(fctl, static_cast<uint32_t>(f.image.width()));
      u32(fctl, static_cast<uint32_t>(f.image.height()));
      u32(fctl, static_cast<uint32_t>(f.x));
      u32(fctl, static_cast<uint32_t>(f.y));
      u16(fctl, f.delayNum);
      u16(fctl, f.delayDen);
      fctl.append(char(f.dispose)).append(char(f.blend));
      chunk(out, "fcTL", fctl);
      QByteArray data = pieces(png(f.image)).second;
      if (i == 0 && defaultImageIsFirstFrame) {
        chunk(out, "IDAT", data);
      } else {
        QByteArray fdat;
        u32(fdat, sequence++);
        chunk(out, "fdAT", fdat + data);
      }
    }
    chunk(out, "IEND", {});
    return out;
  }
};

inline QImage filled(int w, int h, QColor color) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(color);
  return image;
}

}  // namespace corvane
