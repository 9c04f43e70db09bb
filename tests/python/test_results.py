"""Every mode's DataFrame against the command line's results file on the same inputs, field
by field, and the module's own results file against the command line's, byte for byte."""

import json
import math
import os
import subprocess
import sys
from pathlib import Path

import pytest

import hydrosk
from conftest import SHARED_NETWORKS, SOURCE_DIR, read_results, run_cli, steady_copy

# Each case: the mode, the module's keywords, the command line's options for the same run,
# whether it runs on the steady (duration 0) copy, and the boolean column its rows may set.
CASES = {
    "steady": (
        "steady",
        dict(min_pressure=20, max_flow=5000, flow_interval=50),
        ["--min-pressure", "20", "--max-flow", "5000", "--flow-interval", "50"],
        True,
        "maximal_flow_reached",
    ),
    "steady-bisection": (
        "steady",
        dict(min_pressure=20, max_flow=5000, flow_interval=50, search="bisection"),
        ["--min-pressure", "20", "--max-flow", "5000", "--flow-interval", "50",
         "--search", "bisection"],
        True,
        "maximal_flow_reached",
    ),
    "available": (
        "available",
        dict(min_pressure=20, max_flow=5000, tolerance=2.5),
        ["--min-pressure", "20", "--max-flow", "5000", "--tolerance", "2.5"],
        True,
        "maximal_flow_reached",
    ),
    "design": (
        "design",
        dict(min_pressure=20, required_flow=2500),
        ["--min-pressure", "20", "--required-flow", "2500"],
        True,
        None,
    ),
    "duration": (
        "duration",
        dict(min_pressure=20, required_flow=1500),
        ["--min-pressure", "20", "--required-flow", "1500"],
        False,
        "end_of_simulation_reached",
    ),
    "flow": (
        "flow",
        dict(min_pressure=20, required_time=2, max_flow=3000, flow_interval=100),
        ["--min-pressure", "20", "--required-time", "2", "--max-flow", "3000",
         "--flow-interval", "100"],
        False,
        "maximal_flow_reached",
    ),
}

# Constraints as the command line reads them beside the INP file, and as Python collections.
NO_CHECK = {"J1", "J17"}
MIN_PRESSURES = {"J23": 35.0, "J20": 25.5}


REACHED_TEXTS = ("Maximal flow was reached", "End of simulation was reached")


def write_constraint_files(folder: Path) -> None:
    (folder / "NoCheck.txt").write_bytes(b"".join(f'"{j}"\r\n'.encode() for j in NO_CHECK))
    (folder / "MinPressures.txt").write_bytes(
        b"".join(f'"{j}",{p}\r\n'.encode() for j, p in MIN_PRESSURES.items())
    )


def assert_frame_matches_file(frame, records, reached_column):
    header, rows = records[0], records[1:]
    names = [column for column in frame.columns if column != reached_column]
    assert frame.index.name == "check_node"
    assert len(names) == len(header) - 1
    assert list(frame.index) == [row[0] for row in rows]
    for row in rows:
        line = frame.loc[row[0]]
        reached = any(field in REACHED_TEXTS for field in row)
        if reached_column is not None:
            assert bool(line[reached_column]) == reached, row
        for i, name in enumerate(names, start=1):
            value = line[name]
            field = row[i] if i < len(row) else None
            if field in REACHED_TEXTS:
                assert math.isnan(value), (row, name)
            elif field is None:
                assert value is None or (isinstance(value, float) and math.isnan(value)), (row, name)
            elif isinstance(field, str):
                assert value == field, (row, name)
            else:
                assert isinstance(value, float) and value == field, (row, name)


@pytest.mark.parametrize("case", CASES)
def test_every_mode_equals_the_command_line(case, tmp_path, town, town_steady):
    mode, keywords, options, steady, reached_column = CASES[case]
    inp = town_steady if steady else town
    write_constraint_files(tmp_path)
    cli_file = run_cli(inp, "--mode", mode, *options)

    own_file = tmp_path / "module-results.csv"
    frame = hydrosk.fire_flow(
        inp, mode, no_check=NO_CHECK, min_pressures=MIN_PRESSURES, results_path=own_file,
        **keywords,
    )
    records = read_results(cli_file)
    assert_frame_matches_file(frame, records, reached_column)
    assert own_file.read_bytes() == cli_file.read_bytes()
    assert [c for c in frame.columns if c.endswith("_reached")] == (
        [reached_column] if reached_column else []
    )
    assert frame.attrs["flow_units"] == "GPM" and frame.attrs["pressure_units"] == "psi"


def test_a_shared_network_in_available_mode(tmp_path):
    inp = steady_copy(SHARED_NETWORKS / "Net1.inp", tmp_path)
    cli_file = run_cli(inp, "--mode", "available", "--min-pressure", "40", "--max-flow", "3000")
    frame = hydrosk.fire_flow(inp, min_pressure=40, max_flow=3000, threads=2)
    assert_frame_matches_file(frame, read_results(cli_file), "maximal_flow_reached")
    assert frame.dtypes["available_flow"] == "float64"
    assert frame.dtypes["maximal_flow_reached"] == "bool"


def test_constraint_files_and_collections_give_the_same_results(tmp_path, town_steady):
    write_constraint_files(tmp_path)
    from_files = hydrosk.fire_flow(
        town_steady, "steady", min_pressure=20, max_flow=5000, flow_interval=50,
        no_check=tmp_path / "NoCheck.txt", min_pressures=str(tmp_path / "MinPressures.txt"),
    )
    from_collections = hydrosk.fire_flow(
        town_steady, "steady", min_pressure=20, max_flow=5000, flow_interval=50,
        no_check=sorted(NO_CHECK), min_pressures=MIN_PRESSURES,
    )
    unconstrained = hydrosk.fire_flow(
        town_steady, "steady", min_pressure=20, max_flow=5000, flow_interval=50,
    )
    assert from_files.equals(from_collections)
    # The files beside the INP file are not read unless given.
    assert not unconstrained.equals(from_collections)
    assert from_collections.loc["J23", "maximal_flow"] < unconstrained.loc["J23", "maximal_flow"]


def test_nothing_is_written_beside_the_inp_file(tmp_path, town):
    before = sorted(os.listdir(tmp_path))
    cwd = os.getcwd()
    os.chdir(tmp_path)
    try:
        hydrosk.fire_flow(town, "duration", min_pressure=20, required_flow=1500)
        hydrosk.simulate(town)
    finally:
        os.chdir(cwd)
    assert sorted(os.listdir(tmp_path)) == before


def test_the_example_writes_a_geojson_layer(tmp_path):
    layer = tmp_path / "town.geojson"
    subprocess.run([sys.executable, str(SOURCE_DIR / "examples" / "fire_flow.py"), str(layer)],
                   check=True, capture_output=True, cwd=tmp_path)
    features = json.loads(layer.read_text())["features"]
    by_id = {f["properties"]["Check_Node"]: f for f in features}
    assert len(by_id) == 24
    assert by_id["J24"]["properties"]["Available_Flow"] == 1558
    assert by_id["J1"]["properties"]["Outcome"] == "Maximal flow was reached"
    assert by_id["J24"]["geometry"]["type"] == "Point"


@pytest.mark.parametrize("mode", ["available", "design"])
def test_a_study_equals_the_command_line(mode, tmp_path, town):
    (tmp_path / "hydrants.txt").write_bytes(b'"J5"\r\n"J21"\r\nJ12\r\n')
    (tmp_path / "required.txt").write_bytes(b'"J5",1500\r\n"J21",2000\r\n')
    cli_file = run_cli(
        town, "--mode", mode, "--min-pressure", "20", "--max-flow", "3000",
        "--required-flow", "1000", "--demand-time", "18", "--fire-duration", "2",
        "--fire-demand", "add", "--max-velocity", "10",
        "--hydrants", str(tmp_path / "hydrants.txt"),
        "--required-flows", str(tmp_path / "required.txt"),
    )
    own_file = tmp_path / "module-results.csv"
    frame = hydrosk.fire_flow(
        town, mode, min_pressure=20, max_flow=3000, required_flow=1000, demand_time=18,
        fire_duration=2, fire_demand="add", max_velocity=10, hydrants={"J5", "J21", "J12"},
        required_flows={"J5": 1500, "J21": 2000}, results_path=own_file,
    )
    assert own_file.read_bytes() == cli_file.read_bytes()
    assert list(frame.index) == ["J5", "J12", "J21"]
    assert "result" in frame.columns
    assert ("limiting_pipe" if mode == "available" else "fastest_pipe") in frame.columns
    with pytest.raises(ValueError, match="fire_demand"):
        hydrosk.fire_flow(town, mode, min_pressure=20, fire_demand="both")
