#include "main/SourcePictures.h"

#include "dispatch/SerialQueue.h"
#include "render/BorderView.h"
#include "render/LayoutView.h"
#include "render/MetalManager.h"

namespace corvane {

struct SourcePictures::State {
  MetalManager& manager;
  Views views;
  std::weak_ptr<platform::SerialQueue> renderQueue;
  SourcePictureRule rule;

  void apply(SourcePictureRule::Step step) {
    std::vector<LayoutView*> layouts;
    for (const QPointer<LayoutView>& view : views.layouts)
      if (view) layouts.push_back(view.data());
    if (LayoutView* board = views.boardView ? views.boardView() : nullptr) layouts.push_back(board);
    for (LayoutView* view : layouts) view->setShowsPictures(step.shows);
    if (views.borders) {
      if (step.clear) views.borders->setBorders({});
      views.borders->setVisible(step.shows);
    }
    if (!step.clear) return;
    if (auto queue = renderQueue.lock())
      queue->async([manager = &manager] { manager->clearPictures(); });
    else
      manager.clearPictures();
  }
};

SourcePictures::SourcePictures(const ObservableRef<ConnectMode>& connectMode, MetalManager& manager,
                               Views views, std::shared_ptr<platform::SerialQueue> renderQueue)
    : state_(std::make_shared<State>(State{manager, std::move(views), renderQueue, {}})) {
  std::weak_ptr<State> weak = state_;
  connectMode->bindAndNotify([weak](ConnectMode mode) {
    if (auto state = weak.lock()) state->apply(state->rule.connectModeChanged(mode));
  });
}

bool SourcePictures::shows() const { return state_->rule.shows(); }

}  // namespace corvane
