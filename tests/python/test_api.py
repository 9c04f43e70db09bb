"""Errors with their codes and the command line's messages, bad arguments, notices, and
simulate against `hydrosk-cli simulate`."""

import subprocess

import pytest

import hydrosk
from conftest import CLI, SHARED_NETWORKS


def cli_error(*arguments: str) -> str:
    completed = subprocess.run([CLI, *arguments], capture_output=True, text=True, check=False)
    assert completed.returncode in (1, 2)  # 2: refused while reading the options
    return completed.stderr.strip().removesuffix("Run with --help for more information.").strip()


def test_a_refused_inp_file_raises_input_error_with_each_error(tmp_path):
    bad = SHARED_NETWORKS / "bad_syntax.inp"
    with pytest.raises(hydrosk.InputError) as raised:
        hydrosk.fire_flow(bad, min_pressure=20)
    error = raised.value
    assert str(error) == cli_error("fireflow", str(bad), "--mode", "available")
    assert error.code == 200
    assert [(e.code, e.section, e.text) for e in error.errors] == [(201, "[TIMES]", "[FOO]")]
    assert error.errors[0].line > 0
    assert error.errors[0].message.startswith("Error 201: syntax error")

    with pytest.raises(hydrosk.InputError) as raised:
        hydrosk.simulate(bad)
    assert str(raised.value) == cli_error("simulate", str(bad))
    assert raised.value.errors == error.errors

    # A file the toolkit cannot read at all: no input errors, the open's code.
    with pytest.raises(hydrosk.InputError) as raised:
        hydrosk.fire_flow(tmp_path, min_pressure=20)
    assert raised.value.code == 302 and raised.value.errors == []


@pytest.mark.parametrize(
    "keywords, options",
    [
        (dict(mode="available", tolerance=1e-9), ["--mode", "available", "--tolerance", "1e-9"]),
        (dict(mode="duration"), ["--mode", "duration"]),  # a network of duration 0
    ],
)
def test_refused_inputs_raise_value_error_with_the_command_lines_message(
    keywords, options, town_steady
):
    with pytest.raises(ValueError) as raised:
        hydrosk.fire_flow(town_steady, min_pressure=20, **keywords)
    assert str(raised.value) == cli_error("fireflow", str(town_steady), "--min-pressure", "20",
                                          *options)


def test_a_flow_interval_of_zero_is_refused(town_steady):
    with pytest.raises(ValueError, match="flow interval greater than zero"):
        hydrosk.fire_flow(town_steady, min_pressure=20, mode="steady", flow_interval=0)


@pytest.mark.parametrize(
    "keywords, error, words",
    [
        (dict(mode="fast"), ValueError, "mode: 'fast' is not one of"),
        (dict(search="binary"), ValueError, "search: 'binary'"),
        (dict(min_pressure="20"), ValueError, "min_pressure: '20' is not a number"),
        (dict(max_flow=float("inf")), ValueError, "max_flow: inf is not a finite number"),
        (dict(tolerance=True), ValueError, "tolerance: True is not a number"),
        (dict(threads=0), ValueError, "threads: 0 is not a whole number of at least 1"),
        (dict(threads=1.5), ValueError, "threads: 1.5"),
        (dict(no_check=[1]), ValueError, "no_check: 1 is not a junction ID"),
        (dict(min_pressures={"J1": "high"}), ValueError, "min_pressures['J1']: 'high'"),
        (dict(min_pressures=["J1"]), ValueError, "min_pressures: give a dict"),
        (dict(no_check="missing.txt"), FileNotFoundError, "no_check: no such file"),
        (dict(progress=5), ValueError, "progress: 5 is not callable"),
    ],
)
def test_bad_arguments(keywords, error, words, town_steady):
    arguments = dict(min_pressure=20) | keywords
    with pytest.raises(error, match=words.replace("[", r"\[").replace("(", r"\(")):
        hydrosk.fire_flow(town_steady, **arguments)


def test_paths_that_cannot_serve(town_steady, tmp_path):
    with pytest.raises(FileNotFoundError):
        hydrosk.fire_flow(tmp_path / "absent.inp", min_pressure=20)
    with pytest.raises(ValueError, match="results_path: .* is the INP file"):
        hydrosk.fire_flow(town_steady, min_pressure=20, results_path=town_steady)
    with pytest.raises(TypeError):
        hydrosk.fire_flow(town_steady)  # min_pressure has no default


def test_constraint_ids_that_are_not_junctions_are_a_warning(town_steady):
    with pytest.warns(hydrosk.RunWarning, match="NOPE"):
        frame = hydrosk.fire_flow(town_steady, min_pressure=20, no_check={"NOPE", "J1"})
    assert len(frame) == 24


def test_export_geojson_warns_once_of_rows_that_are_not_the_networks(town, tmp_path):
    results = tmp_path / "odd.inp.TXT"
    hydrosk.fire_flow(town, "duration", min_pressure=20, required_flow=1500, results_path=results)
    with results.open("ab") as file:
        file.write(b'"ZZZ",1500,1\r\n')
    with pytest.warns(UserWarning, match="1 row names no junction of it") as warned:
        hydrosk.export_geojson(results, tmp_path / "odd.geojson", inp=town)
    assert len(warned) == 1
    with pytest.raises(OSError, match="is an input of the export"):
        hydrosk.export_geojson(results, results, inp=town)


def test_simulate_equals_the_command_line():
    inp = SHARED_NETWORKS / "Net1.inp"
    frame = hydrosk.simulate(inp)
    printed = subprocess.run([CLI, "simulate", str(inp)], capture_output=True, text=True,
                             check=True).stdout.splitlines()
    assert len(printed) == frame.size
    for line in printed:
        time, node, pressure = line.split(",")
        assert f"{frame.loc[int(time), node]:.10g}" == pressure
    assert frame.index.name == "time" and frame.columns.name == "node"
    assert frame.attrs["pressure_units"] == "psi"
