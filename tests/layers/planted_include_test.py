"""Plants includes into scratch sources of the core's layers and checks that the build and
scripts/check_layers both refuse one that goes up, however it is spelled, and both accept one
that goes down. The build's verdict is a compile of the planted file with the command that
compiles the layer's own sources (compile_commands.json), so it is the build's real view.

usage: planted_include_test.py SOURCE_DIR BUILD_DIR
"""
import json
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE, BUILD = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
SCRIPT = SOURCE / "scripts" / "check_layers"
LAYERS = subprocess.run([SCRIPT, "--list"], capture_output=True, text=True,
                        check=True).stdout.split()
COMMANDS = json.loads((BUILD / "compile_commands.json").read_text())

SPELLINGS = ['#include "{}"', "#include <{}>", '# include "{}"', "#  include <{}>",
             '  #\tinclude "{}"']
# An include root cannot see a path that climbs out of a folder: only the script can.
SCRIPT_ONLY = ['#include "../{}"', '#include "{low}/../{}"']


def header(folder):
    return f"{folder}/{sorted((SOURCE / folder).glob('*.h'))[0].name}"


def layer_command(layer):
    """The command compiling a source of LAYER's library (one of its batches in a unity build)."""
    for entry in COMMANDS:
        if f"veltrix_{layer}.dir/" in entry["command"] and Path(entry["file"]).suffix in (
                ".cpp", ".cxx"):
            return entry
    sys.exit(f"no compile command for a source of {layer}/")


def verdicts(layer, text):
    """(compiles, passes the script) for TEXT planted as a source of LAYER."""
    entry = layer_command(layer)
    with tempfile.TemporaryDirectory() as scratch:
        planted = Path(scratch) / layer / "planted.cpp"
        planted.parent.mkdir()
        planted.write_text(text + "\n")
        args = [str(planted) if a == entry["file"] else a for a in shlex.split(entry["command"])]
        args[args.index("-o") + 1] = str(Path(scratch) / "planted.o")
        compiled = subprocess.run(args + ["-E"], cwd=entry["directory"],
                                  capture_output=True).returncode == 0
        passed = subprocess.run([SCRIPT, scratch], capture_output=True).returncode == 0
    return compiled, passed


failures = []
# Each layer sees its own folder and those below it, and nothing above.
for rank, layer in enumerate(LAYERS):
    probe = "\n".join(
        f'#if {"!" if i <= rank else ""}__has_include("{header(f)}")\n#error {f}\n#endif'
        for i, f in enumerate(LAYERS))
    if not verdicts(layer, probe)[0]:
        failures.append(f"{layer}/ does not see exactly the folders up to its own")

# A file of one layer, including from the layer just above it and the one just below it.
low = LAYERS[len(LAYERS) // 2]
up, down = header(LAYERS[LAYERS.index(low) + 1]), header(LAYERS[LAYERS.index(low) - 1])
for spelling in SPELLINGS:
    for target, allowed in ((up, False), (down, True)):
        line = spelling.format(target)
        for judge, verdict in zip(("the build", "check_layers"), verdicts(low, line)):
            if verdict != allowed:
                failures.append(f"{judge} {'refuses' if allowed else 'accepts'} {line!r} in {low}/")
for spelling in SCRIPT_ONLY:
    line = spelling.format(up, low=low)
    if verdicts(low, line)[1]:
        failures.append(f"check_layers accepts {line!r} in {low}/")

print("\n".join(failures) or f"every layer refuses an include from above: {' '.join(LAYERS)}")
sys.exit(1 if failures else 0)
