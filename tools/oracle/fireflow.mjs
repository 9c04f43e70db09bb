// Fire-flow reference driver: performs one fire-flow run on EPANET 2.2 (the WebAssembly engine
// of epanet-js) the way the program's run does it, calling the engine as the legacy toolkit
// functions (ENopen, ENsolveH, ENrunH, ...) would, with their single-precision values, and
// writes the same results file. The analysis tests compare Hydrosk's results files with it.
// Test oracle only; nothing of it is used by the program.
//
//   node fireflow.mjs run INP RESULTS --mode steady|design|duration|flow [--min-pressure N]
//        [--max-flow N] [--flow-interval N] [--required-flow N] [--required-time N]
//   node fireflow.mjs run INP RESULTS --mode certify [--min-pressure N] [--max-flow N]
//        [--tolerance N]
//   node fireflow.mjs nocheck INP PRESSURE
//   node fireflow.mjs study INP RESULTS --mode available|design [--min-pressure N] [--max-flow N]
//        [--tolerance N] [--required-flow N] [--demand-time H] [--fire-duration D]
//        [--fire-demand replace|add] [--max-velocity V] [--required-flows FILE]
//        [--hydrants FILE | --fire-groups FILE]
//   node fireflow.mjs baseline INP [--min-pressure N] [--demand-time H] [--max-velocity V]
//
// `study` is a fire-flow study: every trial replays the extended-period simulation from its
// start on a freshly opened project (ENopenH, ENinitH(0), ENrunH/ENnextH) up to the first step
// at or after the demand time, starts the fire there (the check junction's base demand becomes
// the flow and its pattern is cleared, or a demand of the flow without a pattern is added) and
// tests that step and every later one up to the end of the fire: pressures against their
// minima, and with a velocity limit every pipe's |velocity| (single precision). Mode design
// writes the study's design file; mode available certifies RESULTS, a study's available-flow
// file (see certifyStudyRows). `baseline` prints, in the NoCheck.txt layout, the tested
// junctions below their minimum at the first step at or after the demand time without fire.
//
// `run` reads "NoCheck.txt" and "MinPressures.txt" from the INP file's folder when they exist
// (IDs that are not junctions are skipped) and writes RESULTS in the record text layout (quoted
// texts, bare numbers with 7 or 15 significant digits, CR LF). Numbers are given with a period.
// Mode certify instead reads RESULTS, an available-flow results file, and checks every row's
// certificate on the engine (see certifyRows), listing the rows that fail it.
// Exit status: 0 done; 1 the run ended with a message (printed on standard error: a refusal,
// "Problem in INP file!", a toolkit error, after which RESULTS holds the rows written so far,
// or rows that are not certified); 2 bad arguments.
//
// `nocheck` solves the network once as it stands (steady state) and writes, beside it, a
// "NoCheck.txt" listing every junction whose pressure is below PRESSURE.
import { existsSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { EN, loadEngine } from "./epanet-oracle.mjs";

const f32 = Math.fround;
const WARNING_LIMIT = 6; // ENrunH codes 1-6 are warnings; anything above ends the run

// ---------------------------------------------------------------------------------------------
// Record text layout

// x = m * 2^e exactly, m a non-negative integer (BigInt).
function decompose(x) {
  const view = new DataView(new ArrayBuffer(8));
  view.setFloat64(0, Math.abs(x));
  const bits = view.getBigUint64(0);
  const biased = Number((bits >> 52n) & 0x7ffn);
  const fraction = bits & ((1n << 52n) - 1n);
  if (biased === 0) return [fraction, -1074];
  return [fraction | (1n << 52n), biased - 1075];
}

// The exact decimal digits of |x| (no leading zeros) and the power of ten of the first digit.
function exactDecimal(x) {
  const [m, e] = decompose(x);
  let digits;
  let pointShift; // value = digits * 10^-pointShift
  if (e >= 0) {
    digits = (m << BigInt(e)).toString();
    pointShift = 0;
  } else {
    digits = (m * 5n ** BigInt(-e)).toString();
    pointShift = -e;
  }
  const exponent = digits.length - 1 - pointShift;
  return [digits.replace(/0+$/, ""), exponent];
}

// printf's %.<significant>G without trailing zeros, rounded half to even on the exact binary
// value, with an exponent of at least two digits: what std::to_chars gives in C++.
export function formatGeneral(x, significant) {
  if (!Number.isFinite(x)) throw new Error(`cannot write ${x}`);
  if (x === 0) return "0";
  let [digits, exponent] = exactDecimal(x);
  if (digits.length > significant) {
    const kept = digits.slice(0, significant);
    const rest = digits.slice(significant);
    let up;
    if (rest[0] > "5") up = true;
    else if (rest[0] < "5") up = false;
    else if (/[1-9]/.test(rest.slice(1))) up = true;
    else up = Number(kept[kept.length - 1]) % 2 === 1;
    let rounded = BigInt(kept) + (up ? 1n : 0n);
    digits = rounded.toString();
    if (digits.length > significant) {
      exponent += 1;
      digits = digits.slice(0, significant);
    }
    digits = digits.replace(/0+$/, "");
  }
  const sign = x < 0 ? "-" : "";
  if (exponent < -4 || exponent >= significant) {
    const mantissa = digits.length > 1 ? `${digits[0]}.${digits.slice(1)}` : digits;
    const expSign = exponent < 0 ? "-" : "+";
    const expDigits = String(Math.abs(exponent)).padStart(2, "0");
    return `${sign}${mantissa}E${expSign}${expDigits}`;
  }
  if (exponent < 0) return `${sign}0.${"0".repeat(-exponent - 1)}${digits}`;
  if (digits.length <= exponent + 1) return sign + digits + "0".repeat(exponent + 1 - digits.length);
  return `${sign}${digits.slice(0, exponent + 1)}.${digits.slice(exponent + 1)}`;
}

// Typed field values: text, single (32-bit) or double.
const text = (value) => ({ kind: "text", value });
const single = (value) => ({ kind: "single", value });
const double = (value) => ({ kind: "double", value });

// A pressure the layout cannot carry as a number is written as a text.
function pressureField(p) {
  if (Number.isNaN(p)) return text("NaN");
  if (!Number.isFinite(p)) return text(p > 0 ? "Infinity" : "-Infinity");
  return single(p);
}

function formatField(field) {
  switch (field.kind) {
    case "text": return `"${field.value}"`;
    case "single": return formatGeneral(f32(field.value), 7);
    default: return formatGeneral(field.value, 15);
  }
}

class ResultsFile {
  constructor(path) { this.path = path; this.lines = []; }
  write(...fields) { this.lines.push(fields.map(formatField).join(",") + "\r\n"); }
  save() { writeFileSync(this.path, Buffer.from(this.lines.join(""), "latin1")); }
}

// The field reader for the constraint files: a quoted field runs to the next double quote and
// anything after it up to the comma or line end is dropped; a bare field runs to the comma or
// line end without its trailing blanks. Blank lines are skipped.
function readRecords(path, fieldsPerRecord, skipByteOrderMark = false) {
  if (!existsSync(path)) return [];
  let bytes = readFileSync(path).toString("latin1");
  if (skipByteOrderMark && bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.slice(3);
  const fields = [];
  let i = 0;
  const n = bytes.length;
  const atLineEnd = () => i >= n || bytes[i] === "\r" || bytes[i] === "\n";
  const consumeLineEnd = () => {
    if (bytes[i] === "\r") i++;
    if (bytes[i] === "\n") i++;
  };
  const records = [];
  let current = [];
  while (i < n) {
    if (current.length === 0) {
      // skip lines of blanks
      let j = i;
      while (j < n && (bytes[j] === " " || bytes[j] === "\t")) j++;
      if (j >= n) break;
      if (bytes[j] === "\r" || bytes[j] === "\n") {
        i = j;
        consumeLineEnd();
        continue;
      }
    }
    while (i < n && (bytes[i] === " " || bytes[i] === "\t")) i++;
    let value;
    if (bytes[i] === '"') {
      const close = bytes.indexOf('"', i + 1);
      const end = close < 0 ? n : close;
      value = bytes.slice(i + 1, end);
      i = close < 0 ? n : close + 1;
      while (!atLineEnd() && bytes[i] !== ",") i++;
    } else {
      const start = i;
      while (!atLineEnd() && bytes[i] !== ",") i++;
      value = bytes.slice(start, i).replace(/[ \t]+$/, "");
    }
    if (bytes[i] === ",") i++;
    else consumeLineEnd();
    current.push(value);
    fields.push(value);
    if (current.length === fieldsPerRecord) {
      records.push(current);
      current = [];
    }
  }
  if (current.length > 0) throw new Error(`${path}: last record is incomplete`);
  return records;
}

// ---------------------------------------------------------------------------------------------
// The engine, called as the legacy functions do (values rounded to float)

class Engine {
  constructor(oracle) { this.o = oracle; this.m = oracle.m; }

  openProject(inpBytes) {
    this.o.createProject();
    return this.o.open(inpBytes);
  }

  closeProject() {
    this.o.close();
    this.o.deleteProject();
  }

  getNode(index, property) {
    const [code, value] = this.o.nodeValue(index, property);
    return [code, f32(value)];
  }

  setNode(index, property, value) {
    return this.m._EN_setnodevalue(this.o.ph, index, property, f32(value));
  }

  // The catalogue: junction IDs by position (raw bytes as Latin-1 text) and the duration.
  catalogue() {
    const nodes = this.o.count(EN.NODECOUNT)[1];
    const ids = [""];
    for (let i = 1; i <= nodes; i++) {
      if (this.o.nodeType(i)[1] !== EN.JUNCTION) continue;
      ids.push(Buffer.from(this.o.nodeId(i)[1]).toString("latin1"));
    }
    const seconds = this.o.timeParam(EN.DURATION)[1];
    return { ids, junctionCount: ids.length - 1, durationHours: durationHours(seconds) };
  }
}

// Seconds to whole hours, halves to the even neighbour.
function durationHours(seconds) {
  const whole = Math.floor(seconds / 3600);
  const rest = seconds % 3600;
  return rest > 1800 || (rest === 1800 && whole % 2 !== 0) ? whole + 1 : whole;
}

// ASCII letters folded: IDs are found without regard to letter case; the exact spelling wins,
// otherwise the first junction of that spelling.
function junctionLookup(ids) {
  const exact = new Map();
  const folded = new Map();
  for (let k = 1; k < ids.length; k++) {
    if (!exact.has(ids[k])) exact.set(ids[k], k);
    const key = ids[k].replace(/[A-Z]/g, (c) => c.toLowerCase());
    if (!folded.has(key)) folded.set(key, k);
  }
  return (id) => exact.get(id) ?? folded.get(id.replace(/[A-Z]/g, (c) => c.toLowerCase()));
}

class RunEnded extends Error {}

function toolkitFailure(code, what) {
  return new RunEnded(`toolkit error ${code} (${what})`);
}

// The first tested junction whose pressure is below its minimum or not a number.
function findViolation(engine, limits, fatal) {
  for (let k = 1; k <= limits.count; k++) {
    if (limits.excluded[k]) continue;
    const [code, p] = engine.getNode(k, EN.PRESSURE);
    if (fatal && code !== 0) throw toolkitFailure(code, "ENgetnodevalue EN_PRESSURE");
    if (p < limits.minimum[k] || Number.isNaN(p)) return { k, p };
  }
  return null;
}

function steadySearch(engine, cat, limits, inputs, results) {
  results.write(text("Check_Node"), text("Maximal_Flow"), text("Violating_Node"), text("Minimal_pressure"));
  let saved = null;
  for (let i = 1; i <= cat.junctionCount; i++) {
    if (i > 1) {
      engine.setNode(i - 1, EN.BASEDEMAND, saved.base);
      engine.setNode(i - 1, EN.PATTERN, saved.pattern);
    }
    saved = { base: engine.getNode(i, EN.BASEDEMAND)[1], pattern: engine.getNode(i, EN.PATTERN)[1] };
    const code = engine.setNode(i, EN.PATTERN, 0);
    if (code !== 0) throw toolkitFailure(code, "ENsetnodevalue EN_PATTERN");
    let violation = null;
    for (let q = 0; q <= inputs.maxFlow; q = f32(q + inputs.interval)) {
      engine.setNode(i, EN.BASEDEMAND, q);
      engine.o.solveH();
      violation = findViolation(engine, limits, false);
      if (violation) {
        results.write(text(cat.ids[i]), single(q), text(cat.ids[violation.k]), pressureField(violation.p));
        break;
      }
    }
    if (!violation) results.write(text(cat.ids[i]), text("Maximal flow was reached"));
  }
}

// One extended-period trial on a freshly opened project: the time of the first failing step,
// or null. timeLimit (s, single precision) ends the trial before the test of a later step.
function trial(engine, inpBytes, position, demand, limits, timeLimit) {
  if (engine.openProject(inpBytes) !== 0) {
    engine.closeProject();
    throw new RunEnded("Problem in INP file!");
  }
  try {
    let code = engine.o.openH();
    if (code !== 0) throw toolkitFailure(code, "ENopenH");
    code = engine.o.initH(EN.SAVE);
    if (code !== 0) throw toolkitFailure(code, "ENinitH");
    code = engine.setNode(position, EN.BASEDEMAND, demand);
    if (code !== 0) throw toolkitFailure(code, "ENsetnodevalue EN_BASEDEMAND");
    code = engine.setNode(position, EN.PATTERN, 0);
    if (code !== 0) throw toolkitFailure(code, "ENsetnodevalue EN_PATTERN");
    for (;;) {
      const [runCode, t] = engine.o.runH();
      if (runCode > WARNING_LIMIT) throw toolkitFailure(runCode, "ENrunH");
      if (timeLimit !== null && t > timeLimit) return null;
      if (findViolation(engine, limits, true)) return t;
      const [, step] = engine.o.nextH();
      if (step === 0) return null;
    }
  } finally {
    engine.closeProject();
  }
}

function durationSearch(engine, inpBytes, cat, limits, inputs, results) {
  results.write(text("Check_Node"), text("Flow"), text("Duration (hours)"));
  for (let j = 1; j <= cat.junctionCount; j++) {
    const t = trial(engine, inpBytes, j, inputs.requiredFlow, limits, null);
    if (t === null) results.write(text(cat.ids[j]), single(inputs.requiredFlow), text("End of simulation was reached"));
    else results.write(text(cat.ids[j]), single(inputs.requiredFlow), double(t / 3600));
  }
}

function flowSearch(engine, inpBytes, cat, limits, inputs, results) {
  results.write(text("Check_Node"), text("Duration (hours)"), text("Flow"));
  const timeLimit = f32(inputs.requiredTime * 3600);
  for (let j = 1; j <= cat.junctionCount; j++) {
    const step = inputs.interval;
    let failed = null;
    for (let q = 0; q <= inputs.maxFlow; q = f32(q + step)) {
      if (trial(engine, inpBytes, j, q, limits, timeLimit) !== null) {
        failed = q;
        break;
      }
    }
    if (failed === null) results.write(text(cat.ids[j]), single(inputs.requiredTime), text("Maximal flow was reached"));
    else results.write(text(cat.ids[j]), single(inputs.requiredTime), single(f32(failed - inputs.interval)));
  }
}

// ---------------------------------------------------------------------------------------------
// Steady-state trials in which one junction draws a given flow (without a pattern) while every
// other junction draws its own demand as read: the design-flow check and the available-flow
// certificate. The flow is handed to the engine as it is, in double precision. The previous
// check junction gets back the demand read from the engine (EPANET converts it to its internal
// units and back, which may change it in its last bit, far below what could change a result).

class ReplacedDemand {
  constructor(engine) {
    this.engine = engine;
    this.position = 0;
    this.saved = null;
  }

  setRaw(position, property, value) {
    return this.engine.m._EN_setnodevalue(this.engine.o.ph, position, property, value);
  }

  // Solves with ENsolveH; the pressures are then read from the engine.
  solve(position, flow) {
    if (position !== this.position) {
      if (this.position !== 0) {
        this.setRaw(this.position, EN.BASEDEMAND, this.saved.base);
        this.setRaw(this.position, EN.PATTERN, this.saved.pattern);
      }
      this.saved = {
        base: this.engine.o.nodeValue(position, EN.BASEDEMAND)[1],
        pattern: this.engine.o.nodeValue(position, EN.PATTERN)[1],
      };
      this.position = position;
      const code = this.setRaw(position, EN.PATTERN, 0);
      if (code !== 0) throw toolkitFailure(code, "ENsetnodevalue EN_PATTERN");
    }
    this.setRaw(position, EN.BASEDEMAND, flow);
    this.engine.o.solveH();
  }
}

// One cold solve per junction drawing the required flow: its own pressure, the tested junction
// with the smallest margin (pressure minus minimum; not a number first; lowest position on
// ties) and "Pass" or "Fail".
function designCheck(engine, cat, limits, inputs, results) {
  results.write(text("Check_Node"), text("Fire_Flow"), text("Check_Pressure"), text("Lowest_Node"),
    text("Lowest_Pressure"), text("Result"));
  const trials = new ReplacedDemand(engine);
  for (let j = 1; j <= cat.junctionCount; j++) {
    trials.solve(j, inputs.requiredFlow);
    const check = engine.getNode(j, EN.PRESSURE)[1];
    let lowest = null;
    for (let k = 1; k <= limits.count; k++) {
      if (limits.excluded[k]) continue;
      const p = engine.getNode(k, EN.PRESSURE)[1];
      const margin = Number.isNaN(p) ? -Infinity : p - limits.minimum[k];
      if (lowest === null || margin < lowest.margin) lowest = { k, p, margin };
    }
    const failed = findViolation(engine, limits, false) !== null;
    results.write(text(cat.ids[j]), single(inputs.requiredFlow), pressureField(check),
      lowest ? text(cat.ids[lowest.k]) : text(""), lowest ? pressureField(lowest.p) : text(""),
      text(failed ? "Fail" : "Pass"));
  }
}

// The fields of a results line: [text, quoted] pairs.
function resultFields(line) {
  const fields = [];
  let i = 0;
  while (i <= line.length) {
    if (line[i] === '"') {
      const close = line.indexOf('"', i + 1);
      fields.push([line.slice(i + 1, close), true]);
      i = close + 1;
    } else {
      const comma = line.indexOf(",", i);
      const end = comma < 0 ? line.length : comma;
      fields.push([line.slice(i, end), false]);
      i = end;
    }
    if (i >= line.length) break;
    i++; // the comma
  }
  return fields;
}

const closeEnough = (written, p) => Math.abs(Number(written) - p) <= 0.001 + 1e-6 * Math.abs(p);

// Checks an available-flow results file on EPANET 2.2: for every row with a flow Q, Q passes
// and min(Q + tolerance, maximal flow) fails, each solved with ENsolveH at the flows as written,
// with the limiting junction (the lowest-positioned failing one there), its pressure and the
// check junction's pressure at Q as written; a row with 0 fails at 0 with the junction and the
// pressures at 0; a row "Maximal flow was reached" passes at the maximal flow. Pressures agree
// within 0.001 + 1e-6 |p|. Returns the problems found, one text each.
function certifyRows(engine, cat, limits, inputs, lines) {
  const problems = [];
  const header = '"Check_Node","Available_Flow","Limiting_Node","Limiting_Pressure","Check_Pressure"';
  if (lines[0] !== header) problems.push(`header: ${lines[0]}`);
  if (lines.length - 1 !== cat.junctionCount) problems.push(`${lines.length - 1} rows for ${cat.junctionCount} junctions`);
  const trials = new ReplacedDemand(engine);
  for (let j = 1; j < lines.length && j <= cat.junctionCount; j++) {
    const fields = resultFields(lines[j]);
    const fail = (why) => problems.push(`${lines[j]}: ${why}`);
    if (fields[0][0] !== cat.ids[j]) { fail(`junction ${j} is ${cat.ids[j]}`); continue; }
    if (fields.length === 2 && fields[1][0] === "Maximal flow was reached") {
      trials.solve(j, inputs.maxFlow);
      const v = findViolation(engine, limits, false);
      if (v) fail(`fails at the maximal flow: ${cat.ids[v.k]} ${v.p}`);
      continue;
    }
    if (fields.length !== 5 || fields[1][1]) { fail("not a row of the available flow"); continue; }
    const q = Number(fields[1][0]);
    if (!(q === 0 || (q > 0 && q < inputs.maxFlow))) fail(`flow outside [0, maximal flow)`);
    trials.solve(j, q);
    const checkPressure = engine.getNode(j, EN.PRESSURE)[1];
    if (!closeEnough(fields[4][0], checkPressure)) fail(`check pressure at Q is ${checkPressure}`);
    let limiting = findViolation(engine, limits, false);
    if (limiting) {
      if (q !== 0) fail(`fails at Q: ${cat.ids[limiting.k]} ${limiting.p}`);
    } else {
      const above = Math.min(q + inputs.tolerance, inputs.maxFlow);
      trials.solve(j, above);
      limiting = findViolation(engine, limits, false);
      if (!limiting) { fail(`passes at ${above}`); continue; }
    }
    if (fields[2][0] !== cat.ids[limiting.k]) fail(`limiting junction is ${cat.ids[limiting.k]}`);
    if (!closeEnough(fields[3][0], limiting.p)) fail(`limiting pressure is ${limiting.p}`);
  }
  return problems;
}

// The per-junction minima and exclusions of a run, by position.
function constraints(folder, cat, defaultMinimum) {
  const find = junctionLookup(cat.ids);
  const minimum = new Array(cat.junctionCount + 1).fill(defaultMinimum);
  const excluded = new Array(cat.junctionCount + 1).fill(false);
  const unknown = [];
  for (const [id, value] of readRecords(join(folder, "MinPressures.txt"), 2)) {
    const k = find(id);
    const number = Number(value.trim());
    if (value.trim() === "" || Number.isNaN(number)) throw new RunEnded(`MinPressures.txt: ${value} is not a number`);
    if (k === undefined) unknown.push(id);
    else minimum[k] = f32(number);
  }
  for (const [id] of readRecords(join(folder, "NoCheck.txt"), 1)) {
    const k = find(id.trim());
    if (k === undefined) unknown.push(id.trim());
    else excluded[k] = true;
  }
  if (unknown.length > 0) console.error(`skipped IDs that are not junctions: ${[...new Set(unknown)].join(", ")}`);
  return { count: cat.junctionCount, minimum, excluded };
}

function parseArguments(argv) {
  const [command, inp, ...rest] = argv;
  const options = {};
  const positional = [];
  for (let i = 0; i < rest.length; i++) {
    if (rest[i].startsWith("--")) options[rest[i].slice(2)] = rest[++i];
    else positional.push(rest[i]);
  }
  return { command, inp, positional, options };
}

function number(options, name, fallback) {
  const value = Number(options[name] ?? fallback);
  if (Number.isNaN(value)) throw new Error(`--${name} needs a number`);
  return f32(value);
}

async function run(inp, resultsPath, options) {
  const mode = options.mode ?? "steady";
  const inputs = {
    minPressure: number(options, "min-pressure", "110"),
    maxFlow: number(options, "max-flow", "1000"),
    interval: number(options, "flow-interval", "10"),
    requiredFlow: number(options, "required-flow", "100"),
    requiredTime: number(options, "required-time", "1.5"),
  };
  // A tolerance given is read in single precision like the other numbers; the default is
  // formed in double precision.
  inputs.tolerance = options.tolerance !== undefined ? number(options, "tolerance") : inputs.maxFlow / 1000;
  // The duration search never steps a trial flow, so it takes any interval.
  if (mode !== "duration" && !(inputs.interval > 0)) {
    throw new RunEnded("You must enter a flow interval greater than zero");
  }
  const inpBytes = new Uint8Array(readFileSync(inp));
  const engine = new Engine(await loadEngine());
  if (engine.openProject(inpBytes) !== 0) {
    engine.closeProject();
    throw new RunEnded("Could not open INP file - OpenFile");
  }
  const results = new ResultsFile(resultsPath);
  try {
    const cat = engine.catalogue();
    if (cat.junctionCount === 0) throw new RunEnded("no junctions");
    const limits = constraints(dirname(resolve(inp)), cat, inputs.minPressure);
    if (mode === "steady" || mode === "design") {
      if (cat.durationHours > 0) throw new RunEnded("The duration of the INP file must be set to zero");
      try {
        if (mode === "steady") steadySearch(engine, cat, limits, inputs, results);
        else designCheck(engine, cat, limits, inputs, results);
      } finally {
        results.save();
      }
      return;
    }
    if (mode === "certify") {
      if (cat.durationHours > 0) throw new RunEnded("The duration of the INP file must be set to zero");
      const lines = readFileSync(resultsPath).toString("latin1").split("\r\n");
      if (lines[lines.length - 1] === "") lines.pop();
      const problems = certifyRows(engine, cat, limits, inputs, lines);
      for (const problem of problems) console.error(problem);
      if (problems.length > 0) throw new RunEnded(`${problems.length} rows are not certified`);
      console.log(`${lines.length - 1} rows certified`);
      return;
    }
    if (cat.durationHours === 0) throw new RunEnded("Duration must be greater then zero for an EPS run");
    engine.closeProject();
    try {
      if (mode === "duration") durationSearch(engine, inpBytes, cat, limits, inputs, results);
      else flowSearch(engine, inpBytes, cat, limits, inputs, results);
    } finally {
      results.save();
    }
  } finally {
    if (engine.o.ph !== 0) engine.closeProject();
  }
}

// ---------------------------------------------------------------------------------------------
// Fire-flow studies

const EN_VELOCITY = 9;
const EN_LINKCOUNT = 2;

function linkVelocity(engine, k) {
  const code = engine.m._EN_getlinkvalue(engine.o.ph, k, EN_VELOCITY, engine.o.scratch);
  return [code, f32(Math.abs(engine.o.f64(engine.o.scratch)))];
}

// The pipes' link indexes (CV pipes and pipes), for the velocity test.
function pipeIndexes(engine) {
  const links = engine.o.count(EN_LINKCOUNT)[1];
  const pipes = [];
  for (let k = 1; k <= links; k++) {
    const type = engine.o.linkType(k)[1];
    if (type === 0 || type === 1) pipes.push(k);
  }
  return pipes;
}

const unsolvedCode = (code) => code > WARNING_LIMIT || code === 1;

// One trial of a study on a freshly opened project: `members` (positions) draw `flow` in all.
// Returns what its tested steps show; `whole` goes through the whole fire.
function studyTrial(engine, inpBytes, members, flow, study, limits, whole) {
  if (engine.openProject(inpBytes) !== 0) {
    engine.closeProject();
    throw new RunEnded("Problem in INP file!");
  }
  try {
    const result = { violation: null, pipe: null, check: null, solved: true, lowest: null, fastest: null, steps: 0 };
    let code = engine.o.openH();
    if (code !== 0) { result.solved = false; return result; }
    engine.o.initH(0);
    const fireStart = study.demandTime * 3600;
    const fireEnd = (study.demandTime + study.fireDuration) * 3600;
    let next = 0;
    while (next < fireStart) {
      const [runCode, t] = engine.o.runH();
      if (unsolvedCode(runCode)) result.solved = false;
      const [, step] = engine.o.nextH();
      if (step === 0) { result.solved = false; return result; }
      next = t + step;
    }
    const each = flow / members.length;
    for (const j of members) {
      if (study.fireDemand === "add") {
        code = engine.o.withString("", (pat) => engine.o.withString("", (name) =>
          engine.m._EN_adddemand(engine.o.ph, j, each, pat, name)));
      } else {
        code = engine.m._EN_setnodevalue(engine.o.ph, j, EN.BASEDEMAND, each);
        if (code === 0) code = engine.m._EN_setnodevalue(engine.o.ph, j, EN.PATTERN, 0);
      }
      if (code !== 0) throw toolkitFailure(code, "fire demand");
    }
    const pipes = study.maxVelocity !== null ? pipeIndexes(engine) : [];
    for (;;) {
      const [runCode, t] = engine.o.runH();
      result.steps++;
      if (unsolvedCode(runCode)) result.solved = false;
      const failedBefore = result.violation !== null || result.pipe !== null;
      for (let k = 1; k <= limits.count; k++) {
        if (limits.excluded[k]) continue;
        const p = engine.getNode(k, EN.PRESSURE)[1];
        if (!failedBefore && result.violation === null && (p < limits.minimum[k] || Number.isNaN(p))) {
          result.violation = { k, p };
        }
        const margin = Number.isNaN(p) ? -Infinity : p - limits.minimum[k];
        if (result.lowest === null || margin < result.lowest.margin ||
            (margin === result.lowest.margin && k < result.lowest.k)) {
          result.lowest = { k, p, margin };
        }
      }
      for (const k of pipes) {
        const v = linkVelocity(engine, k)[1];
        if (!failedBefore && result.pipe === null && (v > study.maxVelocity || Number.isNaN(v))) {
          result.pipe = { k, v };
        }
        if (result.fastest === null || v > result.fastest.v || (v === result.fastest.v && k < result.fastest.k)) {
          result.fastest = { k, v };
        }
      }
      for (const j of members) {
        const p = engine.getNode(j, EN.PRESSURE)[1];
        if (result.check === null || Number.isNaN(p) || p < result.check) {
          if (!Number.isNaN(result.check)) result.check = p;
        }
      }
      const failed = result.violation !== null || result.pipe !== null;
      if ((failed && !whole) || t >= fireEnd) break;
      const [, step] = engine.o.nextH();
      if (step === 0 || t + step > fireEnd) break;
    }
    return result;
  } finally {
    engine.closeProject();
  }
}

function linkIdText(engine, inpBytes, k) {
  engine.openProject(inpBytes);
  const id = Buffer.from(engine.o.linkId(k)[1]).toString("latin1");
  engine.closeProject();
  return id;
}

// Required flows by position from "ID",flow records; none without the file.
function requiredFlows(file, cat) {
  const required = new Array(cat.junctionCount + 1).fill(null);
  if (!file) return required;
  const find = junctionLookup(cat.ids);
  for (const [id, value] of readRecords(file, 2)) {
    const k = find(id.trim());
    if (k !== undefined) required[k] = f32(Number(value.trim()));
  }
  return required;
}

// The check junctions' positions in catalogue order: those of the hydrants file, or all.
function checkPositions(file, cat) {
  if (!file) return Array.from({ length: cat.junctionCount }, (_, i) => i + 1);
  const find = junctionLookup(cat.ids);
  const listed = new Set();
  for (const [id] of readRecords(file, 1, true)) {
    const k = find(id.trim());
    if (k !== undefined) listed.add(k);
  }
  return [...listed].sort((a, b) => a - b);
}

// A fire-groups file: one group a line, "NAME","J1","J2",... (fields quoted or bare, without
// commas inside), a UTF-8 byte-order mark skipped, blank lines ignored.
function readGroups(file, cat) {
  let bytes = readFileSync(file).toString("latin1");
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.slice(3);
  const find = junctionLookup(cat.ids);
  const groups = [];
  for (const line of bytes.split(/\r\n|\r|\n/)) {
    if (line.trim() === "") continue;
    const fields = line.split(",").map((field) => field.trim().replace(/^"(.*)"$/, "$1"));
    const members = fields.slice(1).map((id) => {
      const k = find(id);
      if (k === undefined) throw new Error(`${file}: ${id} is not a junction`);
      return k;
    });
    groups.push({ name: fields[0], members });
  }
  return groups;
}

// The rows' trials: each check junction alone, or each group of --fire-groups drawing the flow
// together; `required` is the row's required flow (by junction ID, or by group name).
function studyRows(options, cat) {
  if (!options["fire-groups"]) {
    const required = requiredFlows(options["required-flows"], cat);
    return checkPositions(options.hydrants, cat).map((j) => ({ name: cat.ids[j], members: [j], required: required[j] }));
  }
  const byName = new Map();
  if (options["required-flows"]) {
    for (const [id, value] of readRecords(options["required-flows"], 2)) byName.set(id.trim(), f32(Number(value.trim())));
  }
  return readGroups(options["fire-groups"], cat).map((g) => ({ ...g, required: byName.get(g.name.trim()) ?? null }));
}

function studyDesign(engine, inpBytes, cat, limits, inputs, study, rows, results) {
  results.write(text("Check_Node"), text("Fire_Flow"), text("Check_Pressure"), text("Lowest_Node"),
    text("Lowest_Pressure"), text("Fastest_Pipe"), text("Fastest_Velocity"), text("Result"));
  for (const row of rows) {
    const flow = row.required ?? inputs.requiredFlow;
    const r = studyTrial(engine, inpBytes, row.members, flow, study, limits, true);
    const failed = r.violation !== null || r.pipe !== null;
    const fastest = study.maxVelocity !== null && r.fastest !== null;
    results.write(text(row.name), single(flow), pressureField(r.check),
      r.lowest ? text(cat.ids[r.lowest.k]) : text(""), r.lowest ? pressureField(r.lowest.p) : text(""),
      fastest ? text(linkIdText(engine, inpBytes, r.fastest.k)) : text(""),
      fastest ? pressureField(r.fastest.v) : text(""),
      text(!r.solved ? "Unsolved" : failed ? "Fail" : "Pass"));
  }
}

// Checks a study's available-flow file on EPANET 2.2: for every row with a flow Q, the trial
// at Q passes and the trial at min(Q + tolerance, maximal flow) fails, with the limiting
// junction and pipe (lowest-positioned, lowest-indexed, at its first failing step) and their
// values as written, and the check junction's lowest pressure of the passing trial; a row with
// 0 fails at 0; a "Maximal flow was reached" row passes at the maximal flow; Required_Flow and
// Result as the file of required flows gives them. Values agree within 0.001 + 1e-6 |v|.
function certifyStudyRows(engine, inpBytes, cat, limits, inputs, study, rows, lines) {
  const problems = [];
  const header = '"Check_Node","Available_Flow","Limiting_Node","Limiting_Pressure","Check_Pressure",' +
    '"Limiting_Pipe","Limiting_Velocity","Required_Flow","Result"';
  if (lines[0] !== header) problems.push(`header: ${lines[0]}`);
  if (lines.length - 1 !== rows.length) problems.push(`${lines.length - 1} rows for ${rows.length} trials`);
  for (let r = 1; r < lines.length && r <= rows.length; r++) {
    const members = rows[r - 1].members;
    const fields = resultFields(lines[r]);
    const fail = (why) => problems.push(`${lines[r]}: ${why}`);
    if (fields.length !== 9) { fail("not a row of a study's available flow"); continue; }
    if (fields[0][0] !== rows[r - 1].name) { fail(`check node is ${rows[r - 1].name}`); continue; }
    const need = rows[r - 1].required;
    if (need === null ? fields[7][0] !== "" : Number(fields[7][0]) !== need) fail(`required flow is ${need}`);
    const judge = (flow) => (need === null ? "" : flow >= need ? "Pass" : "Fail");
    if (fields[1][0] === "Unsolved") continue;
    if (fields[1][0] === "Maximal flow was reached") {
      const t = studyTrial(engine, inpBytes, members, inputs.maxFlow, study, limits, false);
      if (t.violation || t.pipe) fail("fails at the maximal flow");
      if (fields[8][0] !== judge(inputs.maxFlow)) fail(`result is ${judge(inputs.maxFlow)}`);
      continue;
    }
    const q = Number(fields[1][0]);
    if (fields[1][1] || !(q === 0 || (q > 0 && q < inputs.maxFlow))) fail("flow outside [0, maximal flow)");
    if (fields[8][0] !== judge(q)) fail(`result is ${judge(q)}`);
    const atQ = studyTrial(engine, inpBytes, members, q, study, limits, false);
    if (!closeEnough(fields[4][0], atQ.check)) fail(`check pressure at Q is ${atQ.check}`);
    let limiting = atQ;
    if (atQ.violation || atQ.pipe) {
      if (q !== 0) fail("fails at Q");
    } else {
      const above = Math.min(q + inputs.tolerance, inputs.maxFlow);
      limiting = studyTrial(engine, inpBytes, members, above, study, limits, false);
      if (!limiting.violation && !limiting.pipe) { fail(`passes at ${above}`); continue; }
    }
    const v = limiting.violation;
    if (fields[2][0] !== (v ? cat.ids[v.k] : "")) fail(`limiting junction is ${v ? cat.ids[v.k] : "none"}`);
    if (v && !closeEnough(fields[3][0], v.p)) fail(`limiting pressure is ${v.p}`);
    const p = limiting.pipe;
    if (fields[5][0] !== (p ? linkIdText(engine, inpBytes, p.k) : "")) fail(`limiting pipe is ${p ? p.k : "none"}`);
    if (p && !closeEnough(fields[6][0], p.v)) fail(`limiting velocity is ${p.v}`);
  }
  return problems;
}

function studyOptions(options) {
  const fireDemand = options["fire-demand"] ?? "replace";
  if (fireDemand !== "replace" && fireDemand !== "add") throw new Error("--fire-demand replace|add");
  return {
    demandTime: Number(options["demand-time"] ?? "0"),
    fireDuration: Number(options["fire-duration"] ?? "0"),
    fireDemand,
    maxVelocity: options["max-velocity"] !== undefined ? number(options, "max-velocity") : null,
  };
}

async function study(inp, resultsPath, options) {
  const mode = options.mode;
  const inputs = {
    minPressure: number(options, "min-pressure", "110"),
    maxFlow: number(options, "max-flow", "1000"),
    requiredFlow: number(options, "required-flow", "100"),
  };
  inputs.tolerance = options.tolerance !== undefined ? number(options, "tolerance") : inputs.maxFlow / 1000;
  const fire = studyOptions(options);
  const inpBytes = new Uint8Array(readFileSync(inp));
  const engine = new Engine(await loadEngine());
  if (engine.openProject(inpBytes) !== 0) {
    engine.closeProject();
    throw new RunEnded("Could not open INP file - OpenFile");
  }
  const cat = engine.catalogue();
  const duration = engine.o.timeParam(EN.DURATION)[1];
  engine.closeProject();
  if ((fire.demandTime + fire.fireDuration) * 3600 > duration) throw new RunEnded("The fire would end after the end of the simulation");
  const limits = constraints(dirname(resolve(inp)), cat, inputs.minPressure);
  const rows = studyRows(options, cat);
  if (mode === "design") {
    const results = new ResultsFile(resultsPath);
    try {
      studyDesign(engine, inpBytes, cat, limits, inputs, fire, rows, results);
    } finally {
      results.save();
    }
    return;
  }
  if (mode !== "available") throw new Error("--mode available|design");
  const lines = readFileSync(resultsPath).toString("latin1").split("\r\n");
  if (lines[lines.length - 1] === "") lines.pop();
  const problems = certifyStudyRows(engine, inpBytes, cat, limits, inputs, fire, rows, lines);
  for (const problem of problems) console.error(problem);
  if (problems.length > 0) throw new RunEnded(`${problems.length} rows are not certified`);
  console.log(`${lines.length - 1} rows certified`);
}

async function baseline(inp, options) {
  const minPressure = number(options, "min-pressure", "110");
  const fire = { ...studyOptions(options), fireDuration: 0 };
  const inpBytes = new Uint8Array(readFileSync(inp));
  const engine = new Engine(await loadEngine());
  if (engine.openProject(inpBytes) !== 0) throw new RunEnded(`cannot open ${inp}`);
  const cat = engine.catalogue();
  engine.closeProject();
  const limits = constraints(dirname(resolve(inp)), cat, minPressure);
  // No check junction: the network as it is at the first step of the fire.
  const r = { below: [] };
  if (engine.openProject(inpBytes) !== 0) throw new RunEnded(`cannot open ${inp}`);
  try {
    engine.o.openH();
    engine.o.initH(0);
    let next = 0;
    while (next < fire.demandTime * 3600) {
      const [, t] = engine.o.runH();
      const [, step] = engine.o.nextH();
      if (step === 0) break;
      next = t + step;
    }
    engine.o.runH();
    for (let k = 1; k <= limits.count; k++) {
      if (limits.excluded[k]) continue;
      const p = engine.getNode(k, EN.PRESSURE)[1];
      if (p < limits.minimum[k] || Number.isNaN(p)) r.below.push(cat.ids[k]);
    }
  } finally {
    engine.closeProject();
  }
  process.stdout.write(Buffer.from(r.below.map((id) => `"${id}"\r\n`).join(""), "latin1"));
}

async function nocheck(inp, pressureText) {
  const limit = f32(Number(pressureText));
  const engine = new Engine(await loadEngine());
  if (engine.openProject(new Uint8Array(readFileSync(inp))) !== 0) throw new Error(`cannot open ${inp}`);
  const cat = engine.catalogue();
  engine.o.solveH();
  const lines = [];
  for (let k = 1; k <= cat.junctionCount; k++) {
    if (engine.getNode(k, EN.PRESSURE)[1] < limit) lines.push(`"${cat.ids[k]}"\r\n`);
  }
  engine.closeProject();
  writeFileSync(join(dirname(resolve(inp)), "NoCheck.txt"), Buffer.from(lines.join(""), "latin1"));
  console.log(`${lines.length} of ${cat.junctionCount} junctions below ${limit} excluded`);
}

async function main() {
  const { command, inp, positional, options } = parseArguments(process.argv.slice(2));
  try {
    if (command === "run" && inp && positional.length === 1) await run(inp, positional[0], options);
    else if (command === "nocheck" && inp && positional.length === 1) await nocheck(inp, positional[0]);
    else if (command === "study" && inp && positional.length === 1) await study(inp, positional[0], options);
    else if (command === "baseline" && inp && positional.length === 0) await baseline(inp, options);
    else {
      console.error("usage: node fireflow.mjs run INP RESULTS --mode steady|design|duration|flow|certify [options]\n" +
        "       node fireflow.mjs nocheck INP PRESSURE");
      process.exit(2);
    }
  } catch (error) {
    if (!(error instanceof RunEnded)) throw error;
    console.error(error.message);
    process.exit(1);
  }
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  main().catch((error) => {
    console.error(error);
    process.exit(2);
  });
}
