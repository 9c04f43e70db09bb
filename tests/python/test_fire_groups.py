"""Fire groups: hydrants flowing together, given by a file or formed from the map, on Net3,
against the command line's runs and the rows of single junctions."""

import json
import shutil
import subprocess

import pytest

import hydrosk
from conftest import CLI, SHARED_NETWORKS, read_results, run_cli

GROUPS = b'"Pair","15","35"\r\n"Alone","20"\r\n'


@pytest.fixture
def net3(tmp_path):
    target = tmp_path / "Net3.inp"
    shutil.copyfile(SHARED_NETWORKS / "Net3.inp", target)
    (tmp_path / "groups.txt").write_bytes(GROUPS)
    return target


@pytest.mark.parametrize("mode", ["available", "design"])
def test_groups_of_a_file_equal_the_command_line(mode, net3, tmp_path):
    groups = tmp_path / "groups.txt"
    cli_file = run_cli(net3, "--mode", mode, "--min-pressure", "20", "--max-flow", "3000",
                       "--required-flow", "1500", "--fire-groups", str(groups))
    own_file = tmp_path / "module-results.csv"
    frame = hydrosk.fire_flow(net3, mode, min_pressure=20, max_flow=3000, required_flow=1500,
                              fire_groups=groups, results_path=own_file)
    assert own_file.read_bytes() == cli_file.read_bytes()
    assert list(frame.index) == ["Pair", "Alone"]
    assert [record[0] for record in read_results(own_file)[1:]] == ["Pair", "Alone"]

    # A group of one is its junction's row under the group's name.
    alone = hydrosk.fire_flow(net3, mode, min_pressure=20, max_flow=3000, required_flow=1500,
                              hydrants=["20"])
    assert frame.loc[["Alone"]].reset_index(drop=True).equals(
        alone.loc[["20"]].reset_index(drop=True))


def test_groups_formed_from_the_map_equal_the_command_line(net3, tmp_path):
    cli_file = run_cli(net3, "--mode", "available", "--min-pressure", "20", "--max-flow",
                       "3000", "--fire-groups-near", "2000", "--group-size", "3")
    own_file = tmp_path / "module-results.csv"
    frame = hydrosk.fire_flow(net3, min_pressure=20, max_flow=3000, fire_groups_near=2000,
                              group_size=3, threads=2, results_path=own_file)
    assert own_file.read_bytes() == cli_file.read_bytes()
    singles = hydrosk.fire_flow(net3, min_pressure=20, max_flow=3000, threads=2)
    assert list(frame.index) == list(singles.index)
    assert not frame.equals(singles)


def test_a_malformed_groups_file_is_refused_with_its_line(net3, tmp_path):
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b'"Pair","15","35"\r\n"Twice","15","15"\r\n')
    with pytest.raises(ValueError, match=r'line 2 \("Twice","15","15"\)'):
        hydrosk.fire_flow(net3, min_pressure=20, fire_groups=bad)


@pytest.mark.parametrize(
    "keywords, error, words",
    [
        (dict(fire_groups="groups.txt", fire_groups_near=100), ValueError,
         "fire_groups and fire_groups_near cannot be given together"),
        (dict(group_size=2), ValueError, "group_size is an option of fire_groups_near"),
        (dict(fire_groups="groups.txt", group_size=2), ValueError,
         "group_size is an option of fire_groups_near"),
        (dict(fire_groups_near=0), ValueError,
         "fire_groups_near needs a distance greater than 0"),
        (dict(fire_groups_near="far"), ValueError, "fire_groups_near: 'far' is not a number"),
        (dict(fire_groups_near=100, group_size=0), ValueError,
         "group_size: 0 is not a whole number of at least 1"),
        (dict(fire_groups_near=100, group_size=2.5), ValueError, "group_size: 2.5"),
        (dict(fire_groups="groups.txt", mode="steady"), ValueError,
         "Fire groups are tested in the available and design modes only"),
        (dict(fire_groups_near=100, mode="duration"), ValueError,
         "Fire groups are tested in the available and design modes only"),
        (dict(fire_groups="groups.txt", hydrants=["15"]), ValueError,
         "Fire groups and hydrants cannot be given together"),
        (dict(fire_groups="absent.txt"), FileNotFoundError, "fire_groups: no such file"),
    ],
)
def test_bad_group_arguments(keywords, error, words, net3, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error, match=words):
        hydrosk.fire_flow(net3, min_pressure=20, **keywords)


def test_the_export_writes_a_group_as_its_members_as_the_command_line_does(net3, tmp_path):
    results = tmp_path / "Net3.inp.TXT"
    groups = tmp_path / "groups.txt"
    hydrosk.fire_flow(net3, "design", min_pressure=20, required_flow=1500, fire_groups=groups,
                      results_path=results)
    own = tmp_path / "own.geojson"
    hydrosk.export_geojson(results, own, fire_groups=groups)
    cli = tmp_path / "cli.geojson"
    subprocess.run([CLI, "export-geojson", str(results), str(cli), "--fire-groups", str(groups)],
                   check=True, capture_output=True)
    assert own.read_bytes() == cli.read_bytes()
    features = json.loads(own.read_text())["features"]
    assert features[0]["geometry"]["type"] == "MultiPoint"
    assert features[0]["properties"]["Members"] == ["15", "35"]
    assert len(features[0]["geometry"]["coordinates"]) == 2
    with pytest.raises(ValueError, match="group_size is an option of fire_groups_near"):
        hydrosk.export_geojson(results, own, group_size=2)
