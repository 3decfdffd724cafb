#pragma once

#include <QImage>
#include <functional>
#include <string>
#include <vector>

namespace testmedia {

// Video files written with FFmpeg's own encoders, for the player to read back.
struct VideoSpec {
  std::string path;
  std::string encoder = "libx264";  // or "mjpeg"
  int width = 320;
  int height = 240;
  int fps = 10;
  int frames = 15;
  int gop = 5;
  int bframes = 0;
  bool audioFirst = false;  // an AAC track as the file's first stream
  bool faststart = false;   // the index at the front (MP4)
  bool audioOnly = false;
  double stampOffset = 0;  // seconds added to every time stamp the file holds
};

// Frame `index` of a clip: the photograph with a black band on top holding a white marker at
// column 16 * index, and a bottom band half white, half black.
QImage markedFrame(const QImage& photo, int width, int height, int index);
// The marker's index found in a decoded NV12 frame's luma; -1 when none is clear.
int markerIndex(const uint8_t* luma, size_t bytesPerRow, int width);

// The photograph at assets/photos/<name>, or an empty image.
QImage photo(const std::string& name);

bool writeVideo(const VideoSpec& spec, const std::function<QImage(int)>& frame, std::string& error);
// The files' bytes one after the other into `path`, as recordings of a stream are cut together.
bool concatenate(const std::vector<std::string>& parts, const std::string& path);

}  // namespace testmedia
