// The live page of solwatch's HTTP server.
//
// Element ids, for scripts and tests (values carry the plain number or name,
// the unit sits in a separate element beside it):
//   battery-voltage, battery-current, panel-power, panel-voltage,
//   charge-state, yield-today, temperature, load ("ON"/"OFF"), load-current
//     the last row's values, "–" while missing; a value whose column the
//     table does not have hides (its tile, or its part of the load tile)
//   device       model and serial number of the charger
//   last-row     seconds since the last row's time, updated every second
//   link-banner  role="alert", shown while no data comes from the charger
//   server-banner role="alert", shown while the page cannot reach solwatch
//     or gets its values by polling (the event stream refused or broken)
//   body classes "aging" (rows late) and "stale" (no rows) grey the values
//   chart-area   the 48-hour chart (chart, chart-legend, state-legend)
//   chart-note   shown instead of the chart when dygraphs is missing
'use strict';

// The tiles' labels and units, where each value comes from (the first of
// its keys that the state has), the chart's keys and the charge states'
// colours are solwatch's field catalogue, from /api/fields.
let VALUES = [];       // [element id, keys]
let CHART_KEYS = [[], [], []];
let STATE_COLOURS = {};
const HISTORY_FIELDS = ['time', 'panel_power_w', 'battery_voltage_v', 'charge_current_a', 'state'];
const STATE = HISTORY_FIELDS.indexOf('state');
const MAX_POINTS = 48 * 60;
const MISSING = '–';
// Without the event stream, /api/state and /api/link are fetched this often.
const POLL_SECONDS = 10;
// Rows count as late after twice their interval and a bit, as the server's health says.
const ROW_LATENESS = 5;
// Past this the values are only history.
const STALE_SECONDS = 600;

// Charge states as pale bands behind the chart's lines.
const BAND_OPACITY = 0.3;

let lastRowTime = null;
let rowInterval = 60;  // seconds between the last two rows
let linkUp = true;
let serverReached = true;
let lastContact = Date.now() / 1000;  // of the last answer or event from solwatch
let events = null;     // the event stream, while there is one
let pollTimer = null;  // while the page polls instead
let points = [];  // as HISTORY_FIELDS: [time s, panel W, battery V, charge A, state], oldest first
let chart = null;
let redrawPending = false;
let missedEvents = false;  // the event stream broke: catch up when it is back

// The server writes each number with the table's own digits ("13.60") and
// JSON.parse would shorten it to 13.6: numbers become strings before parsing
// so that the page shows them exactly as the CSV row prints them.
function parseKeepingDigits(text) {
  return JSON.parse(text.replace(/"(?:[^"\\]|\\.)*"|-?\d+(?:\.\d+)?(?:[eE][+-]?\d+)?/g,
    token => (token[0] === '"' ? token : '"' + token + '"')));
}

// The value at a dotted path ("history.days.0.yield_kwh"); undefined when the
// state has no such member, null when the value is missing.
function lookup(state, path) {
  return path.split('.').reduce((node, key) => (node == null ? undefined : node[key]), state);
}

function firstPresent(state, keys) {
  for (const key of keys) {
    const value = lookup(state, key);
    if (value !== undefined) return value;
  }
  return undefined;
}

function showState(state) {
  for (const [id, keys] of VALUES) {
    const element = document.getElementById(id);
    const value = firstPresent(state, keys);
    element.textContent = value == null ? MISSING : value;
    element.closest('.part, .tile').hidden = value === undefined;
  }
  const time = Number(state.time);
  if (lastRowTime !== null && time > lastRowTime) rowInterval = time - lastRowTime;
  lastRowTime = time;
  showAge();
}

// The age of the last row, and the values greyed by it.
function showAge() {
  const age = lastRowTime === null ? null : Math.max(0, Math.round(Date.now() / 1000 - lastRowTime));
  document.getElementById('last-row').textContent = age === null ? MISSING : age;
  const stale = !linkUp || !serverReached || (age !== null && age > STALE_SECONDS);
  document.body.classList.toggle('stale', stale);
  document.body.classList.toggle('aging', !stale && age !== null && age > 2 * rowInterval + ROW_LATENESS);
}

function clockTime(unixSeconds) {
  return new Date(unixSeconds * 1000).toLocaleTimeString([], { hour: '2-digit', minute: '2-digit' });
}

function showBanner(id, text) {
  const banner = document.getElementById(id);
  banner.textContent = text;
  banner.hidden = !text;
}

// `since`: the unix time of the last data from the charger, if known.
function showLink(up, since) {
  linkUp = up;
  const when = since || lastRowTime;
  showBanner('link-banner', up ? '' : 'No data from the charger' + (when ? ' since ' + clockTime(when) : '') +
    ' (the cable or the charger?)');
  showAge();
}

// Whether solwatch answers, and whether the page has its event stream.
function showServer(reached, streaming) {
  serverReached = reached;
  if (reached) lastContact = Date.now() / 1000;
  showBanner('server-banner', !reached ? 'No connection to solwatch since ' + clockTime(lastContact)
    : streaming ? '' : 'solwatch is busy: showing values every ' + POLL_SECONDS + ' s');
  showAge();
}

function showDevice(info) {
  const parts = [info.model, info.serial_number].filter(Boolean);
  document.getElementById('device').textContent = parts.length ? parts.join(' · ') : MISSING;
}

function chartNumber(value) {
  const number = value == null ? NaN : Number(value);
  return Number.isFinite(number) ? number : null;
}

// Adds a row's point, or replaces the point of the same minute; keeps 48 hours.
function addPoint(state) {
  const time = Number(state.time);
  const values = CHART_KEYS.map(keys => chartNumber(firstPresent(state, keys)));
  const point = [time, ...values, state.state == null ? null : state.state];
  const last = points[points.length - 1];
  if (last && Math.floor(last[0] / 60) === Math.floor(time / 60)) points[points.length - 1] = point;
  else points.push(point);
  while (points.length > MAX_POINTS || points[0][0] < time - MAX_POINTS * 60) points.shift();
}

function setHistory(history) {
  const at = HISTORY_FIELDS.map(field => history.fields.indexOf(field));
  points = history.points.slice(-MAX_POINTS).map(p => at.map(i => (i < 0 ? null : p[i])));
  drawChart();
}

// A gap of more than two minutes (link lost, program stopped) breaks the lines.
function isGap(from, to) {
  return to[0] - from[0] > 120;
}

function chartRows() {
  const rows = [];
  points.forEach((p, i) => {
    if (i > 0 && isGap(points[i - 1], p)) rows.push([new Date((points[i - 1][0] + 60) * 1000), null, null, null]);
    rows.push([new Date(p[0] * 1000), p[1], p[2], p[3]]);
  });
  return rows;
}

function stateColour(state) {
  return STATE_COLOURS[state] || STATE_COLOURS.UNKNOWN;
}

// One band per run of points in the same state, ending at the next point.
function drawStateBands(context, area, graph) {
  context.save();
  context.globalAlpha = BAND_OPACITY;
  let start = 0;
  for (let i = 1; i <= points.length; i++) {
    const joined = i < points.length && !isGap(points[i - 1], points[i]);
    if (joined && points[i][STATE] === points[start][STATE]) continue;
    const end = joined ? points[i][0] : points[i - 1][0] + 60;
    const left = graph.toDomXCoord(points[start][0] * 1000);
    context.fillStyle = stateColour(points[start][STATE]);
    context.fillRect(left, area.y, graph.toDomXCoord(end * 1000) - left, area.h);
    start = i;
  }
  context.restore();
}

const SERIES = ['Panel power W (left)', 'Battery voltage V (right)', 'Charge current A (right)'];
const SERIES_COLOURS = ['#c25e00', '#1f4e9c', '#2e7d32'];

// The series' names, with their values at the hovered time if there is one.
function showChartLegend(time, hovered) {
  const spans = SERIES.map((label, i) => {
    const span = document.createElement('span');
    const point = hovered && hovered.find(p => p.name === label);
    span.style.color = SERIES_COLOURS[i];
    span.textContent = label + (point ? ': ' + point.yval : '');
    return span;
  });
  if (hovered) spans.unshift(new Date(time).toLocaleString() + ' ');
  document.getElementById('chart-legend').replaceChildren(...spans);
}

function createChart() {
  // dygraphs' legend sets a style attribute, which the page's content
  // security policy blocks: the page draws its own legend instead.
  Dygraph.PLUGINS = Dygraph.PLUGINS.filter(plugin => plugin !== Dygraph.Plugins.Legend);
  showChartLegend();
  return new Dygraph(document.getElementById('chart'), chartRows(), {
    labels: ['Time', ...SERIES],
    ylabel: 'Panel power (W)',
    y2label: 'Battery voltage (V), charge current (A)',
    colors: SERIES_COLOURS,
    series: { [SERIES[1]]: { axis: 'y2' }, [SERIES[2]]: { axis: 'y2' } },
    axes: { y2: { independentTicks: true } },
    highlightCallback: (event, time, hovered) => showChartLegend(time, hovered),
    unhighlightCallback: () => showChartLegend(),
    underlayCallback: drawStateBands,
    strokeWidth: 1.5,
  });
}

function drawChart() {
  redrawPending = false;
  if (typeof Dygraph === 'undefined' || points.length === 0) return;
  if (chart) chart.updateOptions({ file: chartRows() });
  else chart = createChart();
}

// Rows may come many a second: the chart redraws once a second at most.
function redrawSoon() {
  if (redrawPending) return;
  redrawPending = true;
  setTimeout(drawChart, 1000);
}

function showStateLegend() {
  const list = document.getElementById('state-legend');
  list.replaceChildren();
  for (const [name, colour] of Object.entries(STATE_COLOURS)) {
    const item = document.createElement('li');
    const swatch = document.createElement('span');
    swatch.className = 'swatch';
    swatch.style.backgroundColor = colour;
    swatch.style.opacity = BAND_OPACITY;
    item.append(swatch, name);
    list.appendChild(item);
  }
}

// Labels and units into the tiles (a part of a tile keeps the tile's label).
function takeFields(fields) {
  VALUES = fields.tiles.map(tile => [tile.id, tile.keys]);
  for (const tile of fields.tiles) {
    const element = document.getElementById(tile.id);
    if (!element) continue;
    const unit = element.nextElementSibling;
    if (unit && unit.classList.contains('unit')) unit.textContent = tile.unit;
    if (!element.closest('.part')) element.closest('.tile').querySelector('h2').textContent = tile.label;
  }
  CHART_KEYS = fields.chart;
  STATE_COLOURS = Object.fromEntries(fields.states.map(state => [state.name, state.colour]));
  showStateLegend();
}

// The page waits for the catalogue; without it, it tries again at each poll's turn.
async function fetchFields() {
  for (;;) {
    try {
      const fields = await fetchText('/api/fields');
      if (fields.ok) return takeFields(JSON.parse(fields.text));
    } catch (error) {
      showServer(false, false);
    }
    await new Promise(resolve => setTimeout(resolve, POLL_SECONDS * 1000));
  }
}

async function fetchText(path) {
  const response = await fetch(path, { cache: 'no-store' });
  return { ok: response.ok, status: response.status, text: await response.text() };
}

async function refresh() {
  const [info, state, history] = await Promise.all(['/api/info', '/api/state', '/api/history'].map(fetchText));
  if (info.ok) showDevice(JSON.parse(info.text));
  if (state.ok) showState(parseKeepingDigits(state.text));
  if (history.ok) setHistory(JSON.parse(history.text));
}

function takeRow(state) {
  showState(state);
  addPoint(state);
  redrawSoon();
}

function onRow(event) {
  showServer(true, true);
  takeRow(parseKeepingDigits(event.data));
}

function onLink(event) {
  const link = JSON.parse(event.data);
  showLink(link.up, link.since);
}

async function fetchLink() {
  const link = await fetchText('/api/link');
  if (link.ok) {
    const state = JSON.parse(link.text);
    showLink(state.up, state.since);
  }
}

// Without the stream: the values every few seconds, and another try of
// the stream at each turn.
async function poll() {
  try {
    const state = await fetchText('/api/state');
    await fetchLink();
    if (state.ok) takeRow(parseKeepingDigits(state.text));
    showServer(true, false);
  } catch (error) {
    showServer(false, false);
  }
  if (!events) connectEvents();
}

function startPolling() {
  if (pollTimer) return;
  pollTimer = setInterval(poll, POLL_SECONDS * 1000);
  poll();
}

function stopPolling() {
  clearInterval(pollTimer);
  pollTimer = null;
}

// The browser reconnects by itself after a dropped stream, but gives up on
// an error answer (such as too many clients). Either way the page polls
// until a stream is open again, and after a refusal tries a new one at
// each poll.
function connectEvents() {
  const stream = new EventSource('/events');
  events = stream;
  stream.addEventListener('row', onRow);
  stream.addEventListener('link', onLink);
  stream.addEventListener('open', () => {
    stopPolling();
    showServer(true, true);
    if (missedEvents) refresh().catch(() => {});
    missedEvents = false;
  });
  stream.addEventListener('error', () => {
    missedEvents = true;
    if (stream.readyState === EventSource.CLOSED) {
      stream.close();
      events = null;
    }
    startPolling();
  });
}

async function start() {
  if (typeof Dygraph === 'undefined') {
    const note = document.getElementById('chart-note');
    note.textContent = 'The chart needs dygraphs (Debian package libjs-dygraphs), which this server does not have.';
    note.hidden = false;
    document.getElementById('chart-area').hidden = true;
  }
  await fetchFields();
  setInterval(showAge, 1000);
  fetchLink().catch(() => {});
  refresh().catch(() => {});
  connectEvents();
}

start();
