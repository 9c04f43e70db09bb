#!/usr/bin/python3
"""Available fire flows of the example town, as a table and as a GeoJSON layer for QGIS.

    python3 examples/fire_flow.py [town-fire-flow.geojson]

Every junction keeps 20 psi, the riverside industry J23 35 psi, and the pumping station's
junction J1 is not tested. The available-flow search needs a steady network, so it runs on a
copy of town.inp with a duration of 0.
"""

import re
import sys
import tempfile
from pathlib import Path

import hydrosk

TOWN = Path(__file__).resolve().parent / "town.inp"


def show_progress(done: int, total: int) -> None:
    print(f"\r{done}/{total} junctions", end="", file=sys.stderr, flush=True)


def main() -> None:
    layer = Path(sys.argv[1] if len(sys.argv) > 1 else "town-fire-flow.geojson")
    with tempfile.TemporaryDirectory() as folder:
        steady = Path(folder) / "town.inp"
        steady.write_text(re.sub(r"(?m)^ Duration .*$", " Duration 0", TOWN.read_text()))
        results = Path(folder) / "town.inp.TXT"
        flows = hydrosk.fire_flow(
            steady,
            "available",
            min_pressure=20,
            max_flow=5000,
            no_check={"J1"},
            min_pressures={"J23": 35},
            results_path=results,
            progress=show_progress,
        )
        print(file=sys.stderr)
        # The project's own exporter: one Point per junction at its INP coordinates.
        hydrosk.export_geojson(results, layer, inp=steady)

    units = flows.attrs["units"]["available_flow"]
    limited = flows[~flows["maximal_flow_reached"]].sort_values("available_flow")
    print(f"{flows['maximal_flow_reached'].sum()} of {len(flows)} junctions hold up to 5000 "
          f"{units}; the lowest available flows:")
    print(limited[["available_flow", "limiting_node", "limiting_pressure"]].head(5).to_string())
    print(f"GeoJSON layer: {layer}")


if __name__ == "__main__":
    main()
