#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "DoubleSize.h"
#include "FrameCopyPool.h"
#include "IFaceDetector.h"
#include "framepool/FramePool.h"
#include "RectManager.h"
#include "SelvoDetectCallback.h"
#include "SelvoFaceInfo.h"
#include "SelvoObjectFactory.h"
#include "SelvoPersonInfo.h"
#include "SelvoRect.h"
#include "SelvoRectOperations.h"
#include "SelvoValue.h"
#include "dispatch/SerialQueue.h"
#include "selvo/SelvoFactory.h"
#include "video/PixelBuffer.h"

// A field of the facade readable and writable from any thread: a getter of the field's name and
// a setter "set" + the name with its first letter upper-cased, with no other effect.
#define ORLITH_FACADE_FIELD(Type, name, Name)          \
 public:                                               \
  Type name() const { return name##_.load(); }         \
  void set##Name(Type value) { name##_.store(value); } \
                                                       \
 private:                                              \
  std::atomic<Type> name##_

namespace orlith {

// The one object through which the program drives video analysis. It owns the vision
// library's objects, the rectangle manager and the per-frame pipeline, and turns every camera
// frame into lists of ROI-pair dictionaries for the layout observer. The operations that only
// reach the rectangle manager come from SelvoRectOperations.
//
// Threads. Creation, set-up, release and every operation come from the main thread. Frames are
// copied on the caller's thread and processed on the serial queue "process.queue"; the
// library's objects are touched only there, so main-thread operations that reach them are
// queued behind the frames (those with a result wait for it). The layout observer and `done`
// run on the main queue, the detect observers on the processing queue. Release is a barrier:
// frames already accepted run to the end, then the objects go, and it returns only once they
// are gone and the library's workers have ended.
//
// Own it through std::shared_ptr where possible: queued work then keeps it alive.
class ISelvoServiceManage : public SelvoRectOperations,
                            public std::enable_shared_from_this<ISelvoServiceManage> {
 public:
  using RoiPairList = std::vector<SelvoDictionary>;
  using LayoutObserver =
      std::function<void(RoiPairList, RoiPairList, RoiPairList, RoiPairList, RoiPairList)>;
  using Observer = std::function<void()>;
  using RecognizeObserver = std::function<void()>;

  static constexpr int kMaxRoiPairs = 256;

  ISelvoServiceManage();
  virtual ~ISelvoServiceManage();
  ISelvoServiceManage(const ISelvoServiceManage&) = delete;
  ISelvoServiceManage& operator=(const ISelvoServiceManage&) = delete;

  // The process-wide instance, made (and sent initManager) on first use.
  static std::shared_ptr<ISelvoServiceManage> shared();

  // ---- creation, set-up, release ----
  void initManager();
  void initManager(std::shared_ptr<SelvoObjectFactory> factory);
  void setup(DoubleSize videoSize, DoubleSize dstSize, DoubleSize controlSize,
             DoubleSize processSize, char is360, const char* dbPath);
  void reset(DoubleSize size);
  void addLayoutObservable(LayoutObserver observer);
  void addDetectObservable(Observer observer);
  void addDetectOnceObservable(Observer observer);
  // Hands one NV12 frame in; `done` runs on the main queue exactly once, whatever happens.
  void imageProcessWithPixelBuffer(const platform::PixelBufferRef& frame,
                                   std::function<void()> done);
  void releaseSelvoInst();

  // The pooled way in (the programs feed frames one by one instead).
  void setupQueue();
  std::shared_ptr<VideoSampleParams> getEmptyParams();
  void startWorkingThread();
  FramePool& framePool() { return m_buffer_params_pool; }

  // ---- tuning handed on ----
  void EnableBeamforming(char enable);
  void SetAngleTolerance(int degrees);
  void SetMaxGridCount(int count);
  void SetFocusModeROIExtendPixel(unsigned pixels);
  void EnableROIAutoMerge(bool enable);
  void SetGridComposeModeMaxCount(int count);
  void SetPIPSmallWindowSize(long level);
  void SetBeamformingHightlightTime(int milliseconds);
  void SetSpeakerClearTime(int milliseconds);
  void SetStableROITolerance(int tolerance, int maximum);
  void SetPIPEnlargeScaleLimit(float limit);
  void SpeakerModeTransitionAlways(bool always);
  void SetMinSrcHeightScale(float scale);
  void SetVideoPanWeight(float weight);
  void SetTransitionFrameCount(int frames);
  void EnableNameTag(bool enable);
  void EnableShowScaleFactor(char enable);
  void SetMinRectSideLength(int side);

  // ---- values kept here or in the rectangle manager ----
  void SetDetectConfThreshold(float threshold);
  void SetDetectModelType(int type);
  void EnableFaceRecognition(bool enable);
  void enableReinforcementDetect(char enable);
  void SetVoiceAngleOffset(int degrees);
  void setAngle(int angle, int enable);
  void setContentOffset(int value);
  int getContentOffset() const;
  bool IsBeamformingAvailabl() const;
  void enableSmallVideoWindow(char enable);
  void enableDrawRefLine(char enable);
  void EnableAccumulateDetection(bool enable);
  bool GetAccumulateDetectionStatus() const;
  void SetTrackerType(long type);
  void SetManualFocusRectInitPlace(int x, int y, int width, int height);
  void SetPresentRectInitPlace(int x, int y, int width, int height);

  // ---- display mode, fit policy, draw flags ----
  void setDisplayMode(long mode);
  void setFitMode(long mode);
  void enableDrawRect(bool enable);
  void DrawNormalRect(bool draw);
  void DrawTrackingRect(bool draw);
  void DrawIgnoreRect(bool draw);
  void StartIgnoreAreaEditing();
  void EndIgnoreAreaEditing(bool keep);
  void EnableEditWindowIgnoreIcon(bool enable);
  void setEnableDrawRect(bool enable);
  void setMirror(char mirror);

  // ---- detection control ----
  void enableAutoDetect(char enable, int intervalMs);
  void detectOnce();
  // A detection asked for with detectOnce whose result has not replaced the boxes yet.
  bool detectionAskedPending() const { return m_one_click_detect() || replaceOwed_; }

  // ---- focus and picture-in-picture rectangles ----
  void GetFocusManualRect(int& x, int& y, int& width, int& height);
  void GetPipManualRect(int& x, int& y, int& width, int& height);
  void GetFocusModeManualRect(int& x, int& y, int& width, int& height);
  void SetFocusModeManualRect(int x, int y, int width, int height);
  void GetViewMoveIconRect(int& x, int& y, int& width, int& height);
  void SetHeightOffsetFor180Video(int offset);
  bool IsRectFocusedInPIPMode(int id);

  // ---- ROI-pair access (the layout step's; from another thread they wait for the queue) ----
  void DoBufferLayout_ROIPairs();
  void SetSrcToSubwindow_ROIPairs(int srcWidth, int srcHeight, int subWidth, int subHeight);
  bool GetROIPairCount(long type, int& count);
  bool GetROIPairs(long type, int count, RoiPairList& output);
  bool GetSubwindowROIPairCount(long type, int& count);
  bool GetSubwindowROIPairs(long type, int count, RoiPairList& output);

  // ---- image replacement ----
  void replaceDefaultLogoPath(const std::string& path);
  void replaceVoiceIndicatorIconPath(const std::string& path);
  void replacePinIconPath(const std::string& path);
  void replaceAnchorPointSymbolPath(const std::string& path);
  void replaceNormalTagPath(const std::string& path);
  void replaceTrackTagPath(const std::string& path);
  void replaceSpeakTagPath(const std::string& path);

  // ---- person and face recognition ----
  void addRecognizeObservable(RecognizeObserver observer);
  void setRecognizeCallback();
  void getPersonInfo(int personId, SelvoPersonInfo& info);
  void getFaceInfo(int faceId, SelvoFaceInfo& info);
  void getAllPersonInfosCount(int& count);
  void getAllPersonInfosContent(std::vector<SelvoPersonInfo>& out);
  void GetAllFaceInfosContentByPerson(std::vector<SelvoFaceInfo>& out, short personId);
  void updatePersonInfo(int personId, const SelvoPersonInfo& info);
  void deletePerson(int personId);
  void deleteFace(int faceId);
  void removeUnnamedPerson();
  bool ChangePersonThumbnailFace(short personId, short thumbnailFaceId);
  std::string GetFaceImgPathByPersonID(int personId);
  bool getPersonInfoByPersonID(int personId);
  void mergePerson(short personId, short targetPersonId);
  std::string GetRecgnizedPersonName();
  std::string GetRecgnizedPersonCompany();
  std::string GetRecgnizedPersonTitle();

  // ---- picture helpers ----
  // Copies an NV12 picture row by row with each plane's bytes per row (in one block where both
  // are packed); false when sizes or formats differ.
  static bool YUVBufferCopyWithPixelBuffer(const platform::PixelBuffer& from,
                                           platform::PixelBuffer& to);
  static void _nv12_mirror(uint8_t* bytes, int width, int height);
  static void _nv12_add_ref_line(uint8_t* bytes, int width, int height);
  static std::vector<rect> mirror_rects(const std::vector<rect>& rects, int width);

  // The rectangles of the focus and picture-in-picture layouts and of the view-move icon.
  rect focusManualRect() const;
  rect pipManualRect() const;
  rect viewMoveIconRect() const;
  std::string imagePath(int which) const;  // 0..6: logo, voice, pin, anchor, tags 0, 1, 2

  // Fields, in declaration order.
  ORLITH_FACADE_FIELD(bool, draw_sub_video, Draw_sub_video){false};
  ORLITH_FACADE_FIELD(bool, m_enable_relayout, M_enable_relayout){false};
  ORLITH_FACADE_FIELD(bool, enable_beamforming, Enable_beamforming){false};
  ORLITH_FACADE_FIELD(bool, reinit, Reinit){false};
  ORLITH_FACADE_FIELD(bool, m_one_click_detect, M_one_click_detect){false};
  ORLITH_FACADE_FIELD(bool, m_enable_auto_detect, M_enable_auto_detect){false};
  ORLITH_FACADE_FIELD(bool, m_force_do_detect, M_force_do_detect){false};
  ORLITH_FACADE_FIELD(bool, m_enable_reinforcement_detect, M_enable_reinforcement_detect){true};
  ORLITH_FACADE_FIELD(bool, m_enable_mirror, M_enable_mirror){false};
  ORLITH_FACADE_FIELD(bool, is_decoder_buffer_ready, Is_decoder_buffer_ready){false};
  ORLITH_FACADE_FIELD(bool, m_do_face_recognition, M_do_face_recognition){false};
  ORLITH_FACADE_FIELD(bool, m_enable_auto_fit, M_enable_auto_fit){false};
  ORLITH_FACADE_FIELD(bool, m_is_voice, M_is_voice){false};
  ORLITH_FACADE_FIELD(bool, m_enable_draw_ref_line, M_enable_draw_ref_line){false};
  ORLITH_FACADE_FIELD(bool, m_enable_sub_window_draw_rect, M_enable_sub_window_draw_rect){false};
  ORLITH_FACADE_FIELD(bool, m_draw_normal_rect, M_draw_normal_rect){false};
  ORLITH_FACADE_FIELD(bool, m_draw_tracking_rect, M_draw_tracking_rect){false};
  ORLITH_FACADE_FIELD(bool, m_draw_ignore_rect, M_draw_ignore_rect){false};
  ORLITH_FACADE_FIELD(bool, rects_updated, Rects_updated){false};
  ORLITH_FACADE_FIELD(bool, inCheckQueue, InCheckQueue){false};
  ORLITH_FACADE_FIELD(bool, inWorkingThread, InWorkingThread){false};
  ORLITH_FACADE_FIELD(int, m_video_width, M_video_width){0};
  ORLITH_FACADE_FIELD(int, m_video_height, M_video_height){0};
  ORLITH_FACADE_FIELD(int, m_process_width, M_process_width){0};
  ORLITH_FACADE_FIELD(int, m_process_height, M_process_height){0};
  ORLITH_FACADE_FIELD(int, m_relayout_width, M_relayout_width){0};
  ORLITH_FACADE_FIELD(int, m_relayout_height, M_relayout_height){0};
  ORLITH_FACADE_FIELD(int, m_sub_video_width, M_sub_video_width){0};
  ORLITH_FACADE_FIELD(int, m_sub_video_height, M_sub_video_height){0};
  ORLITH_FACADE_FIELD(int, m_reinit_width, M_reinit_width){0};
  ORLITH_FACADE_FIELD(int, m_reinit_height, M_reinit_height){0};
  ORLITH_FACADE_FIELD(unsigned, buffer_size, Buffer_size){0};
  ORLITH_FACADE_FIELD(unsigned, sub_video_buffer_size, Sub_video_buffer_size){0};
  ORLITH_FACADE_FIELD(unsigned, relayout_buffer_size, Relayout_buffer_size){0};
  ORLITH_FACADE_FIELD(int, m_is_360_fov, M_is_360_fov){0};
  ORLITH_FACADE_FIELD(int, m_min_side_length, M_min_side_length){0};
  ORLITH_FACADE_FIELD(int, m_voa_direction_offset, M_voa_direction_offset){0};
  ORLITH_FACADE_FIELD(int, m_voice_angle_offset, M_voice_angle_offset){0};
  ORLITH_FACADE_FIELD(int, img_id, Img_id){0};
  ORLITH_FACADE_FIELD(int, m_detect_interval_ms, M_detect_interval_ms){0};
  ORLITH_FACADE_FIELD(float, m_detect_conf_ratio, M_detect_conf_ratio){0.6f};
  ORLITH_FACADE_FIELD(int, m_detect_model_type, M_detect_model_type){2};
  ORLITH_FACADE_FIELD(int, m_tracker_type, M_tracker_type){0};
  ORLITH_FACADE_FIELD(int, default_cropped_face_width, Default_cropped_face_width){0};
  ORLITH_FACADE_FIELD(int, default_cropped_face_height, Default_cropped_face_height){0};
  ORLITH_FACADE_FIELD(unsigned, m_auto_fit_rect_width_pixels, M_auto_fit_rect_width_pixels){0};
  ORLITH_FACADE_FIELD(float, m_scale, M_scale){0};
  ORLITH_FACADE_FIELD(float, m_scale_panorama, M_scale_panorama){0};
  ORLITH_FACADE_FIELD(float, m_editview_scale_panorama, M_editview_scale_panorama){0};
  ORLITH_FACADE_FIELD(float, m_direction, M_direction){0};
  ORLITH_FACADE_FIELD(int, m_focusmode_policy, M_focusmode_policy){0};
  ORLITH_FACADE_FIELD(int, drag_icon_target_size, Drag_icon_target_size){0};
  ORLITH_FACADE_FIELD(int, positions, Positions){0};
  ORLITH_FACADE_FIELD(float, m_process_scale, M_process_scale){0};
  ORLITH_FACADE_FIELD(int, datumPoint, DatumPoint){0};
  ORLITH_FACADE_FIELD(int, offset, Offset){0};
  ORLITH_FACADE_FIELD(int, m_last_detect_frame_id, M_last_detect_frame_id){0};
  ORLITH_FACADE_FIELD(int, pool_count, Pool_count){0};
  ORLITH_FACADE_FIELD(int, m_buffer_params_slot_tail, M_buffer_params_slot_tail){0};
  ORLITH_FACADE_FIELD(int, frame_id, Frame_id){0};
  ORLITH_FACADE_FIELD(long, current_mode, Current_mode){0};
  // Microseconds of the clock's steady time.
  ORLITH_FACADE_FIELD(int64_t, m_auto_detect_interval_, M_auto_detect_interval_){0};

 private:
  struct FrameWork;

  // Runs on the processing queue after the frames before it; `f` sees the objects only while
  // set up.
  void onQueue(std::function<void()> f);
  template <typename F>
  void syncOnQueue(F&& f) {
    if (processQueue->isCurrent()) {
      f();
    } else {
      processQueue->sync(std::forward<F>(f));
    }
  }
  template <typename F>
  void withRecognizer(F&& f) {
    syncOnQueue([&] {
      if (setUp_ && recognizer_wapper_inst) f(*recognizer_wapper_inst);
    });
  }
  // The rectangle manager for the main thread's operations: none before set-up or after
  // release.
  std::shared_ptr<RectManager> rectManager() const override;
  std::shared_ptr<RectManager> queueRectManager() const;

  void createObjects();
  void setupOnQueue(DoubleSize videoSize, DoubleSize dstSize, DoubleSize controlSize,
                    DoubleSize processSize, bool is360, const std::string& dbPath);
  void releaseOnQueue();
  void heightOffsetOnQueue(int offset);
  unsigned drawMask() const;
  void setDrawFlags(unsigned mask);
  void forwardLayoutSetting(std::function<void(selvo::ISELVO_LAYOUT_SETTING&)> f);
  void forwardLayout(std::function<void(selvo::ISELVO_LAYOUT&)> f);
  void forwardDetector(std::function<void(selvo::ISELVO_DETECTOR&)> f);
  void replaceImage(int which, const std::string& path, const char* logName, bool log);
  void refuseFrame(int reason, const std::string& message);
  bool admitted() const { return configured_.load(); }

  // The per-frame steps, on the processing queue.
  void processFrame(const platform::PixelBufferRef& copy);
  bool do_detect(RectManager* rm);
  void detectFrame(bool detect, unsigned frameId, bool havePixels, RectManager* rm);
  void trackFrame(bool tracked, unsigned frameId, bool havePixels, RectManager* rm);
  void drawLayout(RectManager* rm);
  void reinitLayout();
  std::vector<rect> resize_to_process(const std::vector<rect>& rects) const;
  std::vector<rect> resize_to_rectmanager(const std::vector<rect>& rects) const;
  bool fetchPairs(bool mainLayout, long type, int count, RoiPairList& output);
  void _convert_to_selvo_roi_pair(const std::vector<selvo::roi_pair>& records, RoiPairList& output,
                                  int count, int from) const;

  // Library objects and buffers: touched only on the processing queue.
  std::shared_ptr<RectManager> m_rect_manager_inst;
  std::vector<uint8_t> m_current_detect_buffer;
  selvo::ISELVO_DETECTOR* detector_wrapper_inst = nullptr;
  std::unique_ptr<SelvoDetectCallback> selvo_detect_callback;
  Observer studio_detect_once_callback;
  Observer studio_detect_callback;
  selvo::ISELVO_TRACKER* m_tracker_correlation = nullptr;
  selvo::ISELVO_TRACKER* m_tracker_opticalflow = nullptr;
  std::vector<uint8_t> m_pre_decoded_buffer;
  selvo::ISELVO_FACE_RECOGNIZER* recognizer_wapper_inst = nullptr;
  RecognizeObserver studio_recognize_callback;
  std::vector<uint8_t> cropped_face_buffer;
  LayoutObserver studio_layout_callback;
  selvo::ISELVO_LAYOUT* layout_wrapper_inst = nullptr;
  selvo::ISELVO_LAYOUT_SETTING* layout_setting_wrapper_inst = nullptr;
  std::vector<platform::PixelBufferRef> detectPool;
  std::string defaultLogoPath;
  std::string voiceIndicatorIconPath;
  std::string pinIconPath;
  std::string anchorPointSymbolPath;
  std::string normalTagPath;
  std::string trackTagPath;
  std::string speakTagPath;
  std::shared_ptr<IFaceDetector> detector;
  platform::PixelBufferRef detectBuffer;
  uint8_t* detectBufferAddress = nullptr;
  // The detection decided on was asked for, not periodic (processing queue only).
  bool fullPassAsked_ = false;
  // A detection the user asked for replaces every detected box with its own result: the first
  // result found in this frame or a later one (a pass of an older frame may finish first).
  std::atomic<bool> replaceOwed_{false};
  std::atomic<unsigned> replaceFrom_{0};
  std::unique_ptr<platform::SerialQueue> processQueue;
  // The pooled way in: slots, the queue of filled ones and their worker (nothing starts it).
  FramePool m_buffer_params_pool{3};
  selvo::ISELVO_FRAME_MANAGER* m_frame_manager = nullptr;
  std::vector<rect> temp_track_rect;
  std::vector<int> m_all_person_id;
  RectManager::TagPairs tags;
  rect m_focus_manual_rect;
  rect m_pip_manual_rect;
  rect m_180_move_icon_rect;
  std::vector<rect> detect_rects;
  std::vector<rect> orig_detect_rect;
  std::vector<rect> adjust_detect_rects;
  selvo::PersonInfo m_current_person_info;

  // Guards the observers, the image names, the focus, picture-in-picture and icon rectangles,
  // the person record (the facade's own object lock).
  mutable std::mutex objectMutex_;
  // Guards the m_rect_manager_inst pointer itself.
  mutable std::mutex rectManagerMutex_;
  std::shared_ptr<SelvoObjectFactory> factory_;
  std::atomic<bool> configured_{false};  // set up and not released: frames are admitted
  bool setUp_ = false;                   // the same, as the processing queue sees it
  std::atomic<int> lastRefusal_{0};
  FrameCopyPool copies_;
};

}  // namespace orlith
