"""The module's results file equals the command line's to the bit in an interpreter started
without any glibc tunable: the toolkit's own pow and log round as EPANET 2.2's reference build
does whatever variants glibc would pick on this processor."""

import shutil

import hydrosk
from conftest import SHARED_NETWORKS, run_cli


def test_the_modules_file_equals_the_command_lines(tmp_path):
    # ky10's design check: residual pressures that show the last bits of its solves.
    inp = tmp_path / "ky10.inp"
    shutil.copyfile(SHARED_NETWORKS / "ky10.inp", inp)
    cli_file = run_cli(inp, "--mode", "design", "--min-pressure", "20", "--required-flow", "500")
    own_file = tmp_path / "module.csv"
    hydrosk.fire_flow(inp, "design", min_pressure=20, required_flow=500, results_path=own_file)
    assert own_file.read_bytes() == cli_file.read_bytes()
