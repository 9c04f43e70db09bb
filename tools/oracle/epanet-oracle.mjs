// A thin wrapper around the EPANET 2.2 WebAssembly engine of epanet-js, used only as a test
// oracle. It calls the engine's project functions (EN_open, EN_openH, ...) directly, which is
// exactly what EPANET 2.2's legacy functions (ENopen, ENopenH, ...) do on their default project.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, resolve } from "node:path";
import { pathToFileURL } from "node:url";
import EpanetEngine from "epanet-js/engines/v2.2";

const require = createRequire(import.meta.url);

// Codes of EPANET 2.2's toolkit header (epanet2_enums.h).
export const EN = Object.freeze({
  NODECOUNT: 0, TANKCOUNT: 1, LINKCOUNT: 2, PATCOUNT: 3, CURVECOUNT: 4, CONTROLCOUNT: 5,
  RULECOUNT: 6,
  JUNCTION: 0,
  BASEDEMAND: 1, PATTERN: 2, HEAD: 10, PRESSURE: 11,
  DURATION: 0, HYDSTEP: 1, QUALSTEP: 2, PATTERNSTEP: 3, PATTERNSTART: 4, REPORTSTEP: 5,
  REPORTSTART: 6, RULESTEP: 7, STARTTIME: 10,
  NOSAVE: 0, SAVE: 1,
});

// epanet-js does not export its package.json, so it is found from the engine's entry file
// (dist/engines/v2.2/index.cjs).
export function packageVersion() {
  const entry = require.resolve("epanet-js/engines/v2.2");
  const pkg = resolve(dirname(entry), "..", "..", "..", "package.json");
  return JSON.parse(readFileSync(pkg, "utf8")).version;
}

// Loads the engine. Outside a browser its own fetch of the .wasm file fails, so the bytes are
// read here and handed over; the engine's console output is dropped.
export async function loadEngine() {
  const entry = require.resolve("epanet-js/engines/v2.2");
  const wasmBinary = readFileSync(new URL("./EpanetEngine.wasm", pathToFileURL(entry)));
  const module = await EpanetEngine({ wasmBinary, print: () => {}, printErr: () => {} });
  return new Oracle(module);
}

// The engine lives in one WebAssembly memory; each call's out-parameters go to a scratch block
// allocated once. `long` is 32 bits on wasm32.
const SCRATCH_BYTES = 256;
const ID_OFFSET = 64; // room for EN_MAXID + 1 bytes and more

export class Oracle {
  constructor(module) {
    this.m = module;
    this.scratch = module._malloc(SCRATCH_BYTES);
    this.ph = 0;
  }

  // The heap views are replaced when the memory grows, so they are looked up on every use.
  i32(ptr) { return this.m.HEAP32[ptr >> 2]; }
  f64(ptr) { return this.m.HEAPF64[ptr >> 3]; }

  version() {
    this.m._EN_getversion(this.scratch);
    return this.i32(this.scratch);
  }

  withString(text, fn) {
    const ptr = this.m.allocateUTF8(text);
    try { return fn(ptr); } finally { this.m._free(ptr); }
  }

  createProject() {
    const code = this.m._EN_createproject(this.scratch);
    if (code !== 0) throw new Error(`EN_createproject failed with ${code}`);
    this.ph = this.i32(this.scratch);
    this.closed = false;
  }

  deleteProject() {
    if (this.ph !== 0) this.m._EN_deleteproject(this.ph);
    this.ph = 0;
  }

  // Puts the INP file's bytes unchanged into the engine's in-memory file system and opens it
  // with a report file there (an empty report name would make EPANET write to stdout).
  open(inpBytes) {
    this.m.FS.writeFile("/network.inp", inpBytes);
    return this.withString("/network.inp", (inp) =>
      this.withString("/network.rpt", (rpt) =>
        this.withString("", (out) => this.m._EN_open(this.ph, inp, rpt, out))));
  }

  report() {
    try { return this.m.FS.readFile("/network.rpt", { encoding: "binary" }); } catch { return new Uint8Array(); }
  }

  // EPANET 2.2 closes the report file again on a second EN_close, which faults.
  close() {
    if (this.closed) return 0;
    this.closed = true;
    return this.m._EN_close(this.ph);
  }

  intOut(fn) {
    const code = fn(this.scratch);
    return [code, this.i32(this.scratch)];
  }

  count(what) { return this.intOut((p) => this.m._EN_getcount(this.ph, what, p)); }
  flowUnits() { return this.intOut((p) => this.m._EN_getflowunits(this.ph, p)); }
  timeParam(what) { return this.intOut((p) => this.m._EN_gettimeparam(this.ph, what, p)); }
  nodeType(i) { return this.intOut((p) => this.m._EN_getnodetype(this.ph, i, p)); }
  linkType(i) { return this.intOut((p) => this.m._EN_getlinktype(this.ph, i, p)); }

  linkNodes(i) {
    const code = this.m._EN_getlinknodes(this.ph, i, this.scratch, this.scratch + 4);
    return [code, this.i32(this.scratch), this.i32(this.scratch + 4)];
  }

  nodeValue(i, what) {
    const code = this.m._EN_getnodevalue(this.ph, i, what, this.scratch);
    return [code, this.f64(this.scratch)];
  }

  // IDs are read as raw bytes from the engine's memory: EPANET keeps the INP file's bytes, and
  // decoding them as UTF-8 would garble Latin-1 IDs.
  rawId(fn) {
    const ptr = this.scratch + ID_OFFSET;
    this.m.HEAPU8.fill(0, ptr, this.scratch + SCRATCH_BYTES);
    const code = fn(ptr);
    const heap = this.m.HEAPU8;
    let end = ptr;
    while (end < this.scratch + SCRATCH_BYTES && heap[end] !== 0) end++;
    return [code, heap.slice(ptr, end)];
  }

  nodeId(i) { return this.rawId((p) => this.m._EN_getnodeid(this.ph, i, p)); }
  linkId(i) { return this.rawId((p) => this.m._EN_getlinkid(this.ph, i, p)); }
  patternId(i) { return this.rawId((p) => this.m._EN_getpatternid(this.ph, i, p)); }

  openH() { return this.m._EN_openH(this.ph); }
  initH(flag) { return this.m._EN_initH(this.ph, flag); }
  runH() { return this.intOut((p) => this.m._EN_runH(this.ph, p)); }
  nextH() { return this.intOut((p) => this.m._EN_nextH(this.ph, p)); }
  closeH() { return this.m._EN_closeH(this.ph); }
  solveH() { return this.m._EN_solveH(this.ph); }
  setTimeParam(what, value) { return this.m._EN_settimeparam(this.ph, what, value); }
}
