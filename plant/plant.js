// The plant overview: one card per station, fed by the stations' MQTT topics over WebSockets.
// Page parameters: ?broker=ws://host:port (default: the host that served this page) and
// ?topics=kelvora/# (the filter that covers every station's <prefix>/verdict, state, figures, alert).
"use strict";

const RECENT = 50;
const params = new URLSearchParams(location.search);
const defaultBroker = location.protocol.startsWith("http")
  ? (location.protocol === "https:" ? "wss://" : "ws://") + location.host
  : "ws://localhost:9001";
const brokerUrl = params.get("broker") || defaultBroker;
const topics = params.get("topics") || "kelvora/#";

// For tests and measurements: the stations as the page knows them and how fast it drew them.
const plant = { stations: new Map(), renders: 0, lastDelayMs: 0, connected: false };
window.plant = plant;

function stationOf(key) {
  let s = plant.stations.get(key);
  if (!s) {
    s = { key, state: null, figures: null, recent: [], alerts: [], card: null, dirty: true, since: 0 };
    plant.stations.set(key, s);
  }
  return s;
}

function handle(topic, text) {
  const cut = topic.lastIndexOf("/");
  const kind = topic.slice(cut + 1);
  let data;
  try {
    data = JSON.parse(text);
  } catch (e) {
    return; // not one of ours
  }
  if (!data || typeof data !== "object") return;
  const s = stationOf(topic.slice(0, cut));
  if (kind === "state") {
    s.state = data;
  } else if (kind === "figures") {
    s.figures = data;
    // The weights come with each verdict; the figures' list only fills a page that opened since.
    if (!s.lot && Array.isArray(data.recent)) s.recent = data.recent.slice(-RECENT);
    s.alerts = Array.isArray(data.alerts) ? data.alerts.slice() : [];
  } else if (kind === "verdict") {
    const lot = `${data.lot}\u0000${data.model}`;
    if (s.lot !== undefined && s.lot !== lot) s.recent = []; // a new lot starts its own chart
    s.lot = lot;
    s.recent.push(data.weight);
    if (s.recent.length > RECENT) s.recent.shift();
    if (data.verdict === "正常") s.alerts = []; // an alert stays open until the next good product
  } else if (kind === "alert") {
    if (!s.alerts.some((a) => a.time === data.time && a.text === data.text)) s.alerts.push(data);
  } else {
    return;
  }
  s.dirty = true;
  if (!s.since) s.since = performance.now();
  scheduleRender();
}

let renderPending = false;
function scheduleRender() {
  if (renderPending) return;
  renderPending = true;
  requestAnimationFrame(render);
}

function fixed(value, digits) {
  return typeof value === "number" && isFinite(value) ? value.toFixed(digits) : "—";
}

function set(card, selector, text, cls) {
  const el = card.querySelector(selector);
  el.textContent = text;
  el.classList.remove("good", "bad");
  if (cls) el.classList.add(cls);
}

function drawChart(canvas, weights, lower, upper) {
  const ctx = canvas.getContext("2d");
  const w = canvas.width;
  const h = canvas.height;
  ctx.clearRect(0, 0, w, h);
  const values = weights.filter((v) => typeof v === "number");
  if (!values.length) return;
  let lo = Math.min(...values, lower || Infinity);
  let hi = Math.max(...values, upper || -Infinity);
  if (hi - lo < 1e-9) { lo -= 1; hi += 1; }
  const pad = (hi - lo) * 0.1;
  lo -= pad; hi += pad;
  const y = (v) => h - ((v - lo) / (hi - lo)) * h;
  ctx.strokeStyle = "#c0392b";
  ctx.setLineDash([4, 3]);
  for (const limit of [lower, upper]) {
    if (typeof limit === "number" && limit > 0) {
      ctx.beginPath(); ctx.moveTo(0, y(limit)); ctx.lineTo(w, y(limit)); ctx.stroke();
    }
  }
  ctx.setLineDash([]);
  ctx.strokeStyle = "#1f3a5a";
  ctx.beginPath();
  values.forEach((v, i) => {
    const x = values.length > 1 ? (i / (RECENT - 1)) * w : w / 2;
    if (i) ctx.lineTo(x, y(v)); else ctx.moveTo(x, y(v));
  });
  ctx.stroke();
  ctx.fillStyle = "#1f3a5a";
  values.forEach((v, i) => {
    const out = (upper > lower && (v > upper || v < lower));
    ctx.fillStyle = out ? "#c0392b" : "#1f3a5a";
    ctx.fillRect((values.length > 1 ? (i / (RECENT - 1)) * w : w / 2) - 1.5, y(v) - 1.5, 3, 3);
  });
}

function fill(s) {
  const card = s.card;
  const st = s.state || {};
  const f = s.figures || {};
  const online = s.state ? st.online !== false : true;
  card.querySelector(".name").textContent = st.station || f.station || s.key;
  card.classList.toggle("offline", !online);
  card.classList.toggle("stopped", online && !st.running);
  card.querySelector(".run").textContent = !online ? "离线" : st.running ? "运行中" : "已停止";
  const model = st.model || f.model || "";
  const unit = f.unit || "kg";
  const nominal = typeof st.nominal === "number" ? st.nominal : f.nominal;
  const lower = typeof st.lower === "number" ? st.lower : f.lower;
  const upper = typeof st.upper === "number" ? st.upper : f.upper;
  card.querySelector(".model").textContent = model
    ? `${model}  标准 ${fixed(nominal, 3)} ${unit}（${fixed(lower, 3)}–${fixed(upper, 3)}）`
    : "";
  set(card, ".rate", typeof f.ratePerMinute === "number" ? `${f.ratePerMinute} /分` : "—");
  set(card, ".count", String(typeof st.count === "number" ? st.count : f.count ?? "—"));
  set(card, ".reject", typeof f.rejectPercent === "number" ? `${fixed(f.rejectPercent, 1)}%` : "—",
      f.rejectPercent > 5 ? "bad" : "");
  const d = f.meanMinusNominal;
  set(card, ".mean", typeof d === "number" ? `${d >= 0 ? "+" : ""}${fixed(d, 3)} ${unit}` : "—",
      typeof d === "number" && d < 0 ? "bad" : "");
  set(card, ".lot", f.lotVerdict || "—", f.lotVerdict === "合格" ? "good" : f.lotVerdict ? "bad" : "");
  set(card, ".operator", st.operator || "—");
  drawChart(card.querySelector(".chart"), s.recent, lower, upper);

  const alerts = s.alerts.map((a) => a.text);
  if (online && s.state && st.indicatorOnline === false) alerts.push("仪表无数据");
  if (online && s.state && st.databaseOnline === false) {
    alerts.push(`数据库离线，${st.databaseWaiting || 0} 条待上传`);
  }
  const list = card.querySelector(".alerts");
  list.replaceChildren(...alerts.map((text) => {
    const li = document.createElement("li");
    li.textContent = text;
    return li;
  }));
  card.classList.toggle("alerting", online && alerts.length > 0);
}

function render() {
  renderPending = false;
  const main = document.getElementById("stations");
  const template = document.getElementById("station-card");
  const now = performance.now();
  const sorted = [...plant.stations.values()].sort((a, b) =>
    ((a.state && a.state.station) || a.key).localeCompare((b.state && b.state.station) || b.key, "zh"));
  for (const s of sorted) {
    if (!s.card) {
      s.card = template.content.firstElementChild.cloneNode(true);
      s.card.dataset.key = s.key;
    }
    if (s.dirty) {
      fill(s);
      s.dirty = false;
      s.renderedAt = Date.now();
      plant.lastDelayMs = now - s.since;
      s.since = 0;
    }
    main.appendChild(s.card); // keeps the cards in name order
  }
  document.getElementById("empty").hidden = plant.stations.size > 0;
  const running = sorted.filter((s) => s.state && s.state.online !== false && s.state.running).length;
  const offline = sorted.filter((s) => s.state && s.state.online === false).length;
  document.getElementById("summary").textContent =
    `${sorted.length} 个站点：${running} 运行中，${offline} 离线`;
  plant.renders++;
}

function setLink(up, text) {
  plant.connected = up;
  const el = document.getElementById("broker");
  el.textContent = text;
  el.classList.toggle("down", !up);
}

const client = mqtt.connect(brokerUrl, { reconnectPeriod: 2000, connectTimeout: 5000, clean: true });
client.on("connect", () => {
  setLink(true, `已连接 ${brokerUrl}`);
  client.subscribe(topics, { qos: 0 });
});
client.on("close", () => setLink(false, `未连接 ${brokerUrl}，正在重试…`));
client.on("message", (topic, payload) => handle(topic, new TextDecoder().decode(payload)));
