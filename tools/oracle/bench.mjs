// Times EPANET 2.2 (epanet-js, WebAssembly) on the large shared networks, as a yardstick for
// our own toolkit's benchmarks. Prints the median of several repeats in milliseconds.
//
//   node bench.mjs [networks-folder]
import { readFileSync } from "node:fs";
import { join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { EN, loadEngine, packageVersion } from "./epanet-oracle.mjs";

const here = fileURLToPath(new URL(".", import.meta.url));
const networksDir = resolve(process.argv[2] ?? join(here, "..", "..", "..", "shared", "networks"));

const STEADY_REPEATS = 15;
const EPS_REPEATS = 5;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

function check(code, what) {
  if (code > 100) throw new Error(`${what} failed with EPANET error ${code}`);
}

function timed(repeats, fn) {
  fn(); // a first run warms the WebAssembly tiers up and is not counted
  const samples = [];
  for (let i = 0; i < repeats; i++) {
    const started = performance.now();
    fn();
    samples.push(performance.now() - started);
  }
  return median(samples);
}

function withProject(oracle, name, fn) {
  const bytes = new Uint8Array(readFileSync(join(networksDir, `${name}.inp`)));
  oracle.createProject();
  try {
    check(oracle.open(bytes), `opening ${name}`);
    return fn();
  } finally {
    oracle.close();
    oracle.deleteProject();
  }
}

// The steady state: ENopenH, ENinitH, one ENrunH at t = 0, ENcloseH on an open project.
function steady(oracle, name) {
  return withProject(oracle, name, () => timed(STEADY_REPEATS, () => {
    check(oracle.openH(), "ENopenH");
    check(oracle.initH(EN.NOSAVE), "ENinitH");
    const [code, t] = oracle.runH();
    check(code, "ENrunH");
    if (t !== 0) throw new Error(`first step at ${t} s`);
    oracle.closeH();
  }));
}

// The whole extended period by ENsolveH.
function extendedPeriod(oracle, name) {
  return withProject(oracle, name, () => timed(EPS_REPEATS, () => check(oracle.solveH(), "ENsolveH")));
}

function opening(oracle, name) {
  const bytes = new Uint8Array(readFileSync(join(networksDir, `${name}.inp`)));
  return timed(STEADY_REPEATS, () => {
    oracle.createProject();
    check(oracle.open(bytes), `opening ${name}`);
    oracle.close();
    oracle.deleteProject();
  });
}

const oracle = await loadEngine();
console.log(`epanet-js ${packageVersion()} engine v2.2 (EPANET ${oracle.version()}), node ${process.version}`);
const results = [
  ["Net6 open (ENopen + ENclose)", opening(oracle, "Net6")],
  ["Net6 steady (openH, initH, runH at t=0, closeH)", steady(oracle, "Net6")],
  ["ky10 steady (openH, initH, runH at t=0, closeH)", steady(oracle, "ky10")],
  ["Net6 whole extended period (ENsolveH)", extendedPeriod(oracle, "Net6")],
];
for (const [what, ms] of results) console.log(`${what.padEnd(52)} ${ms.toFixed(2)} ms (median)`);
