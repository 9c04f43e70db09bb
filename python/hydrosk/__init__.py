"""Fire-flow analysis of EPANET networks, with results as pandas DataFrames.

The same hydraulic engine and searches as ``hydrosk-cli fireflow`` and the window:

    >>> import hydrosk
    >>> df = hydrosk.fire_flow("town-steady.inp", "available", min_pressure=20, max_flow=5000)
    >>> df.loc["J3", "available_flow"]
    2748.0

Runs release the global interpreter lock, so other Python threads go on meanwhile; Ctrl+C
(KeyboardInterrupt) stops a run within a second. Nothing is read or written beside the INP
file unless asked (``results_path=``, constraint files given as paths).

Exactness: the toolkit computes pow and log with its own functions, which round as EPANET
2.2's reference build does on every processor, so the module's results equal the command
line's to the bit in any interpreter.
"""

from __future__ import annotations

import math
import numbers
import operator
import os
import re
import warnings
from collections.abc import Callable, Iterable, Mapping
from typing import NamedTuple, Optional, Union

import pandas as pd

from . import _core

__all__ = [
    "MODES",
    "InpError",
    "InputError",
    "RunWarning",
    "export_geojson",
    "fire_flow",
    "simulate",
]

#: The questions fire_flow answers, as ``hydrosk-cli fireflow --mode`` names them.
MODES = ("steady", "available", "design", "duration", "flow")
SEARCHES = ("linear", "bisection")
FIRE_DEMANDS = ("replace", "add")

PathLike = Union[str, "os.PathLike[str]"]
Progress = Callable[[int, int], object]


class InpError(NamedTuple):
    """One input error of an INP file, as EPANET's report gives it."""

    code: int  #: EPANET's code (201 syntax error, 203 undefined node, ...)
    section: str  #: "[PIPES]", ...; empty for errors found after reading
    line: int  #: 1-based line number; 0 for errors found after reading
    text: str  #: the line itself (the element's ID for errors found after reading)
    message: str  #: what EPANET's report says of it


class InputError(Exception):
    """The toolkit refused to open the INP file.

    ``code`` is the code of the open (200: one or more errors in the input file, 302: cannot
    open input file, ...); ``errors`` lists each input error (InpError) in file order. The
    message is the command line's.
    """

    def __init__(self, message: str, code: int, errors: list[InpError]):
        super().__init__(message)
        self.code = code
        self.errors = errors


class RunWarning(UserWarning):
    """A notice of a run that went on: constraint IDs that are not junctions of the network,
    trials whose hydraulic solve failed, warnings of a simulation."""


def fire_flow(
    inp: PathLike,
    mode: str = "available",
    *,
    min_pressure: float,
    max_flow: float = 1000.0,
    tolerance: Optional[float] = None,
    flow_interval: float = 10.0,
    required_flow: float = 100.0,
    required_time: float = 1.5,
    search: str = "linear",
    threads: Optional[int] = None,
    no_check: Union[None, PathLike, Iterable[str]] = None,
    min_pressures: Union[None, PathLike, Mapping[str, float]] = None,
    results_path: Optional[PathLike] = None,
    progress: Optional[Progress] = None,
    demand_time: float = 0.0,
    fire_duration: float = 0.0,
    fire_demand: str = "replace",
    max_velocity: Optional[float] = None,
    required_flows: Union[None, PathLike, Mapping[str, float]] = None,
    hydrants: Union[None, PathLike, Iterable[str]] = None,
    fire_groups: Optional[PathLike] = None,
    fire_groups_near: Optional[float] = None,
    group_size: Optional[int] = None,
) -> pd.DataFrame:
    """Fire-flow analysis of every junction of an INP network, as ``hydrosk-cli fireflow``.

    Numbers are in the network's own units (its flow and pressure units; times in hours).

    mode: the question asked of each junction (the check junction):
        "steady"     the first trial flow, 0, flow_interval, ... up to max_flow, at which some
                     junction falls below its minimum (INP duration 0);
        "available"  the largest flow it can draw with every junction at its minimum, to within
                     tolerance (default max_flow / 1000), certified (INP duration 0);
        "design"     does every junction keep its minimum while it draws required_flow?
                     (INP duration 0);
        "duration"   how long it can draw required_flow (extended period);
        "flow"       the last trial flow, in steps, that holds for required_time hours
                     (extended period).
    min_pressure: the minimal pressure of every junction.
    search: "linear" or "bisection", how the steady and flow modes find the failing trial.
    threads: worker threads; None for every hardware thread. The results do not depend on it.
    no_check: junctions whose pressure is never tested: IDs (a set, a list) or the path of a
        file in the layout of NoCheck.txt.
    min_pressures: junctions with a minimal pressure of their own: a dict ID -> pressure or the
        path of a file in the layout of MinPressures.txt.
    results_path: also write the command line's results file there (written whole or not
        at all).
    progress: called as progress(done, total) with the junctions done, from this thread, at
        most ten times a second; an exception it raises stops the run and is raised here.
    demand_time, fire_duration, fire_demand, max_velocity, required_flows: a fire-flow study
        (available and design modes, any INP duration), as the command line's --demand-time,
        --fire-duration, --fire-demand ("replace" or "add"), --max-velocity and
        --required-flows (a dict ID -> flow or the path of a file in the layout of
        MinPressures.txt); the results then have the study's columns.
    hydrants: only these junctions get rows (IDs or the path of a file in the layout of
        NoCheck.txt), each the row of the full run; every mode.
    fire_groups: hydrants flowing together (available and design modes, not with hydrants),
        as the command line's --fire-groups: the path of a file of one group a line,
        "NAME","J1","J2",...; each group's trial has its members draw the flow together, each
        an equal share, and the group's row is indexed by its name, in the file's order.
    fire_groups_near, group_size: the groups formed from the map instead, as --fire-groups-near
        and --group-size: every junction with its nearest junctions within fire_groups_near
        (map units of [COORDINATES], read as a flat plane), up to group_size members in all
        (default 3), each group named by its junction.

    Returns a DataFrame indexed by the check junction's ID ("check_node"), one column per field
    of the results file in snake case ("available_flow", "limiting_node", ...), numbers as
    floats. Where a row says "Maximal flow was reached" or "End of simulation was reached",
    the boolean column "maximal_flow_reached" or "end_of_simulation_reached" is True and the
    number's column holds NaN. ``df.attrs`` holds "flow_units", "pressure_units", "units"
    (the unit of each column) and "mode".

    Raises InputError for an INP file the toolkit refuses, FileNotFoundError for a missing
    file, ValueError for bad arguments and for inputs the run refuses (with the run's message),
    RuntimeError for a run that failed, KeyboardInterrupt when interrupted. Notices come as
    RunWarning. A run interrupted (or out of memory) leaves ``results_path`` as it was and
    writes the rows finished to ``<results_path>.partial``.
    """
    request = _core.FireFlowRequest()
    request.inp = _existing_file("inp", inp)
    if mode not in MODES:
        raise ValueError(f"mode: {mode!r} is not one of {', '.join(MODES)}")
    request.mode = mode
    request.min_pressure = _number("min_pressure", min_pressure)
    request.max_flow = _number("max_flow", max_flow)
    request.flow_interval = _number("flow_interval", flow_interval)
    request.required_flow = _number("required_flow", required_flow)
    request.required_time = _number("required_time", required_time)
    request.tolerance = None if tolerance is None else _number("tolerance", tolerance)
    if search not in SEARCHES:
        raise ValueError(f"search: {search!r} is not one of {', '.join(SEARCHES)}")
    request.search = search
    request.threads = _threads(threads)
    request.no_check = _no_check(no_check)
    request.min_pressures = _min_pressures(min_pressures)
    request.results_path = _results_path(results_path, request.inp)
    request.demand_time = _number("demand_time", demand_time)
    request.fire_duration = _number("fire_duration", fire_duration)
    if fire_demand not in FIRE_DEMANDS:
        raise ValueError(f"fire_demand: {fire_demand!r} is not one of {', '.join(FIRE_DEMANDS)}")
    request.fire_demand = fire_demand
    request.max_velocity = None if max_velocity is None else _number("max_velocity", max_velocity)
    if required_flows is not None:
        request.required_flows = _min_pressures(required_flows, "required_flows")
    if hydrants is not None:
        request.hydrants = _no_check(hydrants, "hydrants")
    groups = _fire_groups(fire_groups, fire_groups_near, group_size)
    request.fire_groups = groups.fire_groups
    request.fire_groups_near = groups.fire_groups_near
    if groups.group_size is not None:
        request.group_size = groups.group_size
    _check_progress(progress)

    result = _core.run_fire_flow(request, progress)
    _raise_if_ended(result, request.inp)
    for notice in result["notices"]:
        warnings.warn(notice, RunWarning, stacklevel=2)
    return _results_frame(result, mode)


def simulate(inp: PathLike, *, progress: Optional[Progress] = None) -> pd.DataFrame:
    """The pressure of every node at every hydraulic step of the INP file's simulation, as
    ``hydrosk-cli simulate`` prints them: a DataFrame indexed by the time in seconds ("time"),
    one column per node ID, in the network's pressure units (``df.attrs["pressure_units"]``).

    progress: called as progress(seconds simulated, duration) at most ten times a second.
    Raises InputError for an INP file the toolkit refuses, RuntimeError for a hydraulic error
    that ends the simulation; warnings come as RunWarning.
    """
    path = _existing_file("inp", inp)
    _check_progress(progress)
    result = _core.simulate(path, progress)
    if result["inp_code"] != 0:
        # Named as the command line names it.
        raise InputError(f"{path}: {result['message']}", result["inp_code"], _inp_errors(result))
    for warning in result["warnings"]:
        warnings.warn(warning, RunWarning, stacklevel=2)
    if result["failure"]:
        raise RuntimeError(result["failure"])
    frame = pd.DataFrame(
        result["pressure"],
        index=pd.Index(result["times"], name="time", dtype="int64"),
        columns=pd.Index(result["node_ids"], name="node"),
    )
    frame.attrs = {
        "pressure_units": result["pressure_units"],
        "flow_units": result["flow_units"],
    }
    return frame


def export_geojson(
    results_path: PathLike,
    geojson_path: PathLike,
    *,
    inp: Optional[PathLike] = None,
    fire_groups: Optional[PathLike] = None,
    fire_groups_near: Optional[float] = None,
    group_size: Optional[int] = None,
) -> None:
    """Writes a results file as a GeoJSON layer, as ``hydrosk-cli export-geojson``: one Point
    feature per junction at its INP coordinates, the file's columns as properties and an
    "Outcome". inp: the network, by default the results path without its last extension.
    fire_groups, fire_groups_near, group_size: the groups of a run of fire groups, as
    fire_flow takes them; each group's row is a MultiPoint feature of its members, with
    "Members", their IDs. Rows that name no junction of the network (nor group), or repeat
    one, are counted in one warning."""
    results = _existing_file("results_path", results_path)
    network = "" if inp is None else _existing_file("inp", inp)
    groups = _fire_groups(fire_groups, fire_groups_near, group_size)
    sizes = {} if groups.group_size is None else {"group_size": groups.group_size}
    warning = _core.export_geojson(
        results, network, os.fspath(geojson_path), groups.fire_groups, groups.fire_groups_near,
        **sizes,
    )
    if warning:
        warnings.warn(warning, stacklevel=2)


def _existing_file(name: str, path: PathLike) -> str:
    if not isinstance(path, (str, os.PathLike)):
        raise ValueError(f"{name}: {path!r} is not a path")
    text = os.fspath(path)
    if not os.path.exists(text):
        raise FileNotFoundError(2, f"{name}: no such file", text)
    return text


def _number(name: str, value: object) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise ValueError(f"{name}: {value!r} is not a number")
    number = float(value)
    if not math.isfinite(number):
        raise ValueError(f"{name}: {value!r} is not a finite number")
    return number


def _whole_number(name: str, value) -> int:
    """`value` as a whole number of at least 1; ValueError naming `name` otherwise."""
    try:
        count = operator.index(value)
    except TypeError:
        count = 0
    if isinstance(value, bool) or count < 1:
        raise ValueError(f"{name}: {value!r} is not a whole number of at least 1")
    return count


def _threads(threads: Optional[int]) -> int:
    if threads is None:
        return 0
    return _whole_number("threads", threads)


def _no_check(
    no_check: Union[None, PathLike, Iterable[str]], name: str = "no_check"
) -> list[str]:
    if no_check is None:
        return []
    if isinstance(no_check, (str, os.PathLike)):
        return _core.read_no_check(_existing_file(name, no_check))
    ids = list(no_check)
    for junction in ids:
        if not isinstance(junction, str):
            raise ValueError(f"{name}: {junction!r} is not a junction ID")
    # A set has no order of its own; the notice of unknown IDs lists them in this one.
    return sorted(ids) if isinstance(no_check, (set, frozenset)) else ids


def _min_pressures(
    min_pressures: Union[None, PathLike, Mapping[str, float]], name: str = "min_pressures"
) -> list[tuple[str, float]]:
    if min_pressures is None:
        return []
    if isinstance(min_pressures, (str, os.PathLike)):
        return _core.read_min_pressures(_existing_file(name, min_pressures))
    if not isinstance(min_pressures, Mapping):
        raise ValueError(f"{name}: give a dict of junction ID -> value, or a path")
    pressures = []
    for junction, pressure in min_pressures.items():
        if not isinstance(junction, str):
            raise ValueError(f"{name}: {junction!r} is not a junction ID")
        pressures.append((junction, _number(f"{name}[{junction!r}]", pressure)))
    return pressures


class _GroupSource(NamedTuple):
    """Where fire groups come from, checked: a groups file or the map (distance, size)."""

    fire_groups: Optional[str] = None
    fire_groups_near: Optional[float] = None
    group_size: Optional[int] = None  # None: the command line's default


def _fire_groups(
    fire_groups: Optional[PathLike], near: Optional[float], group_size: Optional[int]
) -> _GroupSource:
    # The combinations the command line refuses, in its words; the modes and hydrants that
    # groups do not go with are the run's refusal.
    if fire_groups is not None and near is not None:
        raise ValueError(
            "fire_groups and fire_groups_near cannot be given together: the groups come from a "
            "file or from the map"
        )
    if group_size is not None and near is None:
        raise ValueError("group_size is an option of fire_groups_near")
    if fire_groups is not None:
        return _GroupSource(fire_groups=_existing_file("fire_groups", fire_groups))
    if near is None:
        return _GroupSource()
    distance = _number("fire_groups_near", near)
    if distance <= 0:
        raise ValueError("fire_groups_near needs a distance greater than 0")
    if group_size is None:
        return _GroupSource(fire_groups_near=distance)
    size = _whole_number("group_size", group_size)
    return _GroupSource(fire_groups_near=distance, group_size=size)


def _results_path(path: Optional[PathLike], inp: str) -> str:
    if path is None:
        return ""
    if not isinstance(path, (str, os.PathLike)):
        raise ValueError(f"results_path: {path!r} is not a path")
    text = os.fspath(path)
    if os.path.exists(text) and os.path.samefile(text, inp):
        raise ValueError(f"results_path: {text} is the INP file")
    return text


def _check_progress(progress: Optional[Progress]) -> None:
    if progress is not None and not callable(progress):
        raise ValueError(f"progress: {progress!r} is not callable")


def _inp_errors(result: dict) -> list[InpError]:
    return [
        InpError(e["code"], e["section"], e["line"], e["text"], e["message"])
        for e in result["input_errors"]
    ]


def _raise_if_ended(result: dict, inp: str) -> None:
    status = result["status"]
    if status == "completed":
        return
    message = result["message"]
    if result["inp_code"] != 0:
        # Named as the command line names it.
        message = f"{inp}: {message}"
        raise InputError(message, result["inp_code"], _inp_errors(result))
    if status == "refused":
        raise ValueError(message)
    raise RuntimeError(message)


def _snake_case(heading: str) -> str:
    return re.sub(r"[^0-9a-z]+", "_", heading.lower()).strip("_")


# The boolean column of the rows that say a search reached its end instead of a number.
_REACHED_BY_MODE = {
    "steady": "maximal_flow_reached",
    "available": "maximal_flow_reached",
    "flow": "maximal_flow_reached",
    "duration": "end_of_simulation_reached",
}


def _results_frame(result: dict, mode: str) -> pd.DataFrame:
    columns = result["columns"]
    rows = result["rows"]
    names = [_snake_case(name) for name, _, _ in columns]
    data: dict[str, object] = {}
    units = {}
    for i, (name, (_, quantity, unit)) in enumerate(zip(names, columns)):
        if i == 0:
            continue
        values = [row[i] for row in rows]
        if quantity in ("node", "link", "text"):
            data[name] = pd.Series(values, dtype=object)
        else:
            data[name] = pd.Series([math.nan if v is None else v for v in values], dtype="float64")
        if unit:
            units[name] = unit
        if i == result["answer_column"] and mode in _REACHED_BY_MODE:
            reached = _REACHED_BY_MODE[mode]
            data[reached] = pd.Series([o == reached for o in result["outcomes"]], dtype=bool)
    index = pd.Index([row[0] for row in rows], name=names[0], dtype=object)
    frame = pd.DataFrame(data)
    frame.index = index
    frame.attrs = {
        "flow_units": result["flow_units"],
        "pressure_units": result["pressure_units"],
        "units": units,
        "mode": mode,
    }
    return frame
