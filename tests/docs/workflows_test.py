"""Runs the command lines of the README and of the user's guide, in the order they come, the
way a reader would type them: every `sh` block as a shell script, every `veltrix-cli ...`
written in the text as one command. Each document starts in a fresh home directory (so that
~/.local/share/Veltrix is the default user directory) with the simulated board's defaults.

The README's command lines are checked further: each one run has its exit code and a line of
what it prints in OUTCOMES below, and a command line added to the README without one fails.

Command lines written with placeholders (FILE, N, a|b, [optional] ...) cannot be run: for
those, every option they name must be one that `veltrix-cli <command> --help` lists. And
every --option written anywhere in the documents must be one the program has (one of the
command it is written with, in the reference tables).

usage: workflows_test.py VELTRIX_CLI MARKDOWN...
"""
import os
import re
import shlex
import signal
import socket
import subprocess
import sys
import tempfile
import time

# Commands that wait for Ctrl-C get it after this many seconds; so do runs longer than it
# (a run ended by Ctrl-C ends cleanly, with exit code 0).
INTERRUPT_AFTER = 6.0
# Nothing else may take longer than this.
TIMEOUT = 900.0
# Blocks that are not veltrix-cli workflows: building and installing the program.
NOT_WORKFLOWS = re.compile(r"^\s*(make|sudo|cmake)\b", re.M)
PLACEHOLDER = re.compile(r"(?<![\w./-])[A-Z][A-Z0-9_]*(?![a-z])|\||\[|<|\.\.\.|…")

failures = []

# The README's command lines: (the command as written, its exit code, a text its output holds).
OUTCOMES = {
    "README.md": [
        ("veltrix-cli run --trigger normal --threshold all=-0.05 --edge all=falling --events 1000",
         0, "trigger            Normal"),
        ("veltrix-cli run --events 2000 --save binary --measurement-file", 0,
         "events saved       2000"),
        ("veltrix-cli run --replay ~/.local/share/Veltrix/RunData/veltrix_run1/"
         "veltrix_run1_Binary.bin", 0, "events             2000"),
        ("veltrix-cli run --events 10 --channels none --save binary", 1,
         "Unable to save a run without any channel acquired"),
        ("veltrix-cli eeprom dump", 0, "flash_dump_qvd_sernum_1.10.dat"),
        ("veltrix-cli eeprom erase --board 0 --yes", 0, "EEPROM successfully erased!"),
        ("veltrix-cli eeprom restore ~/.local/share/Veltrix/FlashDump/"
         "flash_dump_qvd_sernum_1.10.dat --board 0 --yes", 0, "EEPROM written from dump file"),
        ("veltrix-cli guide", 0, "user-guide"),
        ("veltrix-cli run --continuous --web 8080", 0,
         "Web monitor: http://127.0.0.1:8080/"),
    ],
}


def fail(where, text):
    failures.append(f"{where}: {text}")
    print(f"FAILED {where}: {text}", flush=True)


def items(markdown):
    """(line number, kind, text) of every sh block and every veltrix-cli command in the text:
    kind "inline" in the prose, "table" in a table (which describes rather than walks
    through: its commands are checked, not run)."""
    text = open(markdown).read()
    out = []

    def inline_commands(start, end):
        for inline in re.finditer(r"`(veltrix-cli [^`]+)`", text[start:end]):
            at = start + inline.start()
            line_start = text.rfind("\n", 0, at) + 1
            kind = "table" if text.startswith("|", line_start) else "inline"
            out.append((text.count("\n", 0, at) + 1, kind, " ".join(inline.group(1).split())))

    fence = re.compile(r"^```(\w*)\n(.*?)^```", re.M | re.S)
    last = 0
    for m in fence.finditer(text):
        inline_commands(last, m.start())
        if m.group(1) == "sh":
            out.append((text.count("\n", 0, m.start()) + 1, "sh", m.group(2)))
        last = m.end()
    inline_commands(last, len(text))
    return out


def has_placeholder(command):
    command = command.split("#")[0].replace("veltrix-cli", "")
    return PLACEHOLDER.search(command) is not None


def subcommand_help(cli, words, env):
    """--help of the longest command that the words start with."""
    for n in (2, 1):
        command = [w for w in words[:n] if not w.startswith("-")]
        if len(command) < n:
            continue
        done = subprocess.run([cli, *command, "--help"], capture_output=True, text=True, env=env)
        if done.returncode == 0:
            return done.stdout
    return subprocess.run([cli, "--help"], capture_output=True, text=True, env=env).stdout


def check_options(cli, where, line, env):
    words = shlex.split(line.replace("|", " "))[1:]
    words = [w for w in words if not w.startswith("--user-dir") and w != "--yes"]
    positional = [w for w in words if not w.startswith("-")]
    help_text = subcommand_help(cli, positional, env) + subcommand_help(cli, [], env)
    for option in re.findall(r"(--[a-z][a-z0-9-]*)", line):
        if not re.search(re.escape(option) + r"\b", help_text):
            fail(where, f"{option} is not an option of '{' '.join(positional[:2])}'")


def all_options(cli, env, path=()):
    """Every option of the program: its own and those of each command and sub-command."""
    text = subprocess.run([cli, *path, "--help"], capture_output=True, text=True, env=env).stdout
    options = set(re.findall(r"(--[a-z][a-z0-9-]*)", text))
    if "Subcommands:" in text:
        for line in text.split("Subcommands:", 1)[1].splitlines():
            m = re.match(r"  (\S+)\s", line)
            if m:
                options |= all_options(cli, env, (*path, m.group(1)))
    return options


def top_level_commands(cli, env):
    text = subprocess.run([cli, "--help"], capture_output=True, text=True, env=env).stdout
    return set(re.findall(r"^  ([a-z]+)\s", text.split("Subcommands:", 1)[-1], re.M))


def global_options(cli, env):
    text = subprocess.run([cli, "--help"], capture_output=True, text=True, env=env).stdout
    return set(re.findall(r"(--[a-z][a-z0-9-]*)", text.split("Subcommands:", 1)[0]))


OTHER_PROGRAMS = re.compile(r"^(make|cmake|ctest|sudo|apt-get|lintian|python3|man|kill|git)\b")


def check_every_option(cli, markdown, env):
    """Every --option written in the document, in the text or in a table, is one the program
    has: an option renamed or removed cannot stay in the documents."""
    known = all_options(cli, env)
    commands = {}  # a command's own options, for the reference tables' "run --events N" cells
    text = open(markdown).read()
    name = os.path.basename(markdown)
    spans = re.findall(r"`([^`\n]+)`", re.sub(r"^```.*?^```", "", text, flags=re.M | re.S))
    spans += [b for b in re.findall(r"^```sh\n(.*?)^```", text, re.M | re.S)]
    for span in spans:
        if OTHER_PROGRAMS.match(span.strip()):
            continue
        for option in re.findall(r"(?<![\w-])(--[a-z][a-z0-9-]*)", span):
            if option not in known:
                fail(name, f"{option} (in `{span.strip()[:60]}`) is not an option of veltrix-cli")
        words = span.split()
        path = tuple(w for w in words[:2] if re.fullmatch(r"[a-z][a-z-]*", w))
        if path and path[0] in top_level_commands(cli, env):
            if path not in commands:
                commands[path] = all_options(cli, env, path) | all_options(cli, env, path[:1])
            for option in re.findall(r"(?<![\w-])(--[a-z][a-z0-9-]*)", span):
                if option not in commands[path] and option not in global_options(cli, env):
                    fail(name, f"{option} is not an option of '{' '.join(path)}' (`{span[:60]}`)")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_script(where, script, env, cwd, expected_rc=0):
    """Runs a shell script, each veltrix-cli command interrupted if it waits too long."""
    start = time.monotonic()
    process = subprocess.Popen(["bash", "-e", "-c", script], cwd=cwd, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               start_new_session=True)
    interrupted = False
    while process.poll() is None:
        time.sleep(0.1)
        waited = time.monotonic() - start
        if waited > TIMEOUT:
            os.killpg(process.pid, signal.SIGKILL)
            fail(where, f"still running after {TIMEOUT:.0f} s")
            break
        if waited > INTERRUPT_AFTER and not interrupted and long_running(script):
            # Ctrl-C reaches every process of the script, as from a terminal.
            os.killpg(process.pid, signal.SIGINT)
            interrupted = True
    out = process.stdout.read()
    print(out[-3000:], flush=True)
    if process.returncode != expected_rc:
        fail(where, f"exit code {process.returncode} where {expected_rc} was expected")
    return out


def run_with_outcome(where, command, outcomes, env, cwd):
    """Runs a command of a document with known outcomes, and checks its exit code and output."""
    known = [o for o in outcomes if o[0] == command]
    if not known:
        fail(where, f"no expected outcome for `{command}`: add it to OUTCOMES")
        return run_script(where, command, env, cwd)
    _, rc, said = known[0]
    out = run_script(where, command, env, cwd, rc)
    if said not in out:
        fail(where, f"`{command}` did not print '{said}'")
    return out


def logical_lines(block):
    """The commands of a block: continued lines joined, blank lines left out."""
    return [line for line in block.replace("\\\n", " ").splitlines() if line.strip()]


def long_running(script):
    pattern = r"veltrix-cli(\s.*)?\s(serve|rates|--continuous|--seconds)(\s|$)"
    return re.search(pattern, script) is not None


def run_tcp_example(cli, where, block, env, cwd):
    """The shell client of the remote-control section, against a server of our own."""
    port = free_port()
    server = subprocess.Popen([cli, "serve", "--commands", "--bind", "127.0.0.1", "--port",
                               str(port)], cwd=cwd, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)
    try:
        for _ in range(300):
            line = server.stdout.readline()
            if "Remote control on" in line:
                break
        run_script(where, block.replace("localhost/8008", f"localhost/{port}"), env, cwd)
        time.sleep(1.5)
    finally:
        server.send_signal(signal.SIGINT)
        out, _ = server.communicate(timeout=60)
    for said in ("RUN_START00000042", "Run started", "STOP"):
        if said not in out:
            fail(where, f"the server did not show '{said}':\n{out[-2000:]}")


def run_document(cli, markdown):
    name = os.path.basename(markdown)
    counts = {"run": 0, "checked": 0, "skipped": 0}
    with tempfile.TemporaryDirectory() as home:
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("VELTRIX_") and k not in ("XDG_DATA_HOME", "USERPROFILE")}
        env["HOME"] = home
        env["PATH"] = os.path.dirname(cli) + os.pathsep + env.get("PATH", "")
        for line_number, kind, text in items(markdown):
            where = f"{name}:{line_number}"
            if kind == "sh":
                if "/dev/tcp/localhost/8008" in text:
                    print(f"== {where}: the remote-control client", flush=True)
                    run_tcp_example(cli, where, text, env, home)
                    counts["run"] += 1
                elif NOT_WORKFLOWS.search(text):
                    counts["skipped"] += 1
                else:
                    for command in logical_lines(text):
                        if has_placeholder(command):
                            check_options(cli, where, command.split("#")[0], env)
                            counts["checked"] += 1
                            continue
                        print(f"== {where}: {command}", flush=True)
                        if name in OUTCOMES:
                            run_with_outcome(where, command, OUTCOMES[name], env, home)
                        else:
                            run_script(where, command, env, home)
                        counts["run"] += 1
            elif kind == "table" or has_placeholder(text):
                check_options(cli, where, text, env)
                counts["checked"] += 1
            else:
                print(f"== {where}: {text}", flush=True)
                if name in OUTCOMES:
                    run_with_outcome(where, text, OUTCOMES[name], env, home)
                else:
                    run_script(where, text, env, home)
                counts["run"] += 1
    print(f"{name}: {counts['run']} run, {counts['checked']} with placeholders checked "
          f"against --help, {counts['skipped']} build blocks left out", flush=True)
    return counts


def main():
    cli = os.path.abspath(sys.argv[1])
    for markdown in sys.argv[2:]:
        check_every_option(cli, os.path.abspath(markdown), os.environ)
        counts = run_document(cli, os.path.abspath(markdown))
        if counts["run"] == 0:
            fail(markdown, "no command line found")
    if failures:
        sys.exit("\n".join(failures))


if __name__ == "__main__":
    main()
