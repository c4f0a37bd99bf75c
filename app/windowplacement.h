#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Top-left corner that puts a window of the given outer size (frame and title bar included)
// in the middle of `screen`. Half a pixel left over rounds toward the top-left. Nothing is
// clamped: a screen smaller than the window gives a corner left of or above the screen.
QPoint centredTopLeft(const QRect &screen, const QSize &outer);
