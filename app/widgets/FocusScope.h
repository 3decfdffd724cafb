#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

namespace corvane {

// Keeps the keyboard inside the part of a window that is up over the rest (a popup, an editor
// over the preview): Tab and Shift+Tab go round that part's controls only, a control behind it
// never keeps the focus, and the part's first control takes the focus when it comes up; when it
// goes, the focus goes back where it was. A modal part also keeps every press of the pointer
// from what lies behind it.
class FocusScope : public QObject {
  Q_OBJECT

 public:
  struct Scope {
    std::vector<QWidget*> parts;  // none: the whole window is free
    bool modal = false;
    // The first control takes the focus when the part comes up (a popup, an editor); else the
    // focus stays until Tab leads into the part.
    bool focusFirst = true;
  };

  // `root` is the window's content; `covered` are its containers whose controls lie behind a
  // scope (what is in neither, an alert above everything say, is left alone). `current` says
  // what holds the keys now.
  FocusScope(QWidget* root, std::vector<QWidget*> covered, std::function<Scope()> current,
             QObject* parent = nullptr);

  // Reads the scope again: call it when the state that picks the parts changed.
  void update();
  // Reads it again on every show and hide of `part`.
  void watch(QWidget* part);

  // The parts' controls Tab reaches, in the window's Tab order.
  static std::vector<QWidget*> stops(const std::vector<QWidget*>& parts);
  // Where Tab (forward) or Shift+Tab leads from `current`: the next stop round, or the first
  // (the last) when `current` is none of them; none when there is no stop.
  static QWidget* next(const std::vector<QWidget*>& stops, const QWidget* current, bool forward);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static bool inside(const std::vector<QWidget*>& parts, const QWidget* w);
  bool behind(const QWidget* w) const;
  bool ours(const QWidget* w) const;
  void onFocusChanged(QWidget* now);

  QPointer<QWidget> root_;
  std::vector<QPointer<QWidget>> covered_;
  std::function<Scope()> current_;
  Scope scope_;
  std::vector<QPointer<QWidget>> watched_;
  QPointer<QWidget> before_;  // where the focus was when the scope came up
};

}  // namespace corvane
