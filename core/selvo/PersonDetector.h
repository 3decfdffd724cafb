#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "BlazeFaceModel.h"
#include "ISELVO_DETECTOR.h"
#include "PanoramaTiles.h"
#include "SelvoTypes.h"

namespace selvo {

// Finds the people of a panorama by their faces: the face model over square tiles round the
// picture, the boxes merged across tiles and widened to head-and-shoulders boxes. Detection runs
// on its own thread behind a one-slot mailbox (the latest frame wins), so the frame path never
// waits for it; results are picked up with GetResultCount / GetResults. Init on a running
// detector and destruction abandon the pass under way and return only once the worker thread has
// ended with its OpenCV pictures released, so the process may exit right after either.
class PersonDetector : public ISELVO_DETECTOR {
 public:
  static constexpr const char* kModelFileName = "face_detection_back_256x256.onnx";
  // Threads OpenCV may use for the model; the rest of the machine stays with the frame path.
  // A pass runs that many tiles at once, each through its own copy of the model on one thread:
  // the small network splits poorly across threads, whole tiles split evenly.
  static constexpr int kDetectThreads = 2;
  // The worker thread's name, as the system lists it.
  static constexpr const char* kWorkerName = "selvo.detect";

  PersonDetector();
  ~PersonDetector() override;
  PersonDetector(const PersonDetector&) = delete;
  PersonDetector& operator=(const PersonDetector&) = delete;

  void Init(int width, int height, bool is360, int modelType, int reserved,
            float confidence) override;
  void SetMinRectSideLength(int side) override;
  void EnableReinforcementDetect(bool enable) override;
  void SetConfidenceThreshold(float confidence) override;
  void SetModelType(int modelType) override;
  void AddFrame(unsigned frameId, bool detect) override;
  void RequestFullPass() override;
  int GetResultCount(int* count) override;
  void GetResults(rect* found, rect* adjusted, int count) override;
  bool GetResultFrameId(unsigned* frameId) override;
  void SetCallback(DetectCallback* callback) override;
  void SetFrameManager(ISELVO_FRAME_MANAGER* frameManager) override;
  void SetNativeMode(bool native) override;
  void SetExternalResults(const rect* rects, int count) override;

  // The head-and-shoulders box of a face, at least minSide on each side, kept inside the
  // picture (x wrapped on a 360-degree panorama).
  static rect HeadAndShoulders(const rect& face, int width, int height, bool is360, int minSide);

  // How many times the last finished pass ran the face model (for the benchmark).
  int LastPassForwardCount() const { return lastPassForwards_; }

  // Between full passes, a pass looks again only at the tiles whose picture changed since they
  // were last looked at; the others keep what was found in them. Every kFullPassEvery-th pass,
  // the first after set-up or a change of confidence or model type, and one asked for with
  // RequestFullPass look at every tile.
  static constexpr int kFullPassEvery = 6;

 private:
  struct Job {
    std::vector<uint8_t> luma;
    int width = 0;
    int height = 0;
    bool tracked = false;
    unsigned generation = 0;
    unsigned frameId = 0;
  };
  // What a tile showed when it was last looked at, and the faces found in it then (down to the
  // candidates' score).
  struct TileMemory {
    std::vector<rect> faces;
    cv::Mat look;  // the tile at a sixteenth of its size
  };
  struct Result {
    std::vector<rect> found;
    std::vector<rect> adjusted;
    unsigned frameId = 0;
  };

  // One model with its scratch pictures: each runs one tile at a time on one thread.
  struct Lane {
    BlazeFaceModel model;
    cv::Mat tile, half, input;
  };

  void WorkerLoop();
  std::vector<rect> Detect(const Job& job);
  // The faces of each tile, in the tiles' order, the tiles shared out over the lanes; empty
  // lists for the tiles left when the pass is abandoned.
  std::vector<std::vector<rect>> RunTiles(const Job& job,
                                          const std::vector<PanoramaTiles::Tile>& tiles,
                                          float confidence);
  // Runs work(lane, i) for i in [0, count), shared out over the lanes, each piece one forward
  // pass; stops early when the pass is abandoned.
  void RunOnLanes(const Job& job, size_t count, const std::function<void(Lane&, size_t)>& work);
  // The faces a closer look confirms among candidates that scored below the confidence; `people`
  // are the faces the tiles found.
  std::vector<rect> SecondLook(const Job& job, std::vector<rect> candidates,
                               const std::vector<rect>& people, float confidence);
  std::vector<rect> RunTile(Lane& lane, const Job& job, const PanoramaTiles::Tile& t,
                            float confidence);
  void Publish(const std::vector<rect>& faces, int width, int height, unsigned frameId);
  void StopWorker();
  // Clears what the worker remembers of earlier passes.
  void ForgetPasses();
  // Which tiles this pass looks at (all of them on a full pass), and the tiles' looks to
  // remember.
  std::vector<size_t> TilesToRun(const Job& job, const std::vector<PanoramaTiles::Tile>& tiles,
                                 bool full, std::vector<cv::Mat>& looks);
  // Whether the pass for this job should give up: the detector stops or is set up anew.
  bool Abandoned(const Job& job) const;

  std::array<Lane, kDetectThreads> lanes_;  // used by the worker's pass only, once it runs
  int passForwards_ = 0;                    // the worker's count for the pass under way
  std::atomic<int> lastPassForwards_{0};
  std::thread worker_;
  std::atomic<bool> running_{false};  // the model is loaded and the worker runs
  std::atomic<bool> stopRequested_{false};
  std::atomic<unsigned> liveGeneration_{0};  // generation_, readable without the lock

  std::mutex mutex_;  // guards what follows up to results
  std::condition_variable wake_;
  bool stopping_ = false;
  bool jobPending_ = false;
  bool forget_ = false;
  unsigned generation_ = 0;  // counts set-ups
  Job pending_;
  std::atomic<unsigned> lastAdded_{0};  // the frame added last, for external results
  ISELVO_FRAME_MANAGER* frameManager_ = nullptr;
  DetectCallback* callback_ = nullptr;

  std::mutex resultMutex_;
  bool resultNew_ = false;
  Result latest_;
  Result delivered_;

  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  std::atomic<bool> is360_{false};
  std::atomic<float> confidence_{0.6f};
  std::atomic<int> modelType_{2};
  std::atomic<int> minSide_{0};
  std::atomic<bool> reinforce_{false};
  std::atomic<bool> native_{true};

  std::vector<rect> previous_;  // the worker's last result, for reinforcement
  // The worker's memory of earlier passes.
  std::vector<TileMemory> memory_;
  std::vector<rect> secondLooked_;  // what the second looks confirmed
  float memoryConfidence_ = -1;
  int memoryModelType_ = -1;
  int passesSinceFull_ = 0;
  cv::Mat small_;  // the picture at a sixteenth
  std::atomic<bool> fullPassAsked_{true};
};

}  // namespace selvo
