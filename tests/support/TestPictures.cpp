#include "TestPictures.h"

#include <turbojpeg.h>

#include <fstream>
#include <iterator>

namespace testsupport {

std::string photoPath(int index) {
  return std::string(CORVANE_ASSETS_DIR) + "/photos/sample" + std::to_string(index) + ".jpg";
}

RgbPicture loadJpeg(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  RgbPicture pic;
  if (bytes.empty()) return pic;
  tjhandle h = tjInitDecompress();
  int w = 0, hgt = 0, sub = 0, cs = 0;
  if (tjDecompressHeader3(h, bytes.data(), bytes.size(), &w, &hgt, &sub, &cs) == 0) {
    pic.pixels.resize(size_t(w) * hgt * 3);
    if (tjDecompress2(h, bytes.data(), bytes.size(), pic.pixels.data(), w, 0, hgt, TJPF_RGB, 0) ==
        0) {
      pic.width = w;
      pic.height = hgt;
    } else {
      pic.pixels.clear();
    }
  }
  tjDestroy(h);
  return pic;
}

RgbPicture fit(const RgbPicture& src, int width, int height) {
  RgbPicture out;
  if (src.width == 0) return out;
  out.width = width;
  out.height = height;
  out.pixels.resize(size_t(width) * height * 3);
  double scale = std::max(double(width) / src.width, double(height) / src.height);
  double ox = (src.width * scale - width) / 2, oy = (src.height * scale - height) / 2;
  for (int y = 0; y < height; ++y) {
    int sy = std::min(src.height - 1, int((y + oy) / scale));
    for (int x = 0; x < width; ++x) {
      int sx = std::min(src.width - 1, int((x + ox) / scale));
      const uint8_t* s = &src.pixels[(size_t(sy) * src.width + sx) * 3];
      uint8_t* d = &out.pixels[(size_t(y) * width + x) * 3];
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  }
  return out;
}

std::vector<uint8_t> encodeJpeg(const RgbPicture& pic, int quality, JpegSampling sampling) {
  const int tjSampling = sampling == JpegSampling::s444   ? TJSAMP_444
                         : sampling == JpegSampling::s420 ? TJSAMP_420
                         : sampling == JpegSampling::s440 ? TJSAMP_440
                         : sampling == JpegSampling::grey ? TJSAMP_GRAY
                                                          : TJSAMP_422;
  tjhandle h = tjInitCompress();
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  if (tjCompress2(h, pic.pixels.data(), pic.width, 0, pic.height, TJPF_RGB, &buf, &size, tjSampling,
                  quality, 0) == 0) {
    out.assign(buf, buf + size);
  }
  tjFree(buf);
  tjDestroy(h);
  return out;
}

std::vector<uint8_t> mjpegFrame(int photo, int width, int height) {
  return encodeJpeg(fit(loadJpeg(photoPath(photo)), width, height));
}

}  // namespace testsupport
