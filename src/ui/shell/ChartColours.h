// Colours the window's charts draw with: a mix of two palette colours (grid and axis lines between
// the background and the text), and line colours that stay apart on a light or a dark background.
#pragma once

#include <QColor>
#include <cstddef>

namespace wavory {

inline QColor Blend(const QColor& from, const QColor& to, double share) {
    auto mix = [share](int a, int b) { return static_cast<int>(a + (b - a) * share + 0.5); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
}

// The colour of the index-th line, repeating after eight.
inline QColor SeriesColour(std::size_t index) {
    static const QColor kColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                                      QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                      QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
    return kColours[index % (sizeof kColours / sizeof kColours[0])];
}

}  // namespace wavory
