/* SPDX-License-Identifier: Apache-2.0 */
// Dialog units: the window is laid out in units of the dialog font, so it
// keeps its arrangement with any font. A horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height.
#pragma once

namespace orvapanel {

struct DialogRect {
    int x, y, width, height;
};

struct PixelRect {
    int x, y, width, height;
    bool operator==(const PixelRect&) const = default;
};

class DialogUnits {
public:
    DialogUnits(double averageCharWidth, double charHeight) : charWidth(averageCharWidth), charHeight(charHeight) {}

    int horizontal(int units) const;
    int vertical(int units) const;
    // Edges are converted, not widths, so neighbours that touch in units touch in pixels.
    PixelRect toPixels(DialogRect r) const;

private:
    double charWidth;
    double charHeight;
};

// Where the windows put their controls, in dialog units.
namespace mainTemplate {
inline constexpr int width = 396;
inline constexpr int height = 311;
inline constexpr DialogRect ipAddress{124, 8, 88, 12};
inline constexpr DialogRect ownTsap{124, 20, 88, 12};
inline constexpr DialogRect plcTsap{124, 33, 88, 12};
inline constexpr DialogRect area{8, 80, 91, 98};  // height includes the dropped list
inline constexpr DialogRect dbNumber{120, 79, 28, 12};
inline constexpr DialogRect start{152, 79, 28, 12};
inline constexpr DialogRect count{184, 79, 28, 12};
inline constexpr DialogRect open{256, 10, 124, 15};
inline constexpr DialogRect close{256, 30, 124, 15};
inline constexpr DialogRect readBytes{256, 55, 124, 15};
inline constexpr DialogRect readWords{256, 80, 124, 15};
inline constexpr DialogRect list{8, 100, 228, 143};
inline constexpr DialogRect logo{256, 110, 17, 15};  // only the corner counts: it takes the picture's size
inline constexpr DialogRect status{8, 261, 376, 15};
inline constexpr DialogRect end{256, 200, 124, 14};
inline constexpr DialogRect ipLabel{8, 10, 112, 8};
inline constexpr DialogRect ownTsapLabel{31, 21, 88, 8};
inline constexpr DialogRect plcTsapLabel{14, 34, 106, 8};
inline constexpr DialogRect areaLabel{8, 59, 52, 15};
inline constexpr DialogRect dbNumberLabel{120, 59, 28, 15};
inline constexpr DialogRect startLabel{152, 59, 28, 15};
inline constexpr DialogRect countLabel{184, 59, 28, 15};
inline constexpr DialogRect statusLabel{8, 248, 42, 9};
}  // namespace mainTemplate

namespace aboutTemplate {
inline constexpr int width = 235;
inline constexpr int height = 55;
inline constexpr DialogRect icon{11, 17, 0, 0};  // takes the icon's size
inline constexpr DialogRect text{40, 10, 119, 8};
inline constexpr DialogRect ok{178, 7, 50, 14};
}  // namespace aboutTemplate

}  // namespace orvapanel
