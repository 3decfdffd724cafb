#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// An RGB picture in memory, 3 bytes per pixel, rows packed.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// The path of one of the test photographs (sample1.jpg ... sample6.jpg).
std::string photoPath(int index);
// Decodes a JPEG file; an empty picture when it cannot be read.
RgbPicture loadJpeg(const std::string& path);
// The picture scaled (nearest neighbour) to cover w x h, centre-cropped.
RgbPicture fit(const RgbPicture& picture, int width, int height);
// How a JPEG's chroma is sampled (luma width x height per chroma sample).
enum class JpegSampling { s444, s422, s420, s440, grey };
// JPEG bytes of the picture, 4:2:2 as cameras send MJPEG unless told otherwise.
std::vector<uint8_t> encodeJpeg(const RgbPicture& picture, int quality = 85,
                                JpegSampling sampling = JpegSampling::s422);
// A camera's MJPEG frame made from a test photograph.
std::vector<uint8_t> mjpegFrame(int photo, int width, int height);

}  // namespace testsupport
