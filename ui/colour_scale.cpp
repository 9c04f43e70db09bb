#include "ui/colour_scale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace hydrosk::ui {
namespace {

// Viridis at tenths of its range. The scale of numbers stops at 0.9, so that
// its top stays visible on the white map, and the reached outcome takes the
// yellow at 1.0 beyond it.
struct Stop {
    double at;
    QRgb colour;
};
constexpr std::array<Stop, 10> kStops{{{0.0, 0x440154},
                                       {0.1, 0x482475},
                                       {0.2, 0x414487},
                                       {0.3, 0x355f8d},
                                       {0.4, 0x2a788e},
                                       {0.5, 0x21918c},
                                       {0.6, 0x22a884},
                                       {0.7, 0x44bf70},
                                       {0.8, 0x7ad151},
                                       {0.9, 0xbddf26}}};
constexpr QRgb kReachedColour = 0xfde725;
constexpr QRgb kNeutralColour = 0xa0a0a0;
constexpr QRgb kPassColour = 0x009e73;
constexpr QRgb kFailColour = 0xd55e00;

// The scale's colour at `at` in [0, 1] (0 to 0.9 of viridis).
QColor Interpolate(double at) {
    at *= kStops.back().at;
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
    switch (entry) {
        case kReached:
            return QColor::fromRgb(kReachedColour);
        case kPass:
            return QColor::fromRgb(kPassColour);
        case kFail:
            return QColor::fromRgb(kFailColour);
        default:
            if (entry >= kNeutral) return QColor::fromRgb(kNeutralColour);
            return Interpolate((entry + 0.5) / kShades);
    }
}

QGradientStops ColourScale::stops() {
    QGradientStops stops;
    for (const Stop& stop : kStops) {
        stops.append({stop.at / kStops.back().at, QColor::fromRgb(stop.colour)});
    }
    return stops;
}

}  // namespace hydrosk::ui
