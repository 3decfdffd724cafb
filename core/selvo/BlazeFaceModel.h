#pragma once

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <string>
#include <vector>

#include "SelvoTypes.h"

namespace selvo {

// The BlazeFace "back" 256x256 network: one square grey picture in, face boxes out.
// Not thread-safe: one instance per thread that runs it.
class BlazeFaceModel {
 public:
  static constexpr int kInputSide = 256;
  static constexpr int kAnchorCount = 896;

  BlazeFaceModel();

  // False (and one error line) when the file is missing or not a network of the expected shape.
  bool Load(const std::string& path);
  bool IsLoaded() const { return loaded_; }
  // 1 once the network takes the grey picture as one channel, 3 when it takes three copies.
  int InputChannels() const { return channels_; }

  // `input` is a kInputSide x kInputSide 8-bit grey picture. Faces scoring at least `minScore`
  // come back in the input's pixels, before any suppression.
  std::vector<rect> Run(const cv::Mat& input, float minScore);

 private:
  struct Anchor {
    float cx;
    float cy;
  };
  bool RunNetwork(const cv::Mat& input);
  // The network is fed one grey channel instead of three copies of it: the first convolution's
  // weights summed over its three input channels give the same outputs for less work. Kept
  // only when a probe picture gives the same outputs both ways.
  void FoldGreyInput();
  void SetChannels(int channels);

  cv::dnn::Net net_;
  std::vector<std::string> outputNames_;
  std::vector<Anchor> anchors_;
  std::vector<cv::Mat> outputs_;
  cv::Mat blob_;
  int channels_ = 3;
  bool loaded_ = false;
  // Positions of the score and box outputs of the 16x16 and 8x8 grids in outputs_.
  int scores16_ = 0, scores8_ = 1, boxes16_ = 2, boxes8_ = 3;
};

}  // namespace selvo
