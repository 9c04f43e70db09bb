// EPANET 2.2's EN_ codes: counts, element kinds, node, link and time
// parameters, statistics, flow units and ENinitH flags, with EPANET's numbers.
// Project and the program's own code use them without the legacy functions.
#pragma once

#define EN_MAXID 31  // longest ID EPANET 2.2 accepts
#define EN_MAXMSG 255

// Counts (ENgetcount)
#define EN_NODECOUNT 0
#define EN_TANKCOUNT 1
#define EN_LINKCOUNT 2
#define EN_PATCOUNT 3
#define EN_CURVECOUNT 4
#define EN_CONTROLCOUNT 5
#define EN_RULECOUNT 6

// Node types
#define EN_JUNCTION 0
#define EN_RESERVOIR 1
#define EN_TANK 2

// Link types
#define EN_CVPIPE 0
#define EN_PIPE 1
#define EN_PUMP 2
#define EN_PRV 3
#define EN_PSV 4
#define EN_PBV 5
#define EN_FCV 6
#define EN_TCV 7
#define EN_GPV 8

// Node values
#define EN_ELEVATION 0
#define EN_BASEDEMAND 1
#define EN_PATTERN 2
#define EN_EMITTER 3
#define EN_INITQUAL 4
#define EN_SOURCEQUAL 5
#define EN_SOURCEPAT 6
#define EN_SOURCETYPE 7
#define EN_TANKLEVEL 8
#define EN_DEMAND 9
#define EN_HEAD 10
#define EN_PRESSURE 11
#define EN_QUALITY 12
#define EN_SOURCEMASS 13
#define EN_INITVOLUME 14
#define EN_MIXMODEL 15
#define EN_MIXZONEVOL 16
#define EN_TANKDIAM 17
#define EN_MINVOLUME 18
#define EN_VOLCURVE 19
#define EN_MINLEVEL 20
#define EN_MAXLEVEL 21
#define EN_MIXFRACTION 22
#define EN_TANK_KBULK 23
#define EN_TANKVOLUME 24
#define EN_MAXVOLUME 25
#define EN_CANOVERFLOW 26
#define EN_DEMANDDEFICIT 27

// Link values
#define EN_DIAMETER 0
#define EN_LENGTH 1
#define EN_ROUGHNESS 2
#define EN_MINORLOSS 3
#define EN_INITSTATUS 4
#define EN_INITSETTING 5
#define EN_KBULK 6
#define EN_KWALL 7
#define EN_FLOW 8
#define EN_VELOCITY 9
#define EN_HEADLOSS 10
#define EN_STATUS 11
#define EN_SETTING 12
#define EN_ENERGY 13

// Time parameters
#define EN_DURATION 0
#define EN_HYDSTEP 1
#define EN_QUALSTEP 2
#define EN_PATTERNSTEP 3
#define EN_PATTERNSTART 4
#define EN_REPORTSTEP 5
#define EN_REPORTSTART 6
#define EN_RULESTEP 7
#define EN_STATISTIC 8
#define EN_PERIODS 9
#define EN_STARTTIME 10
#define EN_HTIME 11
#define EN_QTIME 12
#define EN_HALTFLAG 13
#define EN_NEXTEVENT 14
#define EN_NEXTEVENTTANK 15

// Statistics of the last hydraulic solve (ENgetstatistic)
#define EN_ITERATIONS 0
#define EN_RELATIVEERROR 1
#define EN_MAXHEADERROR 2
#define EN_MAXFLOWCHANGE 3
#define EN_MASSBALANCE 4
#define EN_DEFICIENTNODES 5
#define EN_DEMANDREDUCTION 6

// Flow units
#define EN_CFS 0
#define EN_GPM 1
#define EN_MGD 2
#define EN_IMGD 3
#define EN_AFD 4
#define EN_LPS 5
#define EN_LPM 6
#define EN_MLD 7
#define EN_CMH 8
#define EN_CMD 9

// ENinitH flags
#define EN_NOSAVE 0
#define EN_SAVE 1
#define EN_INITFLOW 10
#define EN_SAVE_AND_INIT 11

namespace hydrosk::toolkit::codes {

// EPANET 2.2's return codes, the one list of them: 0 for success, the warnings 1 to 6 of a
// hydraulic solve (the results are there, with a reservation), and the errors above them.
inline constexpr int kOk = 0;

// Warnings
inline constexpr int kUnbalanced = 1;    // the solve did not converge within the INP's Trials
inline constexpr int kUnstable = 2;      // converged, but statuses kept changing
inline constexpr int kDisconnected = 3;  // EPANET 2.2 reports it but never returns it
inline constexpr int kPumpCannotDeliver = 4;
inline constexpr int kValveCannotDeliver = 5;
inline constexpr int kNegativePressure = 6;
inline constexpr int kLastWarning = 6;

// Errors of the system and of the hydraulics
inline constexpr int kInsufficientMemory = 101;
inline constexpr int kNotOpen = 102;
inline constexpr int kHydraulicsNotOpen = 103;
inline constexpr int kHydraulicsNotInitialized = 104;
inline constexpr int kCannotSolve = 110;  // the network's equations cannot be solved
// Errors of the input (each line's own code in the report, 200 for the file) and of function
// arguments
inline constexpr int kInputErrors = 200;  // one or more errors in the input file
inline constexpr int kSyntaxError = 201;
inline constexpr int kIllegalNumber = 202;
inline constexpr int kUndefinedNode = 203;
inline constexpr int kUndefinedLink = 204;
inline constexpr int kUndefinedPattern = 205;
inline constexpr int kUndefinedCurve = 206;
inline constexpr int kControlOfCheckValve = 207;  // attempt to control a CV/GPV link
inline constexpr int kIllegalPressureLimits = 208;
inline constexpr int kIllegalNodeValue = 209;
inline constexpr int kIllegalLinkValue = 211;
inline constexpr int kUndefinedTraceNode = 212;
inline constexpr int kInvalidOption = 213;
inline constexpr int kLineTooLong = 214;
inline constexpr int kDuplicateId = 215;
inline constexpr int kUndefinedPump = 216;
inline constexpr int kInvalidPumpEnergy = 217;
inline constexpr int kValveToTank = 219;
inline constexpr int kValveToValve = 220;
inline constexpr int kMisplacedRuleClause = 221;
inline constexpr int kSameStartAndEnd = 222;
inline constexpr int kTooFewNodes = 223;
inline constexpr int kNoTankOrReservoir = 224;
inline constexpr int kInvalidTankLevels = 225;
inline constexpr int kNoPumpCurve = 226;
inline constexpr int kInvalidPumpCurve = 227;
inline constexpr int kNonincreasingCurve = 230;
inline constexpr int kUnconnectedNode = 233;
inline constexpr int kInvalidFormat = 250;
inline constexpr int kBadParameter = 251;
inline constexpr int kInvalidIdName = 252;
inline constexpr int kUndefinedDemand = 253;
// Errors of files
inline constexpr int kIdenticalFileNames = 301;
inline constexpr int kCannotOpenInput = 302;
inline constexpr int kCannotOpenReport = 303;
inline constexpr int kCannotOpenOutput = 304;
inline constexpr int kCannotWriteReport = 309;

// A code above the warnings: the call failed.
constexpr bool IsError(int code) {
    return code > kLastWarning;
}

}  // namespace hydrosk::toolkit::codes
