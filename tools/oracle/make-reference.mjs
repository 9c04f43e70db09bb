// Writes, for every *.inp file of a networks folder, a text file <name>.ref telling what
// EPANET 2.2 (the WebAssembly engine of epanet-js) does with it: the open code, the network
// catalogue, and the pressures of every hydraulic step. The conformance tests read these files.
//
//   node make-reference.mjs [networks-folder] [output-folder] [network-name ...]
//
// Defaults: the shared networks beside the repository and <repo>/build/conformance-reference.
// Naming networks (without .inp) limits the run to them. The line format is described in
// README.md beside this script.
import { mkdir, readdir, readFile, rename, writeFile } from "node:fs/promises";
import { basename, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { EN, loadEngine, packageVersion } from "./epanet-oracle.mjs";

const here = fileURLToPath(new URL(".", import.meta.url));
const networksDir = resolve(process.argv[2] ?? join(here, "..", "..", "..", "shared", "networks"));
const outDir = resolve(process.argv[3] ?? join(here, "..", "..", "build", "conformance-reference"));
const onlyNames = new Set(process.argv.slice(4));

// A network that never reaches the end of its duration would otherwise run for ever.
const MAX_STEPS = 100000;
const WARNING_LIMIT = 100; // EPANET codes above this are errors, 1..6 are warnings

// Nine significant digits keep every float the legacy functions return; strtod and
// std::from_chars read the result, including nan and inf.
export function formatNumber(x) {
  if (Number.isNaN(x)) return "nan";
  if (!Number.isFinite(x)) return x > 0 ? "inf" : "-inf";
  const text = x.toPrecision(9);
  const [mantissa, exponent] = text.split("e");
  const trimmed = mantissa.includes(".") ? mantissa.replace(/0+$/, "").replace(/\.$/, "") : mantissa;
  return exponent === undefined ? trimmed : `${trimmed}e${exponent}`;
}

const hex = (bytes) => Buffer.from(bytes).toString("hex");

class Writer {
  constructor() { this.lines = []; }
  add(...fields) { this.lines.push(fields.join(" ")); }
  text() { return this.lines.join("\n") + "\n"; }
}

// Input errors EPANET listed in its report file ("Error 201: syntax error ..."), in order.
function reportedErrors(reportBytes) {
  const text = Buffer.from(reportBytes).toString("latin1");
  return [...text.matchAll(/^\s*Error (\d+):/gm)].map((match) => Number(match[1]));
}

function writeCatalogue(oracle, out) {
  const [, units] = oracle.flowUnits();
  out.add("flowunits", units);
  const counts = [EN.NODECOUNT, EN.TANKCOUNT, EN.LINKCOUNT, EN.PATCOUNT, EN.CURVECOUNT,
    EN.CONTROLCOUNT, EN.RULECOUNT].map((what) => oracle.count(what)[1]);
  out.add("counts", ...counts);
  const times = [EN.DURATION, EN.HYDSTEP, EN.QUALSTEP, EN.PATTERNSTEP, EN.PATTERNSTART,
    EN.REPORTSTEP, EN.REPORTSTART, EN.RULESTEP, EN.STARTTIME].map((what) => oracle.timeParam(what)[1]);
  out.add("times", ...times);

  const [nodes, , links, patterns] = counts;
  for (let i = 1; i <= nodes; i++) out.add("node", i, oracle.nodeType(i)[1], hex(oracle.nodeId(i)[1]));
  for (let i = 1; i <= links; i++) {
    const [, from, to] = oracle.linkNodes(i);
    out.add("link", i, oracle.linkType(i)[1], from, to, hex(oracle.linkId(i)[1]));
  }
  for (let i = 1; i <= patterns; i++) out.add("pattern", i, hex(oracle.patternId(i)[1]));
  for (let i = 1; i <= nodes; i++) {
    if (oracle.nodeType(i)[1] !== EN.JUNCTION) continue;
    out.add("demand", i, formatNumber(oracle.nodeValue(i, EN.BASEDEMAND)[1]),
      oracle.nodeValue(i, EN.PATTERN)[1]);
  }
  return nodes;
}

function pressures(oracle, nodes) {
  const values = new Array(nodes);
  for (let i = 1; i <= nodes; i++) values[i - 1] = formatNumber(oracle.nodeValue(i, EN.PRESSURE)[1]);
  return values;
}

// ENopenH, ENinitH(0), then ENrunH / ENnextH until the next step is 0, as a program that
// steps through the simulation does.
function writeSteps(oracle, out, nodes) {
  const openCode = oracle.openH();
  out.add("openH", openCode);
  let steps = 0;
  if (openCode <= WARNING_LIMIT) {
    const initCode = oracle.initH(EN.NOSAVE);
    out.add("initH", EN.NOSAVE, initCode);
    if (initCode <= WARNING_LIMIT) {
      for (;;) {
        const [runCode, t] = oracle.runH();
        out.add("step", t, runCode);
        if (runCode > WARNING_LIMIT) break;
        out.add("p", ...pressures(oracle, nodes));
        steps++;
        const [nextCode, tstep] = oracle.nextH();
        out.add("next", tstep, nextCode);
        if (nextCode > WARNING_LIMIT || tstep <= 0) break;
        if (steps >= MAX_STEPS) {
          out.add("capped", MAX_STEPS);
          break;
        }
      }
    }
  }
  out.add("end", steps, oracle.closeH());
}

function referenceFor(oracle, name, inpBytes, header) {
  const out = new Writer();
  out.add(...header);
  out.add("network", name);

  oracle.createProject();
  try {
    const openCode = oracle.open(inpBytes);
    out.add("open", openCode);
    if (openCode > WARNING_LIMIT) {
      out.add("error", openCode);
      // The report file is complete only once the project is closed.
      oracle.close();
      for (const code of reportedErrors(oracle.report())) out.add("rpterror", code);
    } else {
      const nodes = writeCatalogue(oracle, out);
      writeSteps(oracle, out, nodes);
    }
  } finally {
    oracle.close();
    oracle.deleteProject();
  }

  // ENsolveH on a fresh copy: it runs the whole period and leaves the last step's results.
  oracle.createProject();
  try {
    const openCode = oracle.open(inpBytes);
    if (openCode <= WARNING_LIMIT) {
      out.add("solveH", oracle.solveH());
      out.add("sp", ...pressures(oracle, oracle.count(EN.NODECOUNT)[1]));
    }
  } finally {
    oracle.close();
    oracle.deleteProject();
  }
  out.add("done");
  return out.text();
}

async function main() {
  const oracle = await loadEngine();
  const header = ["oracle", "epanet-js", packageVersion(), "engine", "v2.2", "version", oracle.version()];
  const names = (await readdir(networksDir))
    .filter((file) => file.endsWith(".inp"))
    .map((file) => basename(file, ".inp"))
    .filter((name) => onlyNames.size === 0 || onlyNames.has(name))
    .sort();
  if (names.length === 0) throw new Error(`no .inp files in ${networksDir}`);
  await mkdir(outDir, { recursive: true });

  for (const name of names) {
    const started = performance.now();
    const inpBytes = new Uint8Array(await readFile(join(networksDir, `${name}.inp`)));
    const text = referenceFor(oracle, name, inpBytes, header);
    // Written under a temporary name first so that a cut-off run leaves no half file behind.
    const target = join(outDir, `${name}.ref`);
    await writeFile(`${target}.tmp`, text);
    await rename(`${target}.tmp`, target);
    const seconds = ((performance.now() - started) / 1000).toFixed(2);
    console.log(`${name}.ref written (${seconds} s)`);
  }
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  main().catch((error) => {
    console.error(error);
    process.exit(1);
  });
}
