#!/usr/bin/python3
"""What the Python module costs over the command line: ky10's available flows (minimum 20
psi, maximal flow 1500 gpm, the 5 junctions below 20 psi at no extra demand not checked, one
worker thread), run alternately by `hydrosk-cli fireflow` and by `hydrosk.fire_flow` in a
fresh interpreter, each in a process of its own.

    /usr/bin/python3 benchmarks/python_overhead.py BUILD_DIR SHARED_NETWORKS [ROUNDS]

CPU time (user + system) is compared, since the machine is shared; wall time is shown too.
For the module it is given twice: the fire_flow call alone, and the whole process (the
interpreter's start and the import of pandas included). The module runs once with the glibc
tunable that turns off glibc's FMA variants and once without it (the toolkit's own pow and log
make them the same; before it had them, the command line ran with that tunable).
"""

import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

PUMP_SIDE = ["I-Pump-1", "I-Pump-2", "I-Pump-3", "O-Pump-1", "I-Pump-4"]
TUNABLE = "glibc.cpu.hwcaps=-AVX2,-FMA"  # toolkit/portable_math.h

MODULE_RUN = """
import json, sys, time
import hydrosk
t0, c0 = time.perf_counter(), time.process_time()
frame = hydrosk.fire_flow(sys.argv[1], "available", min_pressure=20, max_flow=1500,
                          threads=1, no_check=set(sys.argv[2:]))
print(json.dumps({"call_cpu": time.process_time() - c0, "call_wall": time.perf_counter() - t0,
                  "rows": len(frame)}))
"""


def timed(command, environment):
    """Runs a command; its CPU and wall seconds and its standard output."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    completed = subprocess.run(command, env=environment, capture_output=True, text=True,
                               check=True)
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, completed.stdout


def main():
    build, networks = Path(sys.argv[1]).resolve(), Path(sys.argv[2])
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    folder = Path(tempfile.mkdtemp(prefix="hydrosk-overhead-"))
    inp = folder / "ky10.inp"
    shutil.copyfile(networks / "ky10.inp", inp)
    (folder / "NoCheck.txt").write_bytes(b"".join(f'"{j}"\r\n'.encode() for j in PUMP_SIDE))

    plain = {k: v for k, v in os.environ.items() if k != "GLIBC_TUNABLES"}
    plain["PYTHONPATH"] = str(build / "python")
    tuned = dict(plain, GLIBC_TUNABLES=TUNABLE)
    module = [sys.executable, "-c", MODULE_RUN, str(inp), *PUMP_SIDE]
    runs = {
        "command line": ([str(build / "cli" / "hydrosk-cli"), "fireflow", str(inp), "--mode",
                          "available", "--min-pressure", "20", "--max-flow", "1500",
                          "--threads", "1"], plain),
        "module, with the tunable": (module, tuned),
        "module, without it": (module, plain),
    }
    times = {name: [] for name in runs}
    calls = {name: [] for name in runs}
    for _ in range(rounds):
        for name, (command, environment) in runs.items():
            cpu, wall, output = timed(command, environment)
            times[name].append((cpu, wall))
            if name != "command line":
                calls[name].append(json.loads(output))
    shutil.rmtree(folder)

    cli_cpu = statistics.median(cpu for cpu, _ in times["command line"])
    print(f"{rounds} rounds alternated, medians (CPU s, wall s in brackets):")
    for name in runs:
        cpu = statistics.median(c for c, _ in times[name])
        wall = statistics.median(w for _, w in times[name])
        line = f"  {name:26} process {cpu:6.2f} ({wall:6.2f})  {cpu / cli_cpu:5.3f}"
        if calls[name]:
            call_cpu = statistics.median(c["call_cpu"] for c in calls[name])
            call_wall = statistics.median(c["call_wall"] for c in calls[name])
            line += f"   fire_flow call {call_cpu:6.2f} ({call_wall:6.2f})  {call_cpu / cli_cpu:5.3f}"
        print(line)


if __name__ == "__main__":
    main()
