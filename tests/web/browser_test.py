#!/usr/bin/env python3
"""Browser test of the web monitor: opens the page in headless Chromium against the program
and checks that it comes alive.

With the binary it runs the program twice, as a user would to fill every card:
  1. `rates` on the simulated V1743 with its discriminators on the pulses: the run shows as
     "Running", the event count grows, the latest event's 16 waveforms and the hit-rate plot
     are drawn, and the page logs no error; the screenshot is taken here. Then two answers of
     the API itself (the format version, and 405 for a POST), and SIGINT must end the
     program cleanly.
  2. `run` with the time difference, the charges and the noise measured: both histograms are
     drawn and the noise table is filled, again with no error logged.
With --url (a monitor already serving) it runs the checks of the first step, and those of
the rates and histograms when the program's answers show them measured.

usage: browser_test.py VELTRIX_CLI [SCREENSHOT_DIR]
       browser_test.py --url URL [SCREENSHOT_DIR]

Exit codes: 0 passed, 1 failed (with the reason on standard error), 77 skipped (no selenium
or no Chromium on this machine; with VELTRIX_REQUIRE_BROWSER=1 that fails instead). Every
wait is bounded, and the whole test by DEADLINE_S. Needs python3-selenium, chromium and
chromium-driver; CHROMIUM and CHROMEDRIVER override their paths.
"""
import argparse
import collections
import json
import os
import queue
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

REQUIRE_BROWSER = os.environ.get("VELTRIX_REQUIRE_BROWSER") == "1"


def unavailable(reason):
    """No browser to test with: a skip, or a failure where the browser is required."""
    if REQUIRE_BROWSER:
        print(f"FAIL: {reason} (VELTRIX_REQUIRE_BROWSER=1)", file=sys.stderr)
        sys.exit(1)
    print(f"skipped: {reason}", file=sys.stderr)
    sys.exit(77)


try:
    from selenium import webdriver
    from selenium.common.exceptions import TimeoutException, WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    unavailable("python3-selenium is not installed")

CHROMIUM = os.environ.get("CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("CHROMEDRIVER", "/usr/bin/chromedriver")

DEADLINE_S = 150          # the whole test
WAIT_S = 30               # any single wait
STOP_S = 10               # from SIGINT to the program's exit
CHANNELS = 16             # of the simulated V1743
COMMON_ARGS = ["--model", "v1743"]
WEB_ARGS = ["--web", "127.0.0.1:0"]
# Hit rates of the simulated board's negative 200 mV pulses (its default thresholds sit on
# the other side of the baseline); ten minutes, far more than the test lasts.
RATES_ARGS = ["rates", "--seconds", "600", "--trigger", "normal", "--threshold", "all=-0.05",
              "--edge", "all=falling", *WEB_ARGS]
HISTOGRAMS_ARGS = ["run", "--continuous", "--noise", "--time-jitter", "0,1", "--charge",
                   "software", *WEB_ARGS]
MONITOR_LINE = re.compile(r"Web monitor: (http://\S+)")

deadline = time.monotonic() + DEADLINE_S


class Failure(Exception):
    pass


def bounded(seconds=WAIT_S):
    """`seconds`, cut to what is left of the test's deadline."""
    left = deadline - time.monotonic()
    if left <= 0:
        raise Failure(f"the test ran past its {DEADLINE_S} s deadline")
    return min(seconds, left)


# ---------------------------------------------------------------------------------------
# The program

class Program:
    """The CLI with its monitor on; its output is read all along (into a tail kept for
    failure reports), so that it never blocks on a full pipe."""

    def __init__(self, cli, user_dir, args):
        self.proc = subprocess.Popen([cli, "--user-dir", user_dir, *COMMON_ARGS, *args],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True, errors="replace")
        self.tail = collections.deque(maxlen=15)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            line = line.rstrip("\n")
            self.tail.append(line if len(line) <= 200 else line[:200] + " …")
            self.lines.put(line)
        self.lines.put(None)

    def output(self):
        return "\n".join("    " + line for line in self.tail) or "    (nothing)"

    def monitor_url(self):
        """The URL of the 'Web monitor:' line, waited for at most WAIT_S."""
        end = time.monotonic() + bounded()
        while (left := end - time.monotonic()) > 0:
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                break
            if line is None:
                raise Failure(f"the program ended (exit code {self.proc.wait()}) before its "
                              f"monitor started; it printed:\n{self.output()}")
            if m := MONITOR_LINE.search(line):
                url = m.group(1)
                return url if url.endswith("/") else url + "/"
        raise Failure(f"no 'Web monitor: URL' line within {WAIT_S} s (is it flushed?); the "
                      f"program printed:\n{self.output()}")

    def stop(self):
        """SIGINT, which must end the program cleanly within STOP_S."""
        if self.proc.poll() is not None:
            raise Failure(f"the run ended by itself during the test (exit code "
                          f"{self.proc.returncode}); the program printed:\n{self.output()}")
        self.proc.send_signal(signal.SIGINT)
        try:
            code = self.proc.wait(timeout=STOP_S)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not exit within {STOP_S} s of SIGINT; it printed:\n"
                          f"{self.output()}")
        if code != 0:
            raise Failure(f"the program exited with code {code} after SIGINT; it printed:\n"
                          f"{self.output()}")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=5)


# ---------------------------------------------------------------------------------------
# The API, read directly

def get_json(url):
    with urllib.request.urlopen(url, timeout=bounded(10)) as r:
        if not r.headers.get("Content-Type", "").startswith("application/json"):
            raise Failure(f"{url} answered Content-Type {r.headers.get('Content-Type')!r}")
        return json.load(r)


def check_api(base):
    status = get_json(base + "api/status")
    if status.get("version") != 1:
        raise Failure(f"/api/status has version {status.get('version')!r}, not 1")
    request = urllib.request.Request(base + "api/status", data=b"{}", method="POST")
    try:
        with urllib.request.urlopen(request, timeout=bounded(10)) as r:
            raise Failure(f"a POST to /api/status was answered {r.status}, not 405")
    except urllib.error.HTTPError as e:
        if e.code != 405:
            raise Failure(f"a POST to /api/status was answered {e.code}, not 405")
        allowed = {m.strip() for m in (e.headers.get("Allow") or "").split(",")}
        if allowed != {"GET", "HEAD"}:
            raise Failure(f"the 405 answer's Allow header is {e.headers.get('Allow')!r}")


# ---------------------------------------------------------------------------------------
# The page

def open_browser():
    if not (os.access(CHROMIUM, os.X_OK) and os.access(CHROMEDRIVER, os.X_OK)):
        unavailable(f"no {CHROMIUM} or no {CHROMEDRIVER}")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1600,1200"):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(WAIT_S)
    driver.set_script_timeout(WAIT_S)
    return driver


def wait_for(driver, what, probe, accept=bool):
    """Waits until accept(probe(driver)); returns that value, or fails naming `what` and the
    last value seen."""
    seen = []

    def attempt(d):
        value = probe(d)
        seen[:] = [value]
        return value if accept(value) else None

    try:
        return WebDriverWait(driver, bounded(), poll_frequency=0.25).until(attempt)
    except TimeoutException:
        raise Failure(f"the page did not show {what} (last seen: {seen[0] if seen else None!r})")


def events_shown(driver):
    digits = re.sub(r"\D", "", driver.find_element(By.ID, "run-events").text)
    return int(digits) if digits else None


# What a chart of the page holds (arguments[0] names it): its series that are shown and have
# points, and how many of its canvas' pixels have one of the colours arguments[1] ("#rrggbb").
CHART_PROBE = """
const chart = window.veltrixMonitor && window.veltrixMonitor.charts[arguments[0]];
if (!chart || !chart.plot) return null;
const u = chart.plot;
const series = u.series.slice(1).filter((s, i) => s.show && Array.from(u.data[i + 1]).some(Number.isFinite)).length;
const colours = arguments[1].map(c => [1, 3, 5].map(i => parseInt(c.slice(i, i + 2), 16)));
const px = u.ctx.getImageData(0, 0, u.ctx.canvas.width, u.ctx.canvas.height).data;
let drawn = 0;
for (let i = 0; i < px.length; i += 4) {
  if (px[i + 3] >= 128 && colours.some(([r, g, b]) =>
      Math.abs(px[i] - r) + Math.abs(px[i + 1] - g) + Math.abs(px[i + 2] - b) < 60)) drawn++;
}
return {series: series, drawn: drawn};
"""


def wait_for_chart(driver, name, what, colours, series):
    wait_for(driver, what, lambda d: d.execute_script(CHART_PROBE, name, colours),
             lambda c: c is not None and c["series"] >= series and c["drawn"] >= 300)


def table_channels(driver, table_id):
    return [int(r.get_attribute("data-channel"))
            for r in driver.find_elements(By.CSS_SELECTOR, f"#{table_id} tbody tr") if r.is_displayed()]


def check_live(driver, base):
    """The run, its events and the latest event's waveforms."""
    end = time.monotonic() + bounded()
    while not (board := get_json(base + "api/board"))["connected"] and time.monotonic() < end:
        time.sleep(0.25)   # the monitor starts before the board is connected
    if board["channels"] != CHANNELS or board["channel_enabled"][:CHANNELS].count(True) != CHANNELS:
        raise Failure(f"the board does not acquire {CHANNELS} channels: {board!r}")
    driver.get(base)
    wait_for(driver, "the run state 'Running'",
             lambda d: d.find_element(By.ID, "run-state").text, lambda s: s == "Running")
    first = wait_for(driver, "an event count", events_shown, lambda n: n is not None)
    wait_for(driver, f"the event count growing past {first}", events_shown,
             lambda n: n is not None and n > first)
    wait_for_chart(driver, "waveform", f"the waveforms of {CHANNELS} channels drawn",
                   board["channel_colours"], CHANNELS)
    wait_for(driver, f"{CHANNELS} channels in the waveforms' legend",
             lambda d: len(d.find_elements(By.CSS_SELECTOR, "#waveform-legend .chip")),
             lambda n: n == CHANNELS)
    return board


def check_rates(driver, board):
    wait_for_chart(driver, "history", f"the hit rates of {CHANNELS} channels plotted",
                   board["channel_colours"], CHANNELS)
    wait_for(driver, "the hit-rate table listing every channel",
             lambda d: table_channels(d, "rates-table"), lambda ch: ch == list(range(CHANNELS)))


def check_histograms(driver, board):
    wait_for_chart(driver, "time", "the time-difference histogram drawn", ["#1f5fa8"], 1)
    wait_for_chart(driver, "charge", f"the charge histograms of {CHANNELS} channels drawn",
                   board["channel_colours"], CHANNELS)
    wait_for(driver, "the noise table listing every channel",
             lambda d: table_channels(d, "noise-table"), lambda ch: ch == list(range(CHANNELS)))


def check_console(driver):
    errors = list(dict.fromkeys(e["message"] for e in driver.get_log("browser")
                                if e["level"] == "SEVERE"))
    if errors:
        raise Failure("the page logged errors:\n" + "\n".join("    " + e for e in errors))


def save_screenshot(driver, directory):
    os.makedirs(directory, exist_ok=True)
    height = driver.execute_script("return document.documentElement.scrollHeight")
    driver.set_window_size(1600, min(max(height, 1200), 6000))
    time.sleep(1.0)   # the charts follow the new size
    path = os.path.join(directory, "web-monitor.png")
    if not driver.save_screenshot(path):
        raise Failure(f"could not save the screenshot {path}")
    print(f"screenshot: {path}")


# ---------------------------------------------------------------------------------------

def test_program(driver, cli, user_dir, screenshot_dir, programs):
    rates = Program(cli, os.path.join(user_dir, "rates"), RATES_ARGS)
    programs.append(rates)
    base = rates.monitor_url()
    board = check_live(driver, base)
    check_rates(driver, board)
    check_console(driver)
    check_api(base)
    if screenshot_dir:
        save_screenshot(driver, screenshot_dir)
    driver.get("about:blank")   # a page left open would log its requests failing
    driver.get_log("browser")
    rates.stop()
    print(f"PASS: rates, with the monitor at {base}")

    histograms = Program(cli, os.path.join(user_dir, "run"), HISTOGRAMS_ARGS)
    programs.append(histograms)
    base = histograms.monitor_url()
    driver.get(base)
    check_histograms(driver, board)
    check_console(driver)
    histograms.stop()
    print(f"PASS: run with histograms and noise, with the monitor at {base}")


def test_url(driver, base, screenshot_dir):
    board = check_live(driver, base)
    if get_json(base + "api/rates")["tracked"]:
        check_rates(driver, board)
        print("checked: the hit rates")
    if get_json(base + "api/histograms")["time_difference"]["shown"]:
        check_histograms(driver, board)
        print("checked: the histograms and the noise")
    check_console(driver)
    check_api(base)
    if screenshot_dir:
        save_screenshot(driver, screenshot_dir)
    print(f"PASS: the web monitor at {base}")


def main():
    parser = argparse.ArgumentParser(prog="browser_test.py")
    parser.add_argument("cli", nargs="?", help="the veltrix-cli binary")
    parser.add_argument("screenshot_dir", nargs="?", help="where to save a screenshot")
    parser.add_argument("--url", help="test the monitor serving at URL, starting no program")
    args = parser.parse_args()
    if args.url and args.cli and not args.screenshot_dir:
        args.screenshot_dir, args.cli = args.cli, None   # --url URL DIR
    if not args.url and not args.cli:
        parser.error("give the veltrix-cli binary, or --url")

    programs = []
    driver = None

    # Whatever hangs outside the bounded waits (a browser that never starts, say) ends here.
    def overrun():
        print(f"FAIL: the test hung past its {DEADLINE_S} s deadline", file=sys.stderr)
        for p in programs:
            p.proc.kill()
        os._exit(1)
    watchdog = threading.Timer(DEADLINE_S + 20, overrun)
    watchdog.daemon = True
    watchdog.start()

    with tempfile.TemporaryDirectory(prefix="veltrix-web-") as user_dir:
        try:
            driver = open_browser()
            if args.url:
                test_url(driver, args.url if args.url.endswith("/") else args.url + "/",
                         args.screenshot_dir)
            else:
                test_program(driver, args.cli, user_dir, args.screenshot_dir, programs)
        except (Failure, WebDriverException, OSError, ValueError, KeyError, TypeError) as e:
            print(f"FAIL: {e}", file=sys.stderr)
            if programs and "printed:" not in str(e):
                print(f"the program printed:\n{programs[-1].output()}", file=sys.stderr)
            return 1
        finally:
            if driver:
                driver.quit()
            for p in programs:
                p.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
