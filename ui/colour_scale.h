// The colours of the results map. Without a requirement, the answer on a
// sequential scale that stays readable to colour-blind readers and in grey
// (viridis: dark violet for the lowest answer, the junction that fails first,
// through blue and green to yellow-green for the highest), a yellow beyond
// its top for "Maximal flow was reached" and "End of simulation was reached",
// and a neutral grey for junctions without a number. With a requirement (the
// "Result" column of a design check), the verdict: Pass green, Fail red
// (the Okabe-Ito bluish green and vermilion, apart in lightness as well as
// hue), grey for no result. The map draws with a fixed palette of these
// colours so that it can paint each colour in one batch.
#pragma once

#include <QColor>
#include <QGradientStops>
#include <cstdint>

namespace hydrosk::ui {

class ColourScale {
public:
    // Shades of the continuous scale in the palette.
    static constexpr int kShades = 64;
    // Palette entries after the shades.
    static constexpr std::uint8_t kReached = kShades;
    static constexpr std::uint8_t kNeutral = kShades + 1;
    static constexpr std::uint8_t kPass = kShades + 2;
    static constexpr std::uint8_t kFail = kShades + 3;
    static constexpr int kPaletteSize = kShades + 4;

    ColourScale(double low, double high);

    double low() const { return low_; }
    double high() const { return high_; }

    // The palette entry of a value; values outside [low, high] take the end
    // shades.
    std::uint8_t entryOf(double value) const;
    static QColor colourOf(std::uint8_t entry);
    // The scale's stops from low (0) to high (1), for the legend.
    static QGradientStops stops();

private:
    double low_;
    double high_;
};

}  // namespace hydrosk::ui
