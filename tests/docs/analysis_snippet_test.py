"""Runs the Python snippet of docs/analysis.md on a run saved by the simulated board and
exported with veltrix-cli, and checks its results against the run itself.

usage: analysis_snippet_test.py VELTRIX_CLI DOCS_ANALYSIS_MD
"""
import contextlib
import io
import os
import re
import subprocess
import sys
import tempfile

import h5py
import numpy as np

EVENTS = 24


def run(*args):
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)} failed:\n{done.stdout}\n{done.stderr}")
    return done.stdout


def snippet(markdown):
    blocks = re.findall(r"```python\n(.*?)```", open(markdown).read(), re.S)
    if not blocks:
        sys.exit(f"no python snippet in {markdown}")
    return blocks[0]


def main():
    cli, markdown = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as tmp:
        os.chdir(tmp)
        run(cli, "--user-dir", "user", "run", "--events", str(EVENTS), "--save", "binary",
            "--with-measurements", "--split", "10", "--data-dir", "data")
        first = os.path.join("data", "veltrix_run1", "veltrix_run1_Binary.bin")
        run(cli, "export", first, "--hdf5", "run.h5")

        scope = {}
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            exec(snippet(markdown), scope)
        print(out.getvalue(), end="")

        # The snippet's numbers against a computation of our own from the raw datasets.
        with h5py.File("run.h5", "r") as f:
            raw = f["samples"][:].astype(np.float64)
            amplitude = f["measurements"]["amplitude"][:, 0]
            events = f["events"]["event_number"][:]
        n = scope["volts"].shape[0]
        assert n >= EVENTS, scope["volts"].shape
        assert list(events) == list(range(1, n + 1)), events
        expected_mean = raw.mean(axis=0) * 0.00061 / 10.0
        assert np.allclose(scope["mean_pulse"], expected_mean, atol=1e-9)
        assert scope["counts"].sum() == n
        # The simulated board's pulses are negative and the mean pulse dips well below its
        # baseline, by about the measured amplitude.
        dip = scope["mean_pulse"][0].min() - np.median(scope["mean_pulse"][0])
        assert dip < -0.05, dip
        assert abs(dip - amplitude.mean()) < 0.5 * abs(amplitude.mean()), (dip, amplitude.mean())
        assert "mean pulse minimum" in out.getvalue()


if __name__ == "__main__":
    main()
