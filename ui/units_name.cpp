#include "ui/units_name.h"

#include <array>

namespace hydrosk::ui {

void GetUnitsName(int flowUnitsCode, QString& flowUnitName, QString& pressureUnitName) {
    // Indexed by the toolkit's flow units code (EN_CFS = 0 ... EN_CMD = 9).
    constexpr std::array<const char*, 10> kFlowNames{"CFS", "GPM", "MGD", "IMGD", "AFD",
                                                     "LPS", "LPM", "MLD", "CMH",  "CMD"};
    constexpr int kFirstMetricCode = 5;
    if (flowUnitsCode < 0 || flowUnitsCode >= static_cast<int>(kFlowNames.size())) return;
    flowUnitName = QLatin1String(kFlowNames[static_cast<std::size_t>(flowUnitsCode)]);
    pressureUnitName =
        flowUnitsCode < kFirstMetricCode ? QStringLiteral("psi") : QStringLiteral("meter");
}

}  // namespace hydrosk::ui
