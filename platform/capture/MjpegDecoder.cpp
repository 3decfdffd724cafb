#include "capture/MjpegDecoder.h"

// jpeglib.h uses FILE and size_t without including their headers.
#include <jpeglib.h>
#include <libyuv.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

namespace platform {

namespace {

// A whole JPEG ends with the EOI marker; a frame cut short in transfer does not, and the decoder
// would only warn and paint the missing part grey.
bool endsWithEoi(const uint8_t* d, size_t size) {
  size_t from = size > 64 ? size - 64 : 0;
  for (size_t i = size; i-- > from + 1;) {
    if (d[i - 1] == 0xFF && d[i] == 0xD9) return true;
  }
  return false;
}

// The most rows of a component one band (an iMCU row) holds: 4 x 8 for the largest sampling
// factor the JPEG standard allows.
constexpr int kMaxBandRows = 4 * DCTSIZE;

}  // namespace

MjpegDecoder::Road MjpegDecoder::roadFor(const Sampling& s) {
  if (s.components != 3 || !s.ycbcr) return Road::libyuv;
  // Chroma at half the luma's width, both chroma components alike.
  if (s.h[0] != 2 || s.h[1] != 1 || s.h[2] != 1 || s.v[1] != 1 || s.v[2] != 1) return Road::libyuv;
  if (s.v[0] == 1) return Road::halvedChroma;
  if (s.v[0] == 2) return Road::chroma;
  return Road::libyuv;
}

// libjpeg's decompressor and the rows a band is decoded into. libjpeg reports a fatal error by
// calling error_exit, which must not return: ours jumps back into run(), whose frame holds
// nothing with a destructor, so the jump skips no clean-up.
struct MjpegDecoder::Codec {
  struct Errors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
  };
  enum Outcome { kDecoded, kCorrupt, kOtherSize, kOtherSampling };

  jpeg_decompress_struct info{};
  Errors errors{};
  bool created = false;
  std::vector<uint8_t> luma, cb, cr, cbHalf, crHalf;

  Codec() {
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr common) {
      std::longjmp(reinterpret_cast<Errors*>(common->err)->jump, 1);
    };
    // Warnings (extraneous bytes, a restart marker out of place) are the stream's, not ours to
    // print: the frame is shown as libjpeg recovered it.
    errors.manager.output_message = [](j_common_ptr) {};
    if (setjmp(errors.jump)) return;
    jpeg_create_decompress(&info);
    created = true;
  }
  ~Codec() {
    if (created) jpeg_destroy_decompress(&info);
  }

  Outcome run(const uint8_t* jpeg, size_t size, PixelBuffer& frame, int& width, int& height);
  void decodeBands(PixelBuffer& frame, bool halve);
};

MjpegDecoder::Codec::Outcome MjpegDecoder::Codec::run(const uint8_t* jpeg, size_t size,
                                                      PixelBuffer& frame, int& width, int& height) {
  if (setjmp(errors.jump)) {
    jpeg_abort_decompress(&info);
    return kCorrupt;
  }
  jpeg_mem_src(&info, jpeg, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_abort_decompress(&info);
    return kCorrupt;
  }
  width = int(info.image_width);
  height = int(info.image_height);
  if (width != frame.width() || height != frame.height()) {
    jpeg_abort_decompress(&info);
    return kOtherSize;
  }
  Sampling sampling;
  sampling.components = info.num_components;
  sampling.ycbcr = info.jpeg_color_space == JCS_YCbCr;
  for (int c = 0; c < std::min(info.num_components, 3); ++c) {
    sampling.h[c] = info.comp_info[c].h_samp_factor;
    sampling.v[c] = info.comp_info[c].v_samp_factor;
  }
  const Road road = roadFor(sampling);
  if (road == Road::libyuv) {
    jpeg_abort_decompress(&info);
    return kOtherSampling;
  }
  // The settings libyuv's decoder uses, so the picture is the one it made: the fast integer
  // transform, no block smoothing, the components as they are stored.
  info.raw_data_out = TRUE;
  info.dct_method = JDCT_IFAST;
  info.do_fancy_upsampling = FALSE;
  info.do_block_smoothing = FALSE;
  info.dither_mode = JDITHER_NONE;
  jpeg_start_decompress(&info);
  decodeBands(frame, road == Road::halvedChroma);
  // The rest of the stream (past the last block) is not needed: abort, not finish.
  jpeg_abort_decompress(&info);
  return kDecoded;
}

void MjpegDecoder::Codec::decodeBands(PixelBuffer& frame, bool halve) {
  const int w = frame.width(), h = frame.height();
  const int bandRows = info.max_v_samp_factor * DCTSIZE;  // 8 for 4:2:2, 16 for 4:2:0
  const int chromaRows = info.comp_info[1].v_samp_factor * DCTSIZE;
  // libjpeg writes whole blocks: a row is its width rounded up to 8 samples.
  const size_t lumaBytes = size_t(info.comp_info[0].width_in_blocks) * DCTSIZE;
  const size_t chromaBytes = size_t(info.comp_info[1].width_in_blocks) * DCTSIZE;
  uint8_t* yPlane = frame.baseAddress(0);
  uint8_t* uvPlane = frame.baseAddress(1);
  const size_t yStride = frame.bytesPerRow(0), uvStride = frame.bytesPerRow(1);
  // A whole band's luma goes straight into the plane when a row's block padding fits in the
  // row's own bytes; the last band, cut by the picture's bottom, and narrower rows go through
  // scratch rows.
  const bool lumaInPlace = lumaBytes <= yStride;
  luma.resize(lumaBytes * size_t(bandRows));
  cb.resize(chromaBytes * size_t(chromaRows));
  cr.resize(chromaBytes * size_t(chromaRows));
  if (halve) {
    cbHalf.resize(chromaBytes * size_t(chromaRows / 2));
    crHalf.resize(chromaBytes * size_t(chromaRows / 2));
  }
  JSAMPROW yRows[kMaxBandRows], cbRows[kMaxBandRows], crRows[kMaxBandRows];
  JSAMPARRAY planes[3] = {yRows, cbRows, crRows};
  for (int r = 0; r < chromaRows; ++r) {
    cbRows[r] = cb.data() + size_t(r) * chromaBytes;
    crRows[r] = cr.data() + size_t(r) * chromaBytes;
  }
  const int chromaWidth = frame.planeWidth(1), chromaHeight = frame.planeHeight(1);
  for (int top = 0; top < h; top += bandRows) {
    const int rows = std::min(bandRows, h - top);
    const bool inPlace = lumaInPlace && rows == bandRows;
    for (int r = 0; r < bandRows; ++r)
      yRows[r] = inPlace ? yPlane + size_t(top + r) * yStride : luma.data() + size_t(r) * lumaBytes;
    if (jpeg_read_raw_data(&info, planes, JDIMENSION(bandRows)) != JDIMENSION(bandRows))
      std::longjmp(errors.jump, 1);  // a memory source never suspends: the stream is broken
    if (!inPlace)
      libyuv::CopyPlane(luma.data(), int(lumaBytes), yPlane + size_t(top) * yStride, int(yStride),
                        w, rows);
    // Every band but the last has an even number of rows, so a band ends on a chroma row pair.
    const int uvRows = std::min((rows + 1) / 2, chromaHeight - top / 2);
    uint8_t* uv = uvPlane + size_t(top / 2) * uvStride;
    if (halve) {
      // Rows 2i and 2i + 1 averaged (rounding up), as libyuv's 4:2:2 to 4:2:0 step does.
      libyuv::InterpolatePlane(cb.data(), int(2 * chromaBytes), cb.data() + chromaBytes,
                               int(2 * chromaBytes), cbHalf.data(), int(chromaBytes), chromaWidth,
                               uvRows, 128);
      libyuv::InterpolatePlane(cr.data(), int(2 * chromaBytes), cr.data() + chromaBytes,
                               int(2 * chromaBytes), crHalf.data(), int(chromaBytes), chromaWidth,
                               uvRows, 128);
      libyuv::MergeUVPlane(cbHalf.data(), int(chromaBytes), crHalf.data(), int(chromaBytes), uv,
                           int(uvStride), chromaWidth, uvRows);
    } else {
      libyuv::MergeUVPlane(cb.data(), int(chromaBytes), cr.data(), int(chromaBytes), uv,
                           int(uvStride), chromaWidth, uvRows);
    }
  }
}

MjpegDecoder::MjpegDecoder() : codec_(std::make_unique<Codec>()) {}
MjpegDecoder::~MjpegDecoder() = default;

MjpegDecoder::Status MjpegDecoder::decode(const uint8_t* jpeg, size_t size, PixelBuffer& frame) {
  width_ = height_ = 0;
  if (!jpeg || !endsWithEoi(jpeg, size) || frame.format() != PixelFormat::NV12FullRange ||
      frame.planeCount() != 2)
    return Status::corrupt;
  Codec::Outcome outcome = Codec::kOtherSampling;
  if (codec_->created) {
    int w = 0, h = 0;
    outcome = codec_->run(jpeg, size, frame, w, h);
    width_ = w;
    height_ = h;
  }
  switch (outcome) {
    case Codec::kDecoded:
      return Status::decoded;
    case Codec::kCorrupt:
      return Status::corrupt;
    case Codec::kOtherSize:
      return Status::otherSize;
    case Codec::kOtherSampling:
      break;
  }
  int w = 0, h = 0;
  if (libyuv::MJPGSize(jpeg, size, &w, &h) != 0) return Status::corrupt;
  width_ = w;
  height_ = h;
  if (w != frame.width() || h != frame.height()) return Status::otherSize;
  return libyuv::MJPGToNV12(jpeg, size, frame.baseAddress(0), int(frame.bytesPerRow(0)),
                            frame.baseAddress(1), int(frame.bytesPerRow(1)), w, h, w, h) == 0
             ? Status::decoded
             : Status::corrupt;
}

}  // namespace platform
