// Looking at rendered pictures in widget tests.
#pragma once

#include <QImage>
#include <QRect>

namespace parlo::testing {

// True when some pixel of `area` is not white.
inline bool HasInk(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace parlo::testing
