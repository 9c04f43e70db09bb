"""A run beside Python: the interpreter lock released, Ctrl+C, the progress callback."""

import os
import signal
import threading
import time

import pytest

import hydrosk
from conftest import SHARED_NETWORKS, TOWN

KY10 = SHARED_NETWORKS / "ky10.inp"  # duration 0


def long_run(**keywords):
    """Trials of a whole day in steps of 1 gpm up to 30000 gpm: far longer than the tests
    wait, and short steps between the checks of the stop request."""
    return hydrosk.fire_flow(TOWN, "flow", min_pressure=20, required_time=24, max_flow=30000,
                             flow_interval=1, **keywords)


def test_python_threads_go_on_and_ctrl_c_stops_the_run_within_a_second():
    counted = 0
    interrupted_at = None

    def count_then_interrupt():
        nonlocal counted, interrupted_at
        end = time.monotonic() + 1.0
        while time.monotonic() < end:
            counted += 1
        interrupted_at = time.monotonic()
        os.kill(os.getpid(), signal.SIGINT)

    helper = threading.Thread(target=count_then_interrupt)
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        helper.start()
        long_run(threads=2)
    stopped_at = time.monotonic()
    helper.join()
    assert interrupted_at is not None, "the run ended before the interrupt"
    assert stopped_at - interrupted_at < 1.0
    # The run held the interpreter lock for a small part of that second at most.
    assert counted > 100_000, counted
    assert stopped_at - started < 3.0


def test_an_exception_of_the_progress_callback_stops_the_run():
    calls = []

    def progress(done, total):
        calls.append(time.monotonic())
        if len(calls) == 3:
            raise OSError("the caller gave up")

    with pytest.raises(OSError, match="the caller gave up"):
        long_run(threads=2, progress=progress)
    assert time.monotonic() - calls[-1] < 1.0


def test_progress_is_called_at_most_ten_times_a_second_and_ends_at_the_total():
    calls = []
    frame = hydrosk.fire_flow(KY10, "design", min_pressure=20, required_flow=500, threads=1,
                              progress=lambda done, total: calls.append((time.monotonic(), done, total)))
    assert len(calls) >= 2
    times = [t for t, _, _ in calls]
    assert min(b - a for a, b in zip(times, times[1:])) >= 0.099
    assert all(total == len(frame) for _, _, total in calls)
    dones = [done for _, done, _ in calls]
    assert dones == sorted(dones) and dones[-1] == len(frame)
