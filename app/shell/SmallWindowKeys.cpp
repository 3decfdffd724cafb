#include "shell/SmallWindowKeys.h"

#include <QAction>
#include <QKeySequence>
#include <QPointer>
#include <QWidget>

#include "widgets/FocusRing.h"

namespace corvane {

namespace {
constexpr const char* kCloseName = "closeWindow";
}  // namespace

bool SmallWindowKeys::installed(const QWidget* window) {
  return window && window->findChild<QAction*>(kCloseName, Qt::FindDirectChildrenOnly);
}

void SmallWindowKeys::install(QWidget* window) {
  if (!window || installed(window)) return;
  auto* close = new QAction(window);
  close->setObjectName(kCloseName);
  // Ctrl+W whatever the theme's key scheme says (some bind the close to Ctrl+F4 alone).
  QList<QKeySequence> keys{QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)};
  for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Close))
    if (!keys.contains(key)) keys += key;
  close->setShortcuts(keys);
  close->setShortcutContext(Qt::WindowShortcut);
  QPointer<QWidget> target = window;
  QObject::connect(close, &QAction::triggered, window, [target] {
    if (target) target->close();
  });
  window->addAction(close);
  new FocusRing(window);
}

}  // namespace corvane
