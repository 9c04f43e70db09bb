#include "ui/colour_scale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace hydrosk::ui {
namespace {

// ColorBrewer's red-yellow-green with a darker yellow, which stays visible on
// the white map.
struct Stop {
    double at;
    QRgb colour;
};
constexpr std::array<Stop, 5> kStops{
    {{0.0, 0xd7191c}, {0.3, 0xfd8d3c}, {0.5, 0xdcbc00}, {0.75, 0x91cf60}, {1.0, 0x1a9641}}};
constexpr QRgb kReachedColour = 0x2b6cb0;  // blue: better than any number on the scale
constexpr QRgb kNeutralColour = 0xa0a0a0;

QColor Interpolate(double at) {
    const auto upper = std::find_if(kStops.begin() + 1, kStops.end() - 1,
                                    [at](const Stop& stop) { return at <= stop.at; });
    const Stop& a = *(upper - 1);
    const Stop& b = *upper;
    const double t = std::clamp((at - a.at) / (b.at - a.at), 0.0, 1.0);
    const auto mix = [t](int from, int to) {
        return static_cast<int>(std::lround(from + t * (to - from)));
    };
    return QColor(mix(qRed(a.colour), qRed(b.colour)), mix(qGreen(a.colour), qGreen(b.colour)),
                  mix(qBlue(a.colour), qBlue(b.colour)));
}

}  // namespace

ColourScale::ColourScale(double low, double high) : low_(low), high_(std::max(low, high)) {}

std::uint8_t ColourScale::entryOf(double value) const {
    if (!(high_ > low_)) return kShades / 2;
    const double at = std::clamp((value - low_) / (high_ - low_), 0.0, 1.0);
    return static_cast<std::uint8_t>(std::min(kShades - 1, static_cast<int>(at * kShades)));
}

QColor ColourScale::colourOf(std::uint8_t entry) {
    if (entry == kReached) return QColor::fromRgb(kReachedColour);
    if (entry >= kNeutral) return QColor::fromRgb(kNeutralColour);
    return Interpolate((entry + 0.5) / kShades);
}

QGradientStops ColourScale::stops() {
    QGradientStops stops;
    for (const Stop& stop : kStops) stops.append({stop.at, QColor::fromRgb(stop.colour)});
    return stops;
}

}  // namespace hydrosk::ui
