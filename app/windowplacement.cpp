#include "app/windowplacement.h"

#include <cmath>

QPoint centredTopLeft(const QRect &screen, const QSize &outer)
{
    const double left = (screen.width() - outer.width()) / 2.0;
    const double top = (screen.height() - outer.height()) / 2.0;
    return {screen.x() + static_cast<int>(std::floor(left)),
            screen.y() + static_cast<int>(std::floor(top))};
}
