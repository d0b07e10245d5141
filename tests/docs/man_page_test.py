#!/usr/bin/python3
"""The manual page of veltrix-cli against the program and its sources: every command and
action that the help lists has its section, and every environment variable the sources
read is in ENVIRONMENT. Usage: man_page_test.py VELTRIX_CLI PAGE.1.gz SOURCE_DIR"""
import gzip
import pathlib
import re
import subprocess
import sys


def subcommands(cli, words):
    help_text = subprocess.run([cli, *words, "--help"], capture_output=True, text=True,
                               timeout=60, check=True).stdout
    listing = help_text.split("\nSubcommands:\n", 1)
    if len(listing) == 1:
        return []
    names = []
    for line in listing[1].splitlines():
        if not line.strip():
            break
        names.append(line.split()[0])
    return names


def commands(cli, words=()):
    for name in subcommands(cli, list(words)):
        path = (*words, name)
        yield " ".join(path)
        yield from commands(cli, path)


def main():
    cli, page_path, source_dir = sys.argv[1:4]
    page = gzip.open(page_path, "rt").read()
    failures = []
    found = list(commands(cli))
    if len(found) < 10:
        failures.append(f"the help lists only {found}")
    for command in found:
        if f'.SS "veltrix-cli {command}"' not in page:
            failures.append(f"no section for 'veltrix-cli {command}'")

    environment = page.split(".SH ENVIRONMENT", 1)[-1].split("\n.SH ", 1)[0]
    read = set()
    pattern = re.compile(r'(?:getenv|env_value|qEnvironmentVariableIsSet)\("(VELTRIX_[A-Z_]+)"\)')
    for source in pathlib.Path(source_dir).rglob("*.cpp"):
        parts = source.relative_to(source_dir).parts
        if parts[0].startswith("build") or parts[0] in ("tests", "bench", "fuzz"):
            continue
        read.update(pattern.findall(source.read_text(errors="replace")))
    if not read:
        failures.append("no environment variable found in the sources")
    for variable in sorted(read):
        if variable not in environment:
            failures.append(f"ENVIRONMENT does not name {variable}")

    for f in failures:
        print("FAIL", f)
    print(f"{len(found)} commands, {len(read)} variables checked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
