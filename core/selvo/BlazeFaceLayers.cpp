#include "BlazeFaceLayers.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <opencv2/dnn.hpp>
#include <opencv2/dnn/all_layers.hpp>
#include <opencv2/dnn/shape_utils.hpp>
#include <string>
#include <vector>

// The vectors below never cross a call between separately built code: the compilers' note on
// their ABI is moot.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace selvo {

namespace {

// The loops are written to vectorise; GCC does so from -O3 only, so this part asks for it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("O3")
#endif

// Built for AVX2 with FMA and for the baseline; the loader picks one by the processor.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define BLAZE_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define BLAZE_CLONES
#endif

typedef float v8 __attribute__((vector_size(32)));

inline v8 load8(const float* p) {
  v8 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store8(float* p, v8 v) { std::memcpy(p, &v, sizeof v); }
inline v8 relu8(v8 v) {
  const v8 zero = {};
  return v > zero ? v : zero;
}

// One block of sixteen pixels of a 1x1 convolution: out[co][i] (channels n apart) = bias[co] +
// sum over ci of wT[ci][co] * block[ci][i], four output channels at a time held in registers
// across the input channels.
__attribute__((always_inline)) inline void pointwiseBlock(const float* __restrict block,
                                                          const float* __restrict wT,
                                                          const float* __restrict bias,
                                                          float* __restrict out, size_t n, int cin,
                                                          int cout, bool relu) {
  const v8 zero = {};
  int co = 0;
  for (; co + 4 <= cout; co += 4) {
    v8 a00 = zero + bias[co], a01 = a00;
    v8 a10 = zero + bias[co + 1], a11 = a10;
    v8 a20 = zero + bias[co + 2], a21 = a20;
    v8 a30 = zero + bias[co + 3], a31 = a30;
    const float* src = block;
    const float* w = wT + co;
    for (int ci = 0; ci < cin; ++ci, src += 16, w += cout) {
      const v8 x0 = load8(src), x1 = load8(src + 8);
      a00 += w[0] * x0;
      a01 += w[0] * x1;
      a10 += w[1] * x0;
      a11 += w[1] * x1;
      a20 += w[2] * x0;
      a21 += w[2] * x1;
      a30 += w[3] * x0;
      a31 += w[3] * x1;
    }
    if (relu) {
      a00 = relu8(a00), a01 = relu8(a01), a10 = relu8(a10), a11 = relu8(a11);
      a20 = relu8(a20), a21 = relu8(a21), a30 = relu8(a30), a31 = relu8(a31);
    }
    float* d = out + size_t(co) * n;
    store8(d, a00), store8(d + 8, a01), d += n;
    store8(d, a10), store8(d + 8, a11), d += n;
    store8(d, a20), store8(d + 8, a21), d += n;
    store8(d, a30), store8(d + 8, a31);
  }
  for (; co < cout; ++co) {
    v8 a0 = zero + bias[co], a1 = a0;
    const float* src = block;
    for (int ci = 0; ci < cin; ++ci, src += 16) {
      const float k = wT[size_t(ci) * size_t(cout) + size_t(co)];
      a0 += k * load8(src);
      a1 += k * load8(src + 8);
    }
    if (relu) a0 = relu8(a0), a1 = relu8(a1);
    float* d = out + size_t(co) * n;
    store8(d, a0), store8(d + 8, a1);
  }
}

// out[co][p] = bias[co] + sum over ci of wT[ci][co] * in[ci][p], on planes of n pixels, sixteen
// pixels at a time. The sixteen pixels of every input channel are first gathered into `block`
// (cin x 16): read straight from planes a power of two apart, they would all fall into one set
// of the cache.
BLAZE_CLONES void pointwise(const float* __restrict in, const float* __restrict wT,
                            const float* __restrict bias, float* __restrict out, int cin, int cout,
                            int n, bool relu, float* __restrict block) {
  int p = 0;
  for (; p + 16 <= n; p += 16) {
    for (int ci = 0; ci < cin; ++ci)
      std::memcpy(block + size_t(ci) * 16, in + size_t(ci) * size_t(n) + size_t(p),
                  16 * sizeof(float));
    pointwiseBlock(block, wT, bias, out + p, size_t(n), cin, cout, relu);
  }
  for (; p < n; ++p)
    for (int co = 0; co < cout; ++co) {
      float s = bias[co];
      for (int ci = 0; ci < cin; ++ci)
        s += wT[size_t(ci) * size_t(cout) + size_t(co)] * in[size_t(ci) * size_t(n) + size_t(p)];
      out[size_t(co) * size_t(n) + size_t(p)] = relu && s < 0 ? 0.0f : s;
    }
}

// One row of one channel of a 3x3 convolution with a border of zeros, stride 1: k holds the
// nine weights row by row, r0 to r2 the rows above, at and below (a row of zeros outside the
// plane).
__attribute__((always_inline)) inline void depthwiseRow(const float* __restrict r0,
                                                        const float* __restrict r1,
                                                        const float* __restrict r2,
                                                        const float* __restrict k, float bias,
                                                        float* __restrict d, int w, bool relu) {
  for (int x = 1; x + 1 < w; ++x) {
    float s = bias + k[0] * r0[x - 1] + k[1] * r0[x] + k[2] * r0[x + 1] + k[3] * r1[x - 1] +
              k[4] * r1[x] + k[5] * r1[x + 1] + k[6] * r2[x - 1] + k[7] * r2[x] + k[8] * r2[x + 1];
    d[x] = relu && s < 0 ? 0.0f : s;
  }
  // The first and last columns, where the left or right neighbours are zeros.
  auto edge = [&](int x) {
    float s = bias;
    for (int dx = -1; dx <= 1; ++dx) {
      const int c = x + dx;
      if (c >= 0 && c < w) s += k[dx + 1] * r0[c] + k[dx + 4] * r1[c] + k[dx + 7] * r2[c];
    }
    d[x] = relu && s < 0 ? 0.0f : s;
  };
  edge(0);
  if (w > 1) edge(w - 1);
}

// One channel of a 3x3 convolution with a border of zeros, stride 1; `zeros` is a row of w
// zeros.
BLAZE_CLONES void depthwise3x3(const float* __restrict in, const float* __restrict k, float bias,
                               float* __restrict out, int h, int w, const float* __restrict zeros,
                               bool relu) {
  for (int y = 0; y < h; ++y)
    depthwiseRow(y > 0 ? in + size_t(y - 1) * size_t(w) : zeros, in + size_t(y) * size_t(w),
                 y + 1 < h ? in + size_t(y + 1) * size_t(w) : zeros, k, bias,
                 out + size_t(y) * size_t(w), w, relu);
}

// A 3x3 depthwise convolution (stride 1, a border of zeros) straight into a 1x1 convolution,
// row by row, so that the depthwise result never leaves the cache: `row` (cin x w) holds one
// row of it, `block` (cin x 16) sixteen pixels of that. Rows must be a whole number of blocks
// wide; `zeros` is a row of w zeros.
BLAZE_CLONES void depthwisePointwise(const float* __restrict in, const float* __restrict k,
                                     const float* __restrict dwBias, const float* __restrict wT,
                                     const float* __restrict pwBias, float* __restrict out, int cin,
                                     int cout, int h, int w, bool relu, float* __restrict row,
                                     float* __restrict block, const float* __restrict zeros) {
  const size_t n = size_t(h) * size_t(w);
  for (int y = 0; y < h; ++y) {
    for (int c = 0; c < cin; ++c) {
      const float* plane = in + size_t(c) * n;
      depthwiseRow(y > 0 ? plane + size_t(y - 1) * size_t(w) : zeros, plane + size_t(y) * size_t(w),
                   y + 1 < h ? plane + size_t(y + 1) * size_t(w) : zeros, k + size_t(c) * 9,
                   dwBias[c], row + size_t(c) * size_t(w), w, false);
    }
    for (int x0 = 0; x0 < w; x0 += 16) {
      for (int c = 0; c < cin; ++c)
        std::memcpy(block + size_t(c) * 16, row + size_t(c) * size_t(w) + size_t(x0),
                    16 * sizeof(float));
      pointwiseBlock(block, wT, pwBias, out + size_t(y) * size_t(w) + size_t(x0), n, cin, cout,
                     relu);
    }
  }
}

BLAZE_CLONES void sum2(const float* __restrict a, const float* __restrict b, float* __restrict out,
                       size_t n, bool relu) {
  if (relu)
    for (size_t i = 0; i < n; ++i) {
      float v = a[i] + b[i];
      out[i] = v > 0 ? v : 0.0f;
    }
  else
    for (size_t i = 0; i < n; ++i) out[i] = a[i] + b[i];
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

bool allEqual(const cv::dnn::LayerParams& p, const char* key, int value) {
  if (!p.has(key)) return true;
  const cv::dnn::DictValue& d = p.get(key);
  for (int i = 0; i < d.size(); ++i)
    if (d.get<int>(i) != value) return false;
  return true;
}

bool kernelIs(const cv::dnn::LayerParams& p, int side) {
  if (!p.has("kernel_size")) return false;
  const cv::dnn::DictValue& d = p.get("kernel_size");
  if (d.size() != 2) return false;
  return d.get<int>(0) == side && d.get<int>(1) == side;
}

// A plain ReLU (no negative slope), the only activation these layers fold in.
bool plainRelu(const cv::Ptr<cv::dnn::ActivationLayer>& layer) {
  cv::Ptr<cv::dnn::ReLULayer> relu = layer.dynamicCast<cv::dnn::ReLULayer>();
  return !relu.empty() && relu->negativeSlope == 0.0f;
}

std::vector<cv::Mat> mats(cv::InputArrayOfArrays arrays) {
  std::vector<cv::Mat> out;
  arrays.getMatVector(out);
  return out;
}

// The bias of a convolution: its second blob, or zeros.
std::vector<float> biasOf(const std::vector<cv::Mat>& blobs, int count) {
  std::vector<float> bias(size_t(count), 0.0f);
  if (blobs.size() > 1 && int(blobs[1].total()) == count && blobs[1].type() == CV_32F)
    std::memcpy(bias.data(), blobs[1].ptr<float>(), bias.size() * sizeof(float));
  return bias;
}

// A layer that folds a plain ReLU after it into its own output.
class FoldsRelu : public cv::dnn::Layer {
 public:
  explicit FoldsRelu(const cv::dnn::LayerParams& params) : Layer(params) {}

  bool setActivation(const cv::Ptr<cv::dnn::ActivationLayer>& layer) override {
    relu_ = plainRelu(layer);
    return relu_;
  }

 protected:
  bool relu_ = false;
};

class PointwiseConvolution : public FoldsRelu {
 public:
  explicit PointwiseConvolution(const cv::dnn::LayerParams& params) : FoldsRelu(params) {}

  static bool Applies(const cv::dnn::LayerParams& p) {
    return kernelIs(p, 1) && allEqual(p, "stride", 1) && allEqual(p, "dilation", 1) &&
           allEqual(p, "pad", 0) && p.get<int>("group", 1) == 1 && !p.has("pad_mode") &&
           !p.blobs.empty() && p.blobs[0].dims == 4 && p.blobs[0].type() == CV_32F &&
           p.blobs[0].size[2] == 1 && p.blobs[0].size[3] == 1;
  }

  bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int,
                       std::vector<cv::dnn::MatShape>& outputs,
                       std::vector<cv::dnn::MatShape>&) const override {
    CV_Assert(inputs.size() == 1 && inputs[0].size() == 4 && inputs[0][1] == blobs[0].size[1]);
    cv::dnn::MatShape shape = inputs[0];
    shape[1] = blobs[0].size[0];
    outputs.assign(1, shape);
    return false;
  }

  void finalize(cv::InputArrayOfArrays, cv::OutputArrayOfArrays) override { Prepare(); }

  void forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
               cv::OutputArrayOfArrays) override {
    std::vector<cv::Mat> in = mats(inputs), out = mats(outputs);
    Run(in[0], out[0], relu_);
  }

  // The weights input channel by input channel, and the bias (again when the weights change).
  void Prepare() {
    const int cout = blobs[0].size[0], cin = blobs[0].size[1];
    const float* w = blobs[0].ptr<float>();
    transposed_.resize(size_t(cin) * size_t(cout));
    for (int co = 0; co < cout; ++co)
      for (int ci = 0; ci < cin; ++ci)
        transposed_[size_t(ci) * size_t(cout) + size_t(co)] =
            w[size_t(co) * size_t(cin) + size_t(ci)];
    bias_ = biasOf(blobs, cout);
  }

  void Run(const cv::Mat& x, cv::Mat& y, bool relu) {
    CV_Assert(x.type() == CV_32F && y.type() == CV_32F && x.isContinuous() && y.isContinuous());
    CV_Assert(x.size[1] == In() && y.size[1] == Out());
    const int n = x.size[2] * x.size[3];
    block_.resize(size_t(In()) * 16);
    for (int b = 0; b < x.size[0]; ++b)
      pointwise(x.ptr<float>(b), transposed_.data(), bias_.data(), y.ptr<float>(b), In(), Out(), n,
                relu, block_.data());
  }

  int In() const { return blobs[0].size[1]; }
  int Out() const { return blobs[0].size[0]; }
  const float* Transposed() const { return transposed_.data(); }
  const float* Bias() const { return bias_.data(); }

 private:
  std::vector<float> transposed_;
  std::vector<float> bias_;
  std::vector<float> block_;  // one block of pixels of every input channel
};

// A 3x3 depthwise convolution of stride 1. OpenCV offers it the layer that follows; a 1x1
// convolution of ours is taken in (the net skips it), and the two run row by row.
// The ReLU it folds in is the one after the last layer taken in.
class DepthwiseConvolution3x3 : public FoldsRelu {
 public:
  explicit DepthwiseConvolution3x3(const cv::dnn::LayerParams& params) : FoldsRelu(params) {}

  static bool Applies(const cv::dnn::LayerParams& p) {
    if (!kernelIs(p, 3) || !allEqual(p, "stride", 1) || !allEqual(p, "dilation", 1) ||
        !p.has("pad") || !allEqual(p, "pad", 1) || p.has("pad_mode") || p.blobs.empty())
      return false;
    const cv::Mat& w = p.blobs[0];
    return w.dims == 4 && w.type() == CV_32F && w.size[1] == 1 && w.size[2] == 3 &&
           w.size[3] == 3 && p.get<int>("group", 1) == w.size[0] &&
           p.get<int>("num_output", w.size[0]) == w.size[0];
  }

  bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int,
                       std::vector<cv::dnn::MatShape>& outputs,
                       std::vector<cv::dnn::MatShape>&) const override {
    CV_Assert(inputs.size() == 1 && inputs[0].size() == 4 && inputs[0][1] == blobs[0].size[0]);
    outputs.assign(1, inputs[0]);
    return false;
  }

  void finalize(cv::InputArrayOfArrays, cv::OutputArrayOfArrays) override {
    bias_ = biasOf(blobs, blobs[0].size[0]);
  }

  bool tryFuse(cv::Ptr<cv::dnn::Layer>& top) override {
    cv::Ptr<PointwiseConvolution> next = top.dynamicCast<PointwiseConvolution>();
    if (next.empty() || !next_.empty() || next->In() != blobs[0].size[0]) return false;
    next->Prepare();
    next_ = next;
    return true;
  }

  // A new set-up of the net offers the layers again.
  void unsetAttached() override {
    next_.release();
    Layer::unsetAttached();
  }

  void forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
               cv::OutputArrayOfArrays) override {
    std::vector<cv::Mat> in = mats(inputs), out = mats(outputs);
    const cv::Mat& x = in[0];
    cv::Mat& y = out[0];
    CV_Assert(x.type() == CV_32F && y.type() == CV_32F && x.isContinuous() && y.isContinuous());
    const int channels = x.size[1], h = x.size[2], w = x.size[3];
    const float* k = blobs[0].ptr<float>();
    if (!next_.empty() && w % 16 == 0) {
      CV_Assert(y.size[1] == next_->Out());
      block_.resize(size_t(channels) * 16);
      row_.resize(size_t(channels) * size_t(w));
      zeros_.assign(size_t(w), 0.0f);
      for (int b = 0; b < x.size[0]; ++b)
        depthwisePointwise(x.ptr<float>(b), k, bias_.data(), next_->Transposed(), next_->Bias(),
                           y.ptr<float>(b), channels, next_->Out(), h, w, relu_, row_.data(),
                           block_.data(), zeros_.data());
      return;
    }
    // Alone, or taken in a 1x1 convolution on rows of another width: the depthwise result
    // in full first.
    cv::Mat& depthwise = next_.empty() ? y : between_;
    if (!next_.empty()) depthwise.create(x.dims, x.size.p, CV_32F);
    zeros_.assign(size_t(w), 0.0f);
    const size_t plane = size_t(h) * size_t(w);
    const bool relu = relu_ && next_.empty();
    for (int b = 0; b < x.size[0]; ++b)
      for (int c = 0; c < channels; ++c)
        depthwise3x3(x.ptr<float>(b) + size_t(c) * plane, k + size_t(c) * 9, bias_[size_t(c)],
                     depthwise.ptr<float>(b) + size_t(c) * plane, h, w, zeros_.data(), relu);
    if (!next_.empty()) next_->Run(depthwise, y, relu_);
  }

 private:
  std::vector<float> bias_;
  std::vector<float> zeros_;
  std::vector<float> block_;
  std::vector<float> row_;              // one row of the depthwise result, every channel
  cv::Ptr<PointwiseConvolution> next_;  // the 1x1 convolution taken in, if any
  cv::Mat between_;                     // the depthwise result when not run row by row
};

// The sum of two inputs of one shape; anything else (more inputs, other shapes, weights) is
// left to OpenCV's layer, made from the same parameters.
class BranchSum : public cv::dnn::Layer {
 public:
  explicit BranchSum(const cv::dnn::LayerParams& params)
      : Layer(params), fallback_(cv::dnn::EltwiseLayer::create(params)) {}

  static bool Applies(const cv::dnn::LayerParams& p) {
    return p.get<std::string>("operation", "sum") == "sum" && !p.has("coeff") &&
           !p.has("output_channels_mode");
  }

  bool getMemoryShapes(const std::vector<cv::dnn::MatShape>& inputs, int requiredOutputs,
                       std::vector<cv::dnn::MatShape>& outputs,
                       std::vector<cv::dnn::MatShape>& internals) const override {
    if (Own(inputs)) {
      outputs.assign(1, inputs[0]);
      return false;
    }
    return fallback_->getMemoryShapes(inputs, requiredOutputs, outputs, internals);
  }

  void finalize(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs) override {
    std::vector<cv::Mat> in = mats(inputs);
    std::vector<cv::dnn::MatShape> shapes;
    bool floats = true;
    for (const cv::Mat& m : in) {
      shapes.push_back(cv::dnn::shape(m));
      floats = floats && m.type() == CV_32F;
    }
    own_ = floats && Own(shapes);
    if (!own_) fallback_->finalize(inputs, outputs);
  }

  bool setActivation(const cv::Ptr<cv::dnn::ActivationLayer>& layer) override {
    // OpenCV's layer takes the ReLU as well, for the shapes left to it.
    if (layer.empty()) {
      relu_ = false;
      fallback_->setActivation(layer);
      return false;
    }
    relu_ = plainRelu(layer) && fallback_->setActivation(layer);
    return relu_;
  }

  void forward(cv::InputArrayOfArrays inputs, cv::OutputArrayOfArrays outputs,
               cv::OutputArrayOfArrays internals) override {
    if (!own_) {
      fallback_->forward(inputs, outputs, internals);
      return;
    }
    std::vector<cv::Mat> in = mats(inputs), out = mats(outputs);
    CV_Assert(in[0].isContinuous() && in[1].isContinuous() && out[0].isContinuous());
    sum2(in[0].ptr<float>(), in[1].ptr<float>(), out[0].ptr<float>(), in[0].total(), relu_);
  }

 private:
  static bool Own(const std::vector<cv::dnn::MatShape>& shapes) {
    return shapes.size() == 2 && shapes[0] == shapes[1];
  }

  cv::Ptr<cv::dnn::Layer> fallback_;
  bool own_ = false;
  bool relu_ = false;
};

cv::Ptr<cv::dnn::Layer> makeConvolution(cv::dnn::LayerParams& params) {
  if (PointwiseConvolution::Applies(params)) return cv::makePtr<PointwiseConvolution>(params);
  if (DepthwiseConvolution3x3::Applies(params)) return cv::makePtr<DepthwiseConvolution3x3>(params);
  return cv::dnn::ConvolutionLayer::create(params);
}

cv::Ptr<cv::dnn::Layer> makeEltwise(cv::dnn::LayerParams& params) {
  if (BranchSum::Applies(params)) return cv::makePtr<BranchSum>(params);
  return cv::dnn::EltwiseLayer::create(params);
}

}  // namespace

// The factory keeps a stack of constructors per type and refuses the same one twice on top:
// scopes that overlap (two detectors set up at once) share one registration.
std::mutex BlazeFaceLayers::mutex_;
int BlazeFaceLayers::scopes_ = 0;

BlazeFaceLayers::BlazeFaceLayers() {
  std::lock_guard lock(mutex_);
  if (scopes_++ > 0) return;
  cv::dnn::LayerFactory::registerLayer("Convolution", makeConvolution);
  cv::dnn::LayerFactory::registerLayer("Eltwise", makeEltwise);
}

BlazeFaceLayers::~BlazeFaceLayers() {
  std::lock_guard lock(mutex_);
  if (--scopes_ > 0) return;
  cv::dnn::LayerFactory::unregisterLayer("Eltwise");
  cv::dnn::LayerFactory::unregisterLayer("Convolution");
}

}  // namespace selvo
