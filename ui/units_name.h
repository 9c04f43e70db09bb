// Names of the network's flow and pressure units for the labels beside the
// inputs, from the toolkit's flow units code.
#pragma once

#include <QString>

namespace hydrosk::ui {

// Codes 0 to 4 (US customary: CFS, GPM, MGD, IMGD, AFD) pair with "psi", codes
// 5 to 9 (metric: LPS, LPM, MLD, CMH, CMD) with "meter". Any other code leaves
// both names as they were.
void GetUnitsName(int flowUnitsCode, QString& flowUnitName, QString& pressureUnitName);

}  // namespace hydrosk::ui
