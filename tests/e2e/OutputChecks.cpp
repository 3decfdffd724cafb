#include "OutputChecks.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <set>
#include <tuple>

#include "selvo/BlazeFaceModel.h"

namespace e2e {

Placement Placement::load(const std::string& path, std::string* error) {
  Placement p;
  std::ifstream in(path);
  if (!in) {
    if (error) *error = "no " + path + " (scripts/make-demo-clip writes it)";
    return p;
  }
  nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_discarded() || !j.contains("photos")) {
    if (error) *error = "unreadable " + path;
    return p;
  }
  p.width = j.value("width", 0);
  p.height = j.value("height", 0);
  p.scrollPixelsPerFrame = j.value("scrollPixelsPerFrame", 0.0);
  for (const auto& e : j["photos"]) {
    Photo photo;
    photo.file = e.value("file", "");
    photo.x = e.value("x", 0);
    photo.y = e.value("y", 0);
    photo.width = e.value("width", 0);
    photo.height = e.value("height", 0);
    photo.photoWidth = e.value("photoWidth", 0);
    photo.photoHeight = e.value("photoHeight", 0);
    p.photos.push_back(photo);
  }
  return p;
}

std::vector<Person> labelledPeople(const Placement& placement, const std::string& faceBoxesPath) {
  std::vector<Person> people;
  std::ifstream in(faceBoxesPath);
  nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_discarded() || !j.contains("photos")) return people;
  for (const auto& photo : placement.photos) {
    if (!j["photos"].contains(photo.file) || photo.photoWidth <= 0 || photo.photoHeight <= 0)
      continue;
    const double sx = double(photo.width) / photo.photoWidth;
    const double sy = double(photo.height) / photo.photoHeight;
    for (const auto& b : j["photos"][photo.file]) {
      cv::Rect2d face(photo.x + b[0].get<double>() * sx, photo.y + b[1].get<double>() * sy,
                      b[2].get<double>() * sx, b[3].get<double>() * sy);
      if (face.x + face.width <= placement.width) people.push_back({photo.file, face});
    }
  }
  return people;
}

cv::Mat unturnedPanorama(const Placement& placement, const std::string& photosDir) {
  cv::Mat panorama(placement.height, placement.width, CV_8UC3, cv::Scalar::all(0));
  for (const auto& photo : placement.photos) {
    cv::Mat image = cv::imread(photosDir + "/" + photo.file, cv::IMREAD_COLOR);
    if (image.empty()) return {};
    cv::Mat scaled;
    cv::resize(image, scaled, cv::Size(photo.width, photo.height), 0, 0, cv::INTER_AREA);
    const int w = std::min(photo.width, placement.width - photo.x);
    if (w <= 0) continue;
    scaled(cv::Rect(0, 0, w, photo.height))
        .copyTo(panorama(cv::Rect(photo.x, photo.y, w, photo.height)));
  }
  return panorama;
}

namespace {

cv::Mat grey(const cv::Mat& picture) {
  cv::Mat g;
  if (picture.channels() == 4)
    cv::cvtColor(picture, g, cv::COLOR_BGRA2GRAY);
  else if (picture.channels() == 3)
    cv::cvtColor(picture, g, cv::COLOR_BGR2GRAY);
  else
    g = picture;
  return g;
}

cv::Mat bgr(const cv::Mat& picture) {
  if (picture.channels() == 3) return picture;
  cv::Mat out;
  cv::cvtColor(picture, out, cv::COLOR_BGRA2BGR);
  return out;
}

}  // namespace

int measureTurn(const cv::Mat& frame, const cv::Mat& unturned) {
  // Coarse: the whole frame, a quarter of the size, against the unturned panorama twice over.
  constexpr int kStep = 4;
  cv::Mat f, u;
  cv::resize(grey(frame), f, cv::Size(frame.cols / kStep, frame.rows / kStep), 0, 0,
             cv::INTER_AREA);
  cv::resize(grey(unturned), u, f.size(), 0, 0, cv::INTER_AREA);
  cv::Mat twice;
  cv::hconcat(u, u, twice);
  cv::Mat score;
  cv::matchTemplate(twice, f, score, cv::TM_CCOEFF_NORMED);
  cv::Point best;
  cv::minMaxLoc(score, nullptr, nullptr, nullptr, &best);
  // Fine: full size, a band of rows, around the coarse answer.
  const int width = frame.cols;
  cv::Mat fg = grey(frame), ug = grey(unturned);
  cv::Mat ugTwice;
  cv::hconcat(ug, ug, ugTwice);
  const cv::Rect band(0, frame.rows / 4, width, frame.rows / 2);
  double bestDifference = 1e18;
  int bestTurn = 0;
  for (int d = -kStep * 2; d <= kStep * 2; ++d) {
    int turn = ((best.x * kStep + d) % width + width) % width;
    cv::Mat shifted = ugTwice(cv::Rect(turn, band.y, width, band.height));
    double difference = cv::norm(fg(band), shifted, cv::NORM_L1);
    if (difference < bestDifference) {
      bestDifference = difference;
      bestTurn = turn;
    }
  }
  return bestTurn;
}

cv::Rect2d turned(const cv::Rect2d& face, int turn, int width) {
  double x = std::fmod(face.x - turn, double(width));
  if (x < 0) x += width;
  return {x, face.y, face.width, face.height};
}

cv::Rect2d headAndShoulders(const cv::Rect2d& face) {
  return {face.x - 0.3 * face.width, face.y - 0.25 * face.height, 1.6 * face.width,
          2.0 * face.height};
}

bool holds(const corvane::LayoutRect& src, const cv::Rect2d& box, int width, double slack) {
  for (int k = -1; k <= 1; ++k) {
    double x = box.x + k * width;
    if (x >= src.x - slack && x + box.width <= src.x + src.width + slack &&
        box.y >= src.y - slack && box.y + box.height <= src.y + src.height + slack)
      return true;
  }
  return false;
}

std::vector<size_t> unfoundPeople(const std::vector<cv::Rect2d>& faces,
                                  const std::vector<cv::Rect2d>& found, int width, double near) {
  // Horizontal distance from the box's centre to the face's centre when the box claims the face,
  // a negative value when it does not.
  auto reach = [width, near](const cv::Rect2d& box, const cv::Rect2d& face) {
    const cv::Point2d c(face.x + face.width / 2, face.y + face.height / 2);
    const bool edge = box.x <= 0 || box.x + box.width >= width;
    double best = -1;
    for (int k = -1; k <= 1; ++k) {
      const cv::Rect2d moved(box.x + k * width, box.y, box.width, box.height);
      if (!moved.contains(c)) continue;
      const double d = std::abs(moved.x + moved.width / 2 - c.x);
      if (!edge && d > near * face.width) continue;
      if (best < 0 || d < best) best = d;
    }
    return best;
  };
  // Pairs of (distance, face, box), nearest first, handed out one box to one face.
  std::vector<std::tuple<double, size_t, size_t>> pairs;
  for (size_t f = 0; f < faces.size(); ++f)
    for (size_t b = 0; b < found.size(); ++b)
      if (double d = reach(found[b], faces[f]); d >= 0) pairs.emplace_back(d, f, b);
  std::sort(pairs.begin(), pairs.end());
  std::vector<bool> faceTaken(faces.size(), false), boxTaken(found.size(), false);
  for (const auto& [d, f, b] : pairs) {
    if (faceTaken[f] || boxTaken[b]) continue;
    faceTaken[f] = boxTaken[b] = true;
  }
  std::vector<size_t> out;
  for (size_t f = 0; f < faces.size(); ++f)
    if (!faceTaken[f]) out.push_back(f);
  return out;
}

std::vector<corvane::LayoutRoiPair> tiles(const std::vector<corvane::LayoutRoiPair>& pairs) {
  std::vector<corvane::LayoutRoiPair> out;
  for (const auto& p : pairs)
    if (!p.isThumbnail && p.dst_rect.width >= 16 && p.dst_rect.height >= 16 &&
        p.src_rect.width >= 1 && p.src_rect.height >= 1)
      out.push_back(p);
  return out;
}

namespace {

// The part of the picture a tile covers, inset past its drawn edges (and a pixel of blend).
cv::Rect inside(const corvane::LayoutRoiPair& tile, const cv::Size& picture) {
  const int inset = 6;
  cv::Rect r(int(std::lround(tile.dst_rect.x)) + inset, int(std::lround(tile.dst_rect.y)) + inset,
             int(std::lround(tile.dst_rect.width)) - 2 * inset,
             int(std::lround(tile.dst_rect.height)) - 2 * inset);
  return r & cv::Rect(0, 0, picture.width, picture.height);
}

}  // namespace

cv::Mat tilePixels(const cv::Mat& picture, const corvane::LayoutRoiPair& tile) {
  cv::Rect r(int(std::lround(tile.dst_rect.x)), int(std::lround(tile.dst_rect.y)),
             int(std::lround(tile.dst_rect.width)), int(std::lround(tile.dst_rect.height)));
  r &= cv::Rect(0, 0, picture.cols, picture.rows);
  return bgr(picture)(r).clone();
}

namespace {

cv::Rect destinationOf(const corvane::LayoutRoiPair& tile) {
  return cv::Rect(int(std::lround(tile.dst_rect.x)), int(std::lround(tile.dst_rect.y)),
                  int(std::lround(tile.dst_rect.width)), int(std::lround(tile.dst_rect.height)));
}

// The tile's destination as OpenCV draws it: the source rectangle cut from `source` (wrapping at
// the seam) and scaled bilinearly, pixel centres to pixel centres. BGR.
cv::Mat tileReference(const cv::Mat& source, const corvane::LayoutRoiPair& tile) {
  const int width = source.cols;
  const cv::Mat src = bgr(source);
  cv::Mat thrice;
  cv::hconcat(std::vector<cv::Mat>{src, src, src}, thrice);
  // Source rectangle in the thrice-wide picture (the middle copy is the real one).
  const double sx = tile.src_rect.x + width, sy = tile.src_rect.y;
  const double sw = tile.src_rect.width, sh = tile.src_rect.height;
  const cv::Rect dst = destinationOf(tile);
  cv::Mat mapX(dst.height, dst.width, CV_32F), mapY(dst.height, dst.width, CV_32F);
  for (int y = 0; y < dst.height; ++y)
    for (int x = 0; x < dst.width; ++x) {
      mapX.at<float>(y, x) = float(sx + (x + 0.5) * sw / tile.dst_rect.width - 0.5);
      mapY.at<float>(y, x) = float(sy + (y + 0.5) * sh / tile.dst_rect.height - 0.5);
    }
  cv::Mat reference;
  cv::remap(thrice, reference, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
  return reference;
}

bool allBlack(const cv::Mat& bgrPixels) {
  double high = 0;
  cv::minMaxLoc(bgrPixels.reshape(1), nullptr, &high);
  return high <= kBlackLevel;
}

bool lit(const cv::Mat& bgrPixels) {
  const cv::Scalar m = cv::mean(bgrPixels);
  return std::max({m[0], m[1], m[2]}) > kLitLevel;
}

}  // namespace

double tileDifference(const cv::Mat& picture, const cv::Mat& source,
                      const corvane::LayoutRoiPair& tile) {
  const cv::Rect dst = destinationOf(tile);
  const cv::Rect in = inside(tile, picture.size());
  if (in.empty() || dst.empty()) return 255;
  const cv::Mat reference = tileReference(source, tile);
  const cv::Rect local(in.x - dst.x, in.y - dst.y, in.width, in.height);
  return meanDifference(bgr(picture)(in), reference(local));
}

std::vector<cv::Rect> blackBlocks(const cv::Mat& picture, const cv::Mat& source,
                                  const std::vector<corvane::LayoutRoiPair>& pairs, int side) {
  const cv::Mat out = bgr(picture);
  const cv::Rect whole(0, 0, out.cols, out.rows);
  std::vector<std::pair<cv::Rect, cv::Mat>> drawn;
  for (const corvane::LayoutRoiPair& tile : tiles(pairs)) {
    const cv::Rect dst = destinationOf(tile);
    if (!(dst & whole).empty()) drawn.emplace_back(dst, tileReference(source, tile));
  }
  std::vector<cv::Rect> found;
  for (int y = 0; y + side <= out.rows; y += side)
    for (int x = 0; x + side <= out.cols; x += side) {
      const cv::Rect block(x, y, side, side);
      if (!allBlack(out(block))) continue;
      // Black where the source is black too (a dark coat, a shadow) is the picture itself; black
      // where no tile lies, or where the tile's source is not, is a hole in the output.
      int covered = 0;
      bool sourceLit = false;
      for (const auto& [dst, reference] : drawn) {
        const cv::Rect part = block & dst;
        if (part.empty()) continue;
        covered += part.area();
        sourceLit = sourceLit || lit(reference(part - dst.tl()));
      }
      if (covered < block.area() || sourceLit) found.push_back(block);
    }
  return found;
}

cv::Rect2d toSource(const corvane::LayoutRoiPair& tile, const cv::Rect2d& box) {
  const double sx = tile.src_rect.width / tile.dst_rect.width;
  const double sy = tile.src_rect.height / tile.dst_rect.height;
  return {tile.src_rect.x + box.x * sx, tile.src_rect.y + box.y * sy, box.width * sx,
          box.height * sy};
}

std::vector<Found> findFaces(selvo::BlazeFaceModel& model, const cv::Mat& picture, float minScore) {
  // Square windows along the longer side, half overlapping, each scaled to the model's input, so
  // that the faces of a wide group shot keep the size the model knows.
  const int side = selvo::BlazeFaceModel::kInputSide;
  cv::Mat g = grey(picture);
  const int window = std::min(g.cols, g.rows);
  if (window < 16) return {};
  const bool wide = g.cols >= g.rows;
  const int length = wide ? g.cols : g.rows;
  std::vector<int> starts;
  for (int at = 0; at + window < length; at += window / 2) starts.push_back(at);
  starts.push_back(length - window);
  std::vector<selvo::rect> found;
  for (int at : starts) {
    cv::Rect r = wide ? cv::Rect(at, 0, window, window) : cv::Rect(0, at, window, window);
    cv::Mat input;
    cv::resize(g(r), input, cv::Size(side, side), 0, 0, cv::INTER_AREA);
    const double scale = double(window) / side;
    for (selvo::rect f : model.Run(input, minScore)) {
      f.x = float(r.x + f.x * scale);
      f.y = float(r.y + f.y * scale);
      f.width = float(f.width * scale);
      f.height = float(f.height * scale);
      found.push_back(f);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const selvo::rect& a, const selvo::rect& b) { return a.score > b.score; });
  std::vector<Found> faces;
  for (const auto& f : found) {
    cv::Rect2d box(f.x, f.y, f.width, f.height);
    bool joined = false;
    for (const auto& kept : faces)
      if ((box & kept.box).area() > 0.3 * std::min(box.area(), kept.box.area())) joined = true;
    if (!joined) faces.push_back({box, f.score});
  }
  return faces;
}

int greyLevels(const cv::Mat& picture) {
  cv::Mat g = grey(picture);
  std::set<int> levels;
  for (int y = 0; y < g.rows; y += 7)
    for (int x = 0; x < g.cols; x += 13) levels.insert(g.at<uint8_t>(y, x) / 8);
  return int(levels.size());
}

double meanDifference(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat d;
  cv::absdiff(a, b, d);
  cv::Scalar m = cv::mean(d);
  return (m[0] + m[1] + m[2]) / 3.0;
}

}  // namespace e2e
