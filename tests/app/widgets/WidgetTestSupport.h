#pragma once

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

namespace widgettest {

// The pointer entering a widget at pos, and leaving it, as the window system reports them.
inline void enter(QWidget* w, QPointF pos) {
  QEnterEvent e(pos, w->mapTo(w->window(), pos), w->mapToGlobal(pos));
  QApplication::sendEvent(w, &e);
}

inline void leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(w, &e);
}

inline void move(QWidget* w, QPointF pos, Qt::MouseButtons buttons = Qt::NoButton) {
  QMouseEvent e(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

// Saves what the widget shows, for a look by eye while working on it.
inline void grabTo(QWidget* w, const QString& name) {
  if (qEnvironmentVariableIsSet("CORVANE_WIDGET_GRABS"))
    w->grab().save(QStringLiteral("/tmp/") + name + QStringLiteral(".png"));
}

}  // namespace widgettest
