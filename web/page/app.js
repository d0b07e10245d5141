// Veltrix monitor page: polls the program's read-only JSON API (docs/web-api.md) and shows
// the run, the board, the latest event, the hit rates, the histograms and the messages.
// Plain script, no build step; plots are drawn with the vendored uPlot.
"use strict";

const API_FORMAT = 1;            // the answers' "version" this page is written for
const POLL_MS = 500;             // status, event, rates, histograms, messages
const POLL_BOARD_MS = 2000;
const RETRY_MS = 2000;           // after a failed request
const FETCH_TIMEOUT_MS = 5000;
const MAX_MESSAGES = 200;
const HISTORY_SPAN_S = 600;      // the rate history the program keeps
const FALLBACK_COLOUR = "#8a8a8a";

const FONT = '12px system-ui, "Segoe UI", Roboto, "DejaVu Sans", sans-serif';
const LABEL_FONT = 'bold 12px system-ui, "Segoe UI", Roboto, "DejaVu Sans", sans-serif';

// What the page knows, shared by the renderers. Exposed as window.veltrixMonitor for the
// browser test and for a look from the console.
const monitor = {
  board: null,
  status: null,
  rates: null,
  histograms: null,
  hidden: new Set(),       // channels hidden in every chart
  lastSnapshot: null,      // of /api/status: going back means the program restarted
  messageSeq: null,        // the last message shown
  charts: {},              // Chart objects by name; .plot is the uPlot instance
};
window.veltrixMonitor = monitor;

const $ = (id) => document.getElementById(id);

// ---------------------------------------------------------------------------------------
// Formatting

const intFormat = new Intl.NumberFormat("en-US");

const isNum = (v) => typeof v === "number" && Number.isFinite(v);

function fmtInt(n) {
  return isNum(n) ? intFormat.format(n) : "—";
}

// v with `digits` significant digits, without trailing zeros' noise ("0.0123", "12.7").
function fmtNum(v, digits = 4) {
  return isNum(v) ? String(Number(v.toPrecision(digits))) : "—";
}

function fmtRate(hz) {
  if (!isNum(hz)) return "—";
  const a = Math.abs(hz);
  if (a >= 1e6) return (hz / 1e6).toFixed(3) + " MHz";
  if (a >= 1e3) return (hz / 1e3).toFixed(3) + " kHz";
  return hz.toFixed(a >= 100 ? 1 : 2) + " Hz";
}

function fmtBytes(n) {
  if (!isNum(n)) return "—";
  const units = ["B", "KiB", "MiB", "GiB", "TiB", "PiB"];
  let v = n;
  let i = 0;
  while (v >= 1024 && i < units.length - 1) {
    v /= 1024;
    i++;
  }
  const text = i === 0 ? String(v) : v.toFixed(v < 10 ? 2 : v < 100 ? 1 : 0);
  return text + " " + units[i];
}

// Seconds as h:mm:ss (hours go on past 24).
function fmtDuration(s) {
  if (!isNum(s) || s < 0) return "—";
  const t = Math.floor(s);
  const h = Math.floor(t / 3600);
  const m = Math.floor((t % 3600) / 60);
  const sec = t % 60;
  return `${h}:${String(m).padStart(2, "0")}:${String(sec).padStart(2, "0")}`;
}

// A time in ns; below a nanosecond in ps, where jitters live.
function fmtTime(ns) {
  if (!isNum(ns)) return "—";
  return Math.abs(ns) < 1 ? `${fmtNum(ns * 1000)} ps` : `${fmtNum(ns, 5)} ns`;
}

function capitalised(text) {
  return text.charAt(0).toUpperCase() + text.slice(1);
}

function fmtClock(epochS) {
  return isNum(epochS) ? new Date(epochS * 1000).toLocaleTimeString([], { hour12: false }) : "—";
}

// Tick labels of a rate axis: 1k, 10k, 1M.
function fmtSi(v) {
  if (!isNum(v)) return "";
  const a = Math.abs(v);
  if (a >= 1e6) return `${+(v / 1e6).toPrecision(3)}M`;
  if (a >= 1e3) return `${+(v / 1e3).toPrecision(3)}k`;
  return `${+v.toPrecision(3)}`;
}

// ---------------------------------------------------------------------------------------
// DOM helpers

function el(tag, props = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === "class") e.className = v;
    else if (k === "style") Object.assign(e.style, v);
    else if (k in e) e[k] = v;
    else e.setAttribute(k, v);
  }
  for (const c of children) if (c != null) e.append(c);
  return e;
}

function setText(id, text) {
  const e = $(id);
  if (e.textContent !== text) e.textContent = text;
}

function colourOf(channel) {
  const colours = monitor.board?.channel_colours;
  const c = Array.isArray(colours) ? colours[channel] : null;
  return typeof c === "string" && /^#[0-9a-fA-F]{6}$/.test(c) ? c : FALLBACK_COLOUR;
}

function withAlpha(hex, alpha) {
  const a = Math.round(alpha * 255).toString(16).padStart(2, "0");
  return hex + a;
}

function swatch(channel) {
  return el("span", { class: "swatch", style: { background: colourOf(channel) } });
}

function channelCell(channel) {
  return el("td", { class: "ch" }, swatch(channel), `Ch ${channel}`);
}

// A check or a grey cross.
function mark(ok, what) {
  const label = `${what}: ${ok ? "yes" : "no"}`;
  return el("span", { class: ok ? "mark yes" : "mark no", title: label, "aria-label": label }, ok ? "✓" : "✗");
}

// A small on/off badge.
function flag(on, yes, no) {
  return el("span", { class: `badge small ${on ? "state-running" : "state-idle"}` }, on ? yes : no);
}

// Table rows kept per channel and updated in place, so that the table does not flicker.
class ChannelRows {
  constructor(tbody, makeRow) {
    this.tbody = tbody;
    this.makeRow = makeRow;
    this.rows = new Map();
  }

  // Returns the row of each channel in `channels` (in that order); drops the others.
  sync(channels) {
    const wanted = new Set(channels);
    for (const [ch, row] of this.rows) {
      if (!wanted.has(ch)) {
        row.remove();
        this.rows.delete(ch);
      }
    }
    return channels.map((ch, i) => {
      let row = this.rows.get(ch);
      if (!row) {
        row = this.makeRow(ch);
        row.dataset.channel = ch;
        row.classList.toggle("hidden-channel", monitor.hidden.has(ch));
        this.rows.set(ch, row);
      }
      if (this.tbody.children[i] !== row) this.tbody.insertBefore(row, this.tbody.children[i] ?? null);
      return row;
    });
  }
}

// ---------------------------------------------------------------------------------------
// Charts

// Width of a y axis that fits its longest tick label.
function axisSize(u, values, axisIdx, cycleNum) {
  const axis = u.axes[axisIdx];
  if (cycleNum > 1) return axis._size;
  let size = axis.ticks.size + axis.gap;
  const longest = (values ?? []).reduce((a, v) => (String(v).length > a.length ? String(v) : a), "");
  if (longest !== "") {
    u.ctx.font = axis.font[0];
    size += u.ctx.measureText(longest).width / devicePixelRatio;
  }
  return Math.ceil(size) + 2;
}

function axes(dark, xLabel, yLabel, extra = {}) {
  const ink = dark ? "#c9c9d3" : "#2b2b2b";
  const grid = dark ? "rgba(255,255,255,0.10)" : "rgba(0,0,0,0.09)";
  const ticks = dark ? "rgba(255,255,255,0.30)" : "rgba(0,0,0,0.30)";
  const common = { stroke: ink, font: FONT, labelFont: LABEL_FONT, grid: { stroke: grid, width: 1 },
                   ticks: { stroke: ticks, width: 1 } };
  return [
    { ...common, label: xLabel, labelSize: 20, ...extra.x },
    { ...common, label: yLabel, labelSize: 20, size: axisSize, ...extra.y },
  ];
}

// One plot in its container: made again when its layout (series, scales) changes, else
// given new data. A zoom the user made is kept across updates until a double-click.
class Chart {
  constructor(name, container) {
    this.name = name;
    this.el = container;
    this.plot = null;
    this.key = null;
    this.zoomed = false;
    this.seriesOf = new Map();   // channel -> its series' indices
    this.empty = el("div", { class: "chart-empty" });
    this.el.append(this.empty);
    new ResizeObserver(() => this.resize()).observe(this.el);
    monitor.charts[name] = this;
  }

  size() {
    return { width: Math.max(this.el.clientWidth, 120), height: Math.max(this.el.clientHeight, 120) };
  }

  resize() {
    if (!this.plot) return;
    const s = this.size();
    if (s.width !== this.plot.width || s.height !== this.plot.height) this.plot.setSize(s);
  }

  // key: a string naming the layout; makeOpts(): the uPlot options for it.
  show(key, makeOpts, data, seriesOf = new Map()) {
    this.empty.hidden = true;
    this.seriesOf = seriesOf;
    if (this.plot && key === this.key) {
      this.plot.setData(data, !this.zoomed);
    } else {
      this.plot?.destroy();
      this.key = key;
      this.zoomed = false;
      const opts = { ...makeOpts(), ...this.size() };
      opts.legend = { show: false };
      opts.hooks = { ...opts.hooks, setSelect: [(u) => { if (u.select.width > 0) this.zoomed = true; }] };
      this.plot = new uPlot(opts, data, this.el);
      this.plot.over.addEventListener("dblclick", () => { this.zoomed = false; });
    }
    this.applyHidden();
  }

  // Nothing to draw: the plot goes, the message shows.
  clear(message) {
    this.plot?.destroy();
    this.plot = null;
    this.key = null;
    this.seriesOf = new Map();
    this.empty.textContent = message;
    this.empty.hidden = false;
  }

  applyHidden() {
    if (!this.plot) return;
    for (const [ch, indices] of this.seriesOf) {
      for (const i of indices) {
        const show = !monitor.hidden.has(ch);
        if (this.plot.series[i].show !== show) this.plot.setSeries(i, { show });
      }
    }
  }
}

const charts = {
  waveform: new Chart("waveform", $("waveform-chart")),
  history: new Chart("history", $("history-chart")),
  time: new Chart("time", $("time-chart")),
  charge: new Chart("charge", $("charge-chart")),
};
charts.waveform.clear("No event yet");
charts.history.clear("No rate history yet");
charts.time.clear("No time differences yet");
charts.charge.clear("No charge histograms yet");

function toggleChannel(ch) {
  if (monitor.hidden.has(ch)) monitor.hidden.delete(ch);
  else monitor.hidden.add(ch);
  for (const c of Object.values(charts)) c.applyHidden();
  for (const chip of $("waveform-legend").children) {
    chip.setAttribute("aria-pressed", String(!monitor.hidden.has(Number(chip.dataset.channel))));
  }
  for (const row of document.querySelectorAll("tr[data-channel]")) {
    row.classList.toggle("hidden-channel", monitor.hidden.has(Number(row.dataset.channel)));
  }
}

// ---------------------------------------------------------------------------------------
// Fetching

class HttpError extends Error {
  constructor(status) {
    super(`HTTP ${status}`);
    this.status = status;
  }
}

async function getJson(url) {
  const ctrl = new AbortController();
  const timer = setTimeout(() => ctrl.abort(), FETCH_TIMEOUT_MS);
  try {
    const r = await fetch(url, { cache: "no-store", signal: ctrl.signal });
    if (!r.ok) throw new HttpError(r.status);
    return await r.json();
  } finally {
    clearTimeout(timer);
  }
}

const failures = new Map();   // poller name -> its last error, while it fails

// Fetches `url()` every `intervalMs` (a failed one every RETRY_MS at most) and hands the
// answer to `render`. A fault in drawing is logged, not taken for a lost connection.
function poll(name, url, intervalMs, render) {
  const tick = async () => {
    let body;
    try {
      body = await getJson(url());
    } catch (err) {
      failures.set(name, err);
      showConnection();
      setTimeout(tick, Math.max(intervalMs, RETRY_MS));
      return;
    }
    failures.delete(name);
    showConnection();
    try {
      checkFormat(body);
      render(body);
    } catch (err) {
      console.error(`Veltrix monitor: showing ${name} failed:`, err);
    }
    setTimeout(tick, intervalMs);
  };
  tick();
}

function checkFormat(body) {
  if (body?.version !== API_FORMAT) {
    showBanner(`The program answers in format ${body?.version}; this page was written for format ` +
               `${API_FORMAT} and may show some of it wrongly.`, "warn");
  }
}

function showBanner(text, kind, ...extra) {
  const b = $("banner");
  b.replaceChildren(text, ...extra);
  b.className = `banner banner-${kind}`;
  b.hidden = false;
}

function showConnection() {
  const box = $("connection");
  const errors = [...failures.values()];
  const unauthorised = errors.some((e) => e instanceof HttpError && e.status === 401);
  let state;
  let text;
  if (unauthorised) {
    state = "auth";
    text = "Token needed";
    showBanner("This monitor asks for a token. Open ",
               "auth", el("code", {}, `${location.origin}/?token=YOUR_TOKEN`),
               " once in this browser, with the token from the first line of the program's " +
               "--web-token-file; the page then carries it by itself.");
  } else if (errors.length) {
    const http = errors.find((e) => e instanceof HttpError);
    state = "lost";
    text = http ? `Server answered ${http.status} — retrying` : "Connection lost — retrying";
  } else {
    state = "ok";
    text = monitor.status ? `Live · ${fmtClock(monitor.status.time)}` : "Live";
  }
  if (!unauthorised && $("banner").classList.contains("banner-auth")) $("banner").hidden = true;
  box.className = `connection conn-${state}`;
  setText("connection-text", text);
  document.body.classList.toggle("stale", errors.length > 0);
}

// ---------------------------------------------------------------------------------------
// The run

const STATES = ["idle", "running", "stopping"];

function renderStatus(s) {
  if (monitor.lastSnapshot !== null && s.snapshot < monitor.lastSnapshot) resetMessages();
  monitor.lastSnapshot = s.snapshot;
  monitor.status = s;

  const state = STATES.includes(s.state) ? s.state : "unknown";
  const badge = $("run-state");
  badge.className = `badge state-${state}`;
  setText("run-state", capitalised(String(s.state ?? "unknown")));

  setText("run-type", s.run_type || "—");
  $("run-replay").hidden = !s.replay;
  setText("run-source", s.replay ? "a data file, played back"
                                 : s.connected ? "the board" : "the board (not connected)");

  setText("run-elapsed", fmtDuration(s.elapsed_s));
  setText("run-duration", s.duration_s > 0 ? `of ${fmtDuration(s.duration_s)}` : "");
  setText("run-events", fmtInt(s.events));
  setText("run-required", s.events_required > 0 ? `of ${fmtInt(s.events_required)}` : "");
  setText("run-event-number", s.events > 0 ? `#${fmtInt(s.event_number)}` : "—");
  setText("run-rate", fmtRate(s.rate_hz));
  setText("run-mean-rate", fmtRate(s.mean_rate_hz));
  setText("run-bytes", s.run_directory ? fmtBytes(s.bytes_saved) : "not saving");
  $("card-run").classList.toggle("no-saving", !s.run_directory);
  $("card-run").classList.toggle("no-file", !s.data_file);
  setText("run-queue", `${fmtInt(s.saving_queue_waits)} waits` +
          (s.saving_queue_waits > 0 ? `, ${fmtNum(s.saving_queue_wait_s, 3)} s in all` : ""));
  setText("run-directory", s.run_directory || "—");
  // The data file inside the run directory is shown by its name alone.
  const dir = s.run_directory ? s.run_directory.replace(/\/+$/, "") + "/" : null;
  const file = s.data_file || "";
  setText("run-file", !file ? "—" : dir && file.startsWith(dir) ? file.slice(dir.length) : file);
  $("run-file").title = file;

  // Progress of a finite run.
  let fraction = null;
  if (s.run_type === "finite events" && s.events_required > 0) fraction = s.events / s.events_required;
  else if (s.run_type === "finite time" && s.duration_s > 0) fraction = s.elapsed_s / s.duration_s;
  $("run-progress").hidden = fraction === null;
  if (fraction !== null) {
    const pct = Math.max(0, Math.min(1, fraction)) * 100;
    $("run-progress-bar").style.width = `${pct}%`;
    setText("run-progress-text", `${pct.toFixed(1)} %`);
  }
}

// ---------------------------------------------------------------------------------------
// The board

function renderBoard(b) {
  const coloursChanged = JSON.stringify(b.channel_colours) !== JSON.stringify(monitor.board?.channel_colours);
  monitor.board = b;

  const badge = $("board-connected");
  badge.className = `badge ${b.connected ? "state-running" : "state-idle"}`;
  setText("board-connected", b.connected ? "Connected" : "Not connected");
  $("card-board").classList.toggle("off", !b.connected);
  const formFactor = b.form_factor === "desktop" ? "desktop" : b.form_factor || "";
  setText("board-model", b.model ? (formFactor ? `${b.model} (${formFactor})` : b.model) : "—");
  setText("board-serial", b.serial || "—");
  const enabled = (b.channel_enabled ?? []).slice(0, b.channels).filter(Boolean).length;
  setText("board-channels", b.channels ? `${b.channels}, ${enabled} acquired` : "—");
  setText("board-sampling", b.sampling_mhz > 0
    ? `${fmtInt(b.sampling_mhz)} MHz (${fmtNum(1000 / b.sampling_mhz)} ns per sample)` : "—");
  setText("board-samples", b.samples > 0 && b.sampling_mhz > 0
    ? `${fmtInt(b.samples)} samples, ${fmtNum((b.samples * 1000) / b.sampling_mhz)} ns` : "—");
  const fw = b.firmware ?? {};
  setText("board-firmware", [fw.motherboard && `motherboard ${fw.motherboard}`,
                             fw.daughterboard && `daughter boards ${fw.daughterboard}`].filter(Boolean).join(", ") || "—");
  const noInl = b.inl_correction && !(b.blocks ?? []).some((blk) => blk.inl_held);
  $("board-inl").replaceChildren(flag(b.connected && b.inl_correction, "on", "off"),
                                 noInl ? el("span", { class: "muted" }, " but no block holds an INL table") : null);
  $("board-trigger-dac").replaceChildren(flag(b.connected && b.trigger_dac_offsets_measured, "measured", "not measured"));
  setText("board-summary", b.connected
    ? [b.model, formFactor, b.serial ? `serial ${b.serial}` : "", b.channels ? `${b.channels} channels` : "",
       b.sampling_mhz ? `${fmtInt(b.sampling_mhz)} MHz` : ""].filter(Boolean).join(" · ")
    : "no board connected");

  const inlOn = !!b.inl_correction;
  const rows = (b.blocks ?? []).map((blk) => el("tr", {},
    el("td", { class: "num" }, String(blk.block)),
    el("td", { class: "num wide-only" }, `${2 * blk.block}, ${2 * blk.block + 1}`),
    el("td", { class: "num" }, blk.serial || "—"),
    el("td", { class: "c" }, mark(blk.pedestals_held, "pedestal table held")),
    el("td", { class: "c" }, mark(blk.pedestals_in_use, "pedestal table in use")),
    el("td", { class: "c" }, mark(blk.inl_held, "INL table held")),
    el("td", { class: "c" }, mark(blk.inl_held && inlOn, "INL table in use")),
    el("td", { class: "c" }, mark(blk.sam_dac_held, "SAM DAC offsets held"))));
  const tbody = $("blocks-table").tBodies[0];
  const sig = JSON.stringify([b.blocks, inlOn]);
  if (tbody.dataset.sig !== sig) {
    tbody.replaceChildren(...rows);
    tbody.dataset.sig = sig;
  }

  // The colours shown everywhere follow the board's.
  if (coloursChanged) {
    for (const cell of document.querySelectorAll("td.ch")) {
      const ch = Number(cell.parentElement.dataset.channel);
      if (Number.isInteger(ch)) cell.firstChild.style.background = colourOf(ch);
    }
  }
}

// ---------------------------------------------------------------------------------------
// The latest event

// The values of channel `c` at the points of the axis channel `ref`: the same array when
// both are sampled alike, else the nearest point (null outside the channel's record).
function onAxis(c, values, ref, x) {
  if (c.t0_ns === ref.t0_ns && c.dt_ns === ref.dt_ns && values.length === x.length) return values;
  return Array.from(x, (t) => {
    const i = Math.round((t - c.t0_ns) / c.dt_ns);
    return i >= 0 && i < values.length ? values[i] : null;
  });
}

const legendChips = new Map();   // channel -> its legend button

function renderEvent(ev) {
  const chans = (ev.channels ?? []).filter((c) => Array.isArray(c.min) && c.min.length > 0);
  syncLegend(chans);
  if (!chans.length) {
    setText("event-info", "");
    charts.waveform.clear("No event yet");
    return;
  }
  const ref = chans.reduce((a, c) => (c.min.length > a.min.length ? c : a));
  const x = Float64Array.from(ref.min, (_, i) => ref.t0_ns + i * ref.dt_ns);
  const data = [x];
  const series = [{ label: "Time (ns)" }];
  const bands = [];
  const seriesOf = new Map();
  const layout = [];
  let anyCut = false;
  for (const c of chans) {
    const colour = colourOf(c.channel);
    // A record cut into bins sends each bin's lowest and highest value: drawn as a band
    // between the two, so that a pulse narrower than a bin still shows.
    const cut = Array.isArray(c.max) && c.max.some((v, i) => v !== c.min[i]);
    anyCut ||= cut;
    const indices = [];
    if (cut) {
      data.push(onAxis(c, c.max, ref, x));
      series.push({ label: `Ch ${c.channel} max`, stroke: colour, width: 1 });
      indices.push(data.length - 1);
    }
    data.push(onAxis(c, c.min, ref, x));
    series.push({ label: `Ch ${c.channel}`, stroke: colour, width: cut ? 1 : 1.25 });
    indices.push(data.length - 1);
    if (cut) bands.push({ series: [indices[0], indices[1]], fill: withAlpha(colour, 0.5) });
    seriesOf.set(c.channel, indices);
    layout.push([c.channel, colour, cut]);
  }
  for (const s of series.slice(1)) s.points = { show: false };

  const readout = $("waveform-readout");
  const makeOpts = () => ({
    scales: { x: { time: false } },
    axes: axes(true, `Time (${ev.time_unit || "ns"})`, `Amplitude (${ev.unit || "V"})`),
    series,
    bands,
    cursor: { points: { show: false } },
    hooks: {
      setCursor: [(u) => {
        const { left, top } = u.cursor;
        readout.textContent = left == null || left < 0 || top == null || top < 0 ? ""
          : `t = ${u.posToVal(left, "x").toFixed(2)} ns, ${u.posToVal(top, "y").toFixed(4)} V`;
      }],
    },
  });
  charts.waveform.show(JSON.stringify(layout), makeOpts, data, seriesOf);

  const points = ref.min.length;
  setText("event-info", `#${fmtInt(ev.event_number)} at ${fmtNum(ev.event_time_s, 6)} s · ` +
          `${chans.length} channels · ${fmtInt(points)} points of ${fmtNum(ref.dt_ns)} ns` +
          (anyCut ? " (bins: the band spans each bin's min to max)" : ""));
}

function syncLegend(chans) {
  const box = $("waveform-legend");
  const wanted = chans.map((c) => c.channel);
  for (const [ch, chip] of legendChips) {
    if (!wanted.includes(ch)) {
      chip.remove();
      legendChips.delete(ch);
    }
  }
  wanted.forEach((ch, i) => {
    let chip = legendChips.get(ch);
    if (!chip) {
      chip = el("button", { type: "button", class: "chip", title: `Show or hide channel ${ch}` },
                el("span", { class: "swatch" }), el("span", { class: "name" }, `Ch ${ch}`));
      chip.dataset.channel = ch;
      chip.setAttribute("aria-pressed", String(!monitor.hidden.has(ch)));
      chip.addEventListener("click", () => toggleChannel(ch));
      legendChips.set(ch, chip);
    }
    chip.firstChild.style.background = colourOf(ch);
    if (box.children[i] !== chip) box.insertBefore(chip, box.children[i] ?? null);
  });
}

// ---------------------------------------------------------------------------------------
// Hit rates and noise

const rateRows = new ChannelRows($("rates-table").tBodies[0], (ch) => el("tr", {},
  channelCell(ch), el("td", { class: "r num rate" }), el("td", { class: "r num err" }),
  el("td", { class: "bar-col" }, el("div", { class: "bar" }, el("div", { class: "bar-fill" })))));

const noiseRows = new ChannelRows($("noise-table").tBodies[0], (ch) => el("tr", {},
  channelCell(ch), el("td", { class: "r num mean" }),
  el("td", { class: "bar-col" }, el("div", { class: "bar" }, el("div", { class: "bar-fill" })))));

// A bar of `value` out of `top`, in the channel's colour.
function setBar(row, value, top, channel) {
  const fill = row.querySelector(".bar-fill");
  fill.style.width = top > 0 && isNum(value) ? `${(100 * value) / top}%` : "0";
  fill.style.background = colourOf(channel);
}

function renderRates(r) {
  monitor.rates = r;
  const list = r.tracked ? r.channels ?? [] : [];
  const enabled = monitor.board?.channel_enabled ?? [];
  const top = Math.max(0, ...list.map((c) => (isNum(c.rate_hz) ? c.rate_hz : 0)));
  const rows = rateRows.sync(list.map((c) => c.channel));
  list.forEach((c, i) => {
    const row = rows[i];
    row.classList.toggle("off", enabled[c.channel] === false);
    row.querySelector(".rate").textContent = isNum(c.rate_hz) ? fmtRate(c.rate_hz) : "not known yet";
    row.querySelector(".err").textContent = isNum(c.error_hz) ? `± ${fmtRate(c.error_hz)}` : "";
    setBar(row, c.rate_hz, top, c.channel);
  });
  // Rates not measured: the card keeps only its note.
  $("rates-off").hidden = !!r.tracked;
  $("rates-body").hidden = !r.tracked;
  $("history-controls").hidden = !r.tracked;
  setText("rates-note", r.tracked ? "the last ten minutes, and now" : "");

  renderHistory(r);

  const noise = r.noise?.tracked ? r.noise.channels ?? [] : [];
  $("noise-note").hidden = !!r.noise?.tracked;
  $("noise-table").hidden = !r.noise?.tracked;
  const noiseTop = Math.max(0, ...noise.map((c) => (isNum(c.mean_sigma_mv) ? c.mean_sigma_mv : 0)));
  const nrows = noiseRows.sync(noise.map((c) => c.channel));
  noise.forEach((c, i) => {
    nrows[i].classList.toggle("off", enabled[c.channel] === false);
    nrows[i].querySelector(".mean").textContent = isNum(c.mean_sigma_mv) ? `${c.mean_sigma_mv.toFixed(3)} mV` : "—";
    setBar(nrows[i], c.mean_sigma_mv, noiseTop, c.channel);
  });
}

function renderHistory(r) {
  const h = r.history;
  const times = Array.isArray(h?.times) ? h.times : [];
  const lists = (Array.isArray(h?.rates_hz) ? h.rates_hz : []).map((l) => (Array.isArray(l) ? l : []));
  const n = times.length;
  const known = lists.some((l) => l.some(isNum));
  if (n === 0 || !known) {
    charts.history.clear(r.tracked ? "No rate known yet" : "The hit rates are not measured in this run");
    return;
  }
  const log = $("history-log").checked;
  const clock = $("history-x").value === "clock";
  // Against "now", the time of the program's answer, so that the latest point sits at its age.
  const tEnd = isNum(r.time) ? Math.max(r.time, times[n - 1]) : times[n - 1];
  const x = Float64Array.from(times, (t) => (clock ? t : t - tEnd));
  const data = [x];
  const series = [{}];
  const seriesOf = new Map();
  lists.forEach((values, ch) => {
    if (!Array.isArray(values) || !values.some(isNum)) return;
    // A log scale has no room for zero: those points are left out.
    data.push(Array.from({ length: n }, (_, i) => {
      const v = values[i];
      return isNum(v) && (!log || v > 0) ? v : null;
    }));
    series.push({ label: `Ch ${ch}`, stroke: colourOf(ch), width: 1.25, points: { show: false } });
    seriesOf.set(ch, [data.length - 1]);
  });
  // The span kept, or less while the history is short (a minute at least).
  const span = Math.min(HISTORY_SPAN_S, Math.max(60, tEnd - times[0]));
  const xRange = clock ? [tEnd - span, tEnd] : [-span, 0];
  const makeOpts = () => ({
    scales: {
      x: { time: clock, range: (u, lo, hi) => (charts.history.zoomed ? [lo, hi] : charts.history.xRange) },
      y: log ? { distr: 3, log: 10, range: logRange } : { range: (u, lo, hi) => [0, zeroRangeTop(hi)] },
    },
    axes: axes(false, clock ? "Local time" : "Time before now (s)", "Hit rate (Hz)", {
      x: clock ? { space: 70, values: clockTicks } : { space: 50 },
      y: { values: (u, splits) => splits.map(fmtSi) },
    }),
    series,
    cursor: { points: { show: false } },
  });
  charts.history.xRange = xRange;
  charts.history.show(JSON.stringify([log, clock, series.map((s) => [s.label, s.stroke])]), makeOpts, data, seriesOf);
}

// Tick labels of a clock axis: hh:mm on whole minutes, hh:mm:ss between them.
function clockTicks(u, splits) {
  const minutes = splits.every((v) => Math.round(v) % 60 === 0);
  return splits.map((v) => {
    const text = fmtClock(v);
    return minutes ? text.slice(0, -3) : text;
  });
}

// Ranges of the plots' y axes: a log axis over whole decades around the data, a linear one
// from zero with a margin above the highest point.
function logRange(u, lo, hi) {
  if (!isNum(lo) || !isNum(hi) || lo <= 0) return [1, 1e4];
  return [10 ** Math.floor(Math.log10(lo)), 10 ** Math.ceil(Math.log10(hi * 1.5))];
}

function zeroRangeTop(hi) {
  return isNum(hi) && hi > 0 ? hi * 1.08 : 1;
}

// ---------------------------------------------------------------------------------------
// Histograms

// A histogram of the answer ({centres, counts}) as bins of equal width: {lo, width, counts}
// and the rest of its fields; null when it has no bins.
function binned(h) {
  if (!h || !Array.isArray(h.centres) || !Array.isArray(h.counts)) return null;
  const n = Math.min(h.centres.length, h.counts.length);
  if (n === 0 || !h.centres.slice(0, n).every(isNum)) return null;
  const width = n > 1 ? (h.centres[n - 1] - h.centres[0]) / (n - 1) : 1;
  if (!(width > 0)) return null;
  return { ...h, counts: h.counts.slice(0, n).map((c) => (isNum(c) ? c : 0)), lo: h.centres[0] - width / 2, width };
}

// A histogram as points for a step line: its bin edges, each holding its bin's count (the
// last edge repeats the last count so that the last bin is drawn whole).
function edges(h) {
  return Array.from({ length: h.counts.length + 1 }, (_, i) => h.lo + i * h.width);
}

// The edges of the occupied bins of some histograms, with a margin; null when all are empty.
function occupiedRange(hists) {
  let lo = Infinity;
  let hi = -Infinity;
  for (const h of hists) {
    const first = h.counts.findIndex((c) => c > 0);
    if (first < 0) continue;
    const last = h.counts.length - 1 - [...h.counts].reverse().findIndex((c) => c > 0);
    lo = Math.min(lo, h.lo + first * h.width);
    hi = Math.max(hi, h.lo + (last + 1) * h.width);
  }
  if (!(hi > lo)) return null;
  const margin = Math.max((hi - lo) * 0.15, 3 * Math.max(...hists.map((h) => h.width)));
  return [lo - margin, hi + margin];
}

// The counts of histogram h at the points x (its bin's count, null outside its range).
function countsAt(h, x, log) {
  const n = h.counts.length;
  return Array.from(x, (t) => {
    let i = Math.floor((t - h.lo) / h.width + 1e-9);
    if (i === n && Math.abs(t - (h.lo + n * h.width)) < h.width * 1e-6) i = n - 1;
    const c = i >= 0 && i < n ? h.counts[i] : null;
    return c === null || (log && c <= 0) ? null : c;
  });
}

// The shared x points of several histograms: their edges, merged.
function mergedEdges(hists) {
  const first = hists[0];
  const alike = hists.every((h) => h.lo === first.lo && h.width === first.width && h.counts.length === first.counts.length);
  if (alike) return edges(first);
  return [...new Set(hists.flatMap(edges))].sort((a, b) => a - b);
}

function histogramOpts(chart, xLabel, yLog, series, bands = []) {
  return () => ({
    scales: {
      x: { time: false, range: (u, lo, hi) => (chart.zoomed || !chart.xRange ? [lo, hi] : chart.xRange) },
      y: yLog ? { distr: 3, log: 10, range: logRange } : { range: (u, lo, hi) => [0, zeroRangeTop(hi)] },
    },
    axes: axes(false, xLabel, "Counts", { y: { values: (u, splits) => splits.map(fmtSi) } }),
    series,
    bands,
    cursor: { points: { show: false } },
  });
}

function chargeHistograms(hs) {
  return (Array.isArray(hs?.charge) ? hs.charge : []).map(binned).filter(Boolean);
}

function renderHistograms(hs) {
  monitor.histograms = hs;
  renderTimeHistogram(hs.time_difference);
  renderChargeHistograms(chargeHistograms(hs));
}

function renderTimeHistogram(answer) {
  const stats = $("time-stats");
  const t = answer?.shown ? binned(answer) : null;
  $("card-time").classList.toggle("absent", !answer?.shown);
  $("time-keys").hidden = !t;
  if (!t || !(t.entries > 0)) {
    setText("time-title", "Time difference");
    charts.time.clear("No time differences yet");
    stats.replaceChildren();
    return;
  }
  const unit = t.unit || "ns";
  const [a, b] = Array.isArray(t.channels) ? t.channels : [];
  setText("time-title", `Time difference, Ch ${a} − Ch ${b}`);
  const log = $("time-log").checked;
  const x = edges(t);
  const counts = countsAt(t, x, log);
  const data = [x, counts];
  const series = [{}, { label: "Counts", stroke: "#1f5fa8", fill: "rgba(31,95,168,0.18)", width: 1.5,
                        paths: uPlot.paths.stepped({ align: 1 }), points: { show: false } }];
  // The Gaussian fit, scaled to the counts in the histogram's range.
  const fit = t.fit && isNum(t.fit.mean) && isNum(t.fit.sigma) && t.fit.sigma > 0 ? t.fit : null;
  if (fit) {
    const total = t.counts.reduce((s, c) => s + c, 0);
    const peak = (total * t.width) / (fit.sigma * Math.sqrt(2 * Math.PI));
    data.push(x.map((v) => {
      const y = peak * Math.exp(-0.5 * ((v - fit.mean) / fit.sigma) ** 2);
      return log && y < 1 ? null : y;
    }));
    series.push({ label: "Gaussian fit", stroke: "#d02020", width: 1.5, dash: [6, 3], points: { show: false } });
  }
  $("time-fit-key").hidden = !fit;
  charts.time.xRange = occupiedRange([t]);
  charts.time.show(JSON.stringify([log, !!fit, unit]), histogramOpts(charts.time, `Time difference (${unit})`, log, series), data);

  stats.replaceChildren(...[
    ["Entries", fmtInt(t.entries)],
    ["Mean", fmtTime(t.mean)],
    ["RMS", fmtTime(t.rms)],
    ...(fit ? [["Fit mean", fmtTime(fit.mean)], ["Fit sigma", fmtTime(fit.sigma)]] : [["Gaussian fit", "not converged"]]),
    ["Bins", `${fmtInt(t.counts.length)} of ${fmtTime(t.width)}`],
  ].map(([k, v]) => el("div", {}, el("dt", {}, k), el("dd", { class: "num" }, v))));
}

const chargeRows = new ChannelRows($("charge-table").tBodies[0], (ch) => el("tr", {},
  channelCell(ch), el("td", { class: "r num entries" }), el("td", { class: "r num mean" }),
  el("td", { class: "r num sigma" })));

function renderChargeHistograms(list) {
  const rows = chargeRows.sync(list.map((h) => h.channel));
  list.forEach((h, i) => {
    const unit = h.unit || "pC";
    rows[i].querySelector(".entries").textContent = fmtInt(h.entries);
    rows[i].querySelector(".mean").textContent = isNum(h.mean) ? `${fmtNum(h.mean)} ${unit}` : "—";
    rows[i].querySelector(".sigma").textContent = isNum(h.sigma) ? `${fmtNum(h.sigma)} ${unit}` : "—";
  });
  $("card-charge").classList.toggle("absent", !list.length);
  if (!list.length) {
    charts.charge.clear("No charge histograms");
    return;
  }
  const log = $("charge-log").checked;
  const x = mergedEdges(list);
  const data = [x];
  const series = [{}];
  const seriesOf = new Map();
  for (const h of list) {
    data.push(countsAt(h, x, log));
    series.push({ label: `Ch ${h.channel}`, stroke: colourOf(h.channel), width: 1.25,
                  paths: uPlot.paths.stepped({ align: 1 }), points: { show: false } });
    seriesOf.set(h.channel, [data.length - 1]);
  }
  const unit = list[0].unit || "pC";
  charts.charge.xRange = occupiedRange(list);
  charts.charge.show(JSON.stringify([log, unit, series.map((s) => [s.label, s.stroke])]),
                     histogramOpts(charts.charge, `Charge (${unit})`, log, series), data, seriesOf);
}

// ---------------------------------------------------------------------------------------
// Messages (oldest first, newest at the bottom)

const LEVELS = ["info", "warning", "error"];

function resetMessages() {
  monitor.messageSeq = null;
  $("messages").replaceChildren();
  countMessages();
}

function renderMessages(body) {
  const list = $("messages");
  const fresh = (body.messages ?? []).filter((m) => monitor.messageSeq === null || m.seq > monitor.messageSeq);
  if (!fresh.length) return;
  // Follow the newest unless the reader has scrolled up.
  const atEnd = list.scrollHeight - list.scrollTop - list.clientHeight < 24;
  for (const m of fresh) {
    const level = LEVELS.includes(m.level) ? m.level : "info";
    list.append(el("li", { class: `msg ${level}` },
                   el("span", { class: "msg-time num" }, m.time ?? ""),
                   el("span", { class: "msg-level" }, level),
                   el("span", { class: "msg-text" }, String(m.text ?? "").trimEnd())));
    monitor.messageSeq = m.seq;
  }
  while (list.children.length > MAX_MESSAGES) list.firstChild.remove();
  countMessages();
  if (atEnd) list.scrollTop = list.scrollHeight;
}

function countMessages() {
  for (const level of LEVELS) {
    setText(`count-${level}`, String($("messages").getElementsByClassName(level).length));
  }
}

for (const level of LEVELS) {
  $(`show-${level}`).addEventListener("change", (e) => {
    $("messages").classList.toggle(`hide-${level}`, !e.target.checked);
  });
}

// ---------------------------------------------------------------------------------------
// Controls and polling

$("history-log").addEventListener("change", () => monitor.rates && renderHistory(monitor.rates));
$("history-x").addEventListener("change", () => monitor.rates && renderHistory(monitor.rates));
$("time-log").addEventListener("change", () => monitor.histograms && renderTimeHistogram(monitor.histograms.time_difference));
$("charge-log").addEventListener("change", () => monitor.histograms && renderChargeHistograms(chargeHistograms(monitor.histograms)));

poll("board", () => "api/board", POLL_BOARD_MS, renderBoard);
poll("status", () => "api/status", POLL_MS, renderStatus);
poll("event", () => "api/event", POLL_MS, renderEvent);
poll("rates", () => "api/rates", POLL_MS, renderRates);
poll("histograms", () => "api/histograms", POLL_MS, renderHistograms);
poll("messages", () => (monitor.messageSeq === null ? "api/messages" : `api/messages?since=${monitor.messageSeq}`),
     POLL_MS, renderMessages);
