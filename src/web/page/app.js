// The guests' page. Every text from the player (titles, singers, names) goes in with
// textContent only, so a song named like markup stays text.
"use strict";

const $ = (id) => document.getElementById(id);
const thumbnailPort = document.querySelector('meta[name="vocalis-thumbnails"]').content;
const PAGE = 50;
const PICTURE_SIDE = 1280;
const LOWEST_KEY = -6;
const HIGHEST_KEY = 6;

let state = { current: null, queue: [], playing: false, track: 0, score: null };
let search = { text: "", offset: 0, total: 0, songs: [], serial: 0 };
let socket = null;
let retryDelay = 500;

// ---------------------------------------------------------------- small helpers

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function thumbnail(id) {
  const img = element("img", "thumb");
  img.alt = "";
  img.loading = "lazy";
  img.src = `${location.protocol}//${location.hostname}:${thumbnailPort}/${id}`;
  img.addEventListener("error", () => { img.style.visibility = "hidden"; });
  return img;
}

function button(text, onClick, className) {
  const node = element("button", className || "small", text);
  node.type = "button";
  node.addEventListener("click", onClick);
  return node;
}

let toastTimer = 0;
function toast(text) {
  const node = $("toast");
  node.textContent = text;
  node.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { node.hidden = true; }, 2500);
}

function stored(key) {
  try { return localStorage.getItem(key) || ""; } catch { return ""; }
}
function store(key, value) {
  try { localStorage.setItem(key, value); } catch { /* private mode: kept for this visit only */ }
}

// ---------------------------------------------------------------- requests

const problems = {
  400: "Yêu cầu không hợp lệ.",
  401: "Cần mã PIN đúng.",
  404: "Không tìm thấy bài hoặc vị trí này.",
  409: "Bài này đã có trong hàng chờ.",
  413: "Quá lớn để gửi.",
};

// The player's own words for a problem the page has none for (it is still starting).
async function errorText(answer) {
  try {
    return (await answer.json()).error || "";
  } catch {
    return "";
  }
}

// Posts to the player; asks for the PIN once when the player wants one and tries again.
async function post(path, body, contentType) {
  for (let attempt = 0; attempt < 2; ++attempt) {
    const headers = { "Content-Type": contentType || "application/json" };
    const pin = stored("vocalis-pin");
    if (pin) headers["X-Vocalis-Pin"] = pin;
    let answer;
    try {
      answer = await fetch(path, { method: "POST", headers, body });
    } catch {
      toast("Không kết nối được với máy hát.");
      return null;
    }
    if (answer.ok) {
      const next = await answer.json();
      showState(next);
      return next;
    }
    if (answer.status === 401 && attempt === 0 && (await askPin())) continue;
    toast(problems[answer.status] || (await errorText(answer)) || `Lỗi ${answer.status}.`);
    return null;
  }
  return null;
}

function postJson(path, value) {
  return post(path, value === undefined ? "" : JSON.stringify(value));
}

// ---------------------------------------------------------------- name and PIN

function myName() { return stored("vocalis-name"); }

function showName() { $("my-name").textContent = myName() || "(chưa có)"; }

function askName() {
  const dialog = $("name-dialog");
  $("name-input").value = myName();
  dialog.showModal();
  $("name-input").focus();
}

$("name-form").addEventListener("submit", () => {
  store("vocalis-name", $("name-input").value.trim().slice(0, 40));
  showName();
  loadRecords();
});
$("change-name").addEventListener("click", askName);

// The name, asked for first when there is none yet; false when the guest gave none.
async function ensureName() {
  if (!myName()) {
    askName();
    await new Promise((resolve) => $("name-dialog").addEventListener("close", resolve, { once: true }));
  }
  return Boolean(myName());
}

function askPin() {
  return new Promise((resolve) => {
    const dialog = $("pin-dialog");
    $("pin-input").value = "";
    const done = (ok) => {
      dialog.removeEventListener("close", onClose);
      resolve(ok);
    };
    const onClose = () => {
      const ok = dialog.returnValue !== "cancel" && $("pin-input").value !== "";
      if (ok) store("vocalis-pin", $("pin-input").value);
      done(ok);
    };
    dialog.addEventListener("close", onClose);
    dialog.returnValue = "";
    dialog.showModal();
    $("pin-input").focus();
  });
}
$("pin-cancel").addEventListener("click", () => $("pin-dialog").close("cancel"));

// ---------------------------------------------------------------- state

function isQueued(id) {
  return (state.current && state.current.id === id) || state.queue.some((song) => song.id === id);
}

// "Tông +2", "Tông −2" (a true minus sign), "Tông 0".
function keyText(key) {
  return key > 0 ? `Tông +${key}` : key < 0 ? `Tông −${-key}` : "Tông 0";
}

function describe(song) {
  const parts = [];
  if (song.singer) parts.push(song.singer);
  if (song.name) parts.push(`Người chọn: ${song.name}`);
  return parts.join(" · ");
}

// − and + around a key; each press asks for one semitone more or less, within the range.
function keyControl(key, onKey) {
  const box = element("span", "key");
  const down = button("−", () => onKey(key - 1), "small secondary");
  const up = button("+", () => onKey(key + 1), "small secondary");
  down.disabled = key <= LOWEST_KEY;
  up.disabled = key >= HIGHEST_KEY;
  down.setAttribute("aria-label", "Hạ tông");
  up.setAttribute("aria-label", "Nâng tông");
  box.append(down, element("span", "key-value", keyText(key)), up);
  return box;
}

// The key a guest sings in, kept in the browser and sent with each song they choose.
function myKey() {
  const key = Number(stored("vocalis-key"));
  return Number.isInteger(key) ? Math.min(HIGHEST_KEY, Math.max(LOWEST_KEY, key)) : 0;
}

function showMyKey() {
  $("pick-key").replaceChildren(keyControl(myKey(), (key) => {
    store("vocalis-key", String(key));
    showMyKey();
  }));
}

// The score screen's score while it shows: measured from the singing, or drawn.
function showScore(score) {
  const line = $("now-score");
  line.hidden = !score;
  if (!score) return;
  line.textContent = score.measured
    ? `Điểm bài vừa hát: ${score.value} (chấm theo giọng hát)`
    : `Điểm bài vừa hát: ${score.value}`;
}

function showState(next) {
  const before = state.current ? state.current.id : null;
  const scoreBefore = state.score;
  state = next;
  showScore(state.score);
  // A new measured score may be one of the night's best.
  if (state.score && state.score.measured && !scoreBefore && !$("tab-scores").hidden) loadScores();
  // A song started: it is in this guest's history now if it was theirs.
  if (state.current && state.current.id !== before) setTimeout(loadRecords, 1000);
  const current = state.current;
  $("now-title").textContent = current ? current.title : "Chưa có bài nào";
  $("now-detail").textContent = current
    ? [describe(current), current.random ? "Phát ngẫu nhiên" : "", state.playing ? "" : "Đang dừng"]
        .filter(Boolean).join(" · ")
    : "Chọn một bài để bắt đầu";
  const thumb = $("now-thumb");
  thumb.hidden = !current;
  if (current && thumb.dataset.id !== String(current.id)) {
    thumb.dataset.id = current.id;
    thumb.style.visibility = "";
    thumb.src = `${location.protocol}//${location.hostname}:${thumbnailPort}/${current.id}`;
  }
  $("now-key").replaceChildren();
  if (current) $("now-key").append(keyControl(current.key || 0, (key) => postJson("/api/current/key", { key })));
  $("play-pause").textContent = state.playing ? "Dừng" : "Phát";
  $("play-pause").dataset.action = state.playing ? "pause" : "play";
  $("track").textContent = state.track === 1 ? "Tắt lời (nhạc nền)" : "Bật lời (có ca sĩ)";
  $("queue-count").textContent = state.queue.length ? `(${state.queue.length})` : "";
  showQueue();
  markResults();
}

function showQueue() {
  const list = $("queue");
  list.replaceChildren();
  $("queue-empty").hidden = state.queue.length > 0;
  for (const song of state.queue) {
    const row = element("li", "song");
    row.dataset.id = song.id;
    const text = element("div", "text");
    text.append(element("div", "title", `${song.position + 1}. ${song.title}`), element("div", "detail", describe(song)));
    const actions = element("div", "actions");
    const at = `/api/queue/${song.position}`;
    if (song.position > 0) {
      actions.append(button("↑", () => postJson(`${at}/up`), "small secondary"));
      actions.append(button("⤒", () => postJson(`${at}/first`), "small secondary"));
    }
    actions.append(button("✕", () => postJson(`${at}/remove`), "small secondary"));
    actions.append(starButton(song.id));
    text.append(keyControl(song.key || 0, (key) => postJson(`${at}/key`, { key })));
    row.append(thumbnail(song.id), text, actions);
    list.append(row);
  }
}

// ---------------------------------------------------------------- search

function resultRow(song) {
  const row = element("li", "song");
  row.dataset.id = song.id;
  const text = element("div", "text");
  text.append(element("div", "title", song.title), element("div", "detail", song.singer));
  const actions = element("div", "actions");
  const add = button("Chọn", () => queue(song.id, false, rowKey(row)), "small add");
  const first = button("Ưu tiên", () => queue(song.id, true, rowKey(row)), "small secondary first");
  actions.append(add, first, starButton(song.id));
  row.append(thumbnail(song.id), text, actions);
  return row;
}

// A song this guest sang before is proposed in the key they sang it in last, on its own row.
function proposeKey(row) {
  const id = Number(row.dataset.id);
  if (!lastKeys.has(id) || row.querySelector(".proposal")) return;
  const box = element("div", "proposal");
  const draw = (key) => {
    row.dataset.key = String(key);
    box.replaceChildren(element("span", "hint", "Lần trước bạn hát:"), keyControl(key, draw));
  };
  draw(lastKeys.get(id));
  row.querySelector(".text").append(box);
}

function rowKey(row) {
  return row.dataset.key === undefined ? myKey() : Number(row.dataset.key);
}

// Songs in the lists that can be queued: marked and not offered again while queued or playing.
function markResults() {
  for (const list of ["results", "mine", "favourites"]) {
    for (const row of $(list).children) {
      if (!row.dataset.id) continue;
      if (list === "results") proposeKey(row);
      const queued = isQueued(Number(row.dataset.id));
      row.classList.toggle("queued", queued);
      for (const node of row.querySelectorAll("button:not(.star)")) node.disabled = queued;
      const add = row.querySelector("button.add");
      if (add) add.textContent = queued ? "Đã chọn" : "Chọn";
    }
  }
  markStars();
}

async function runSearch(append) {
  const serial = ++search.serial;
  const offset = append ? search.offset + PAGE : 0;
  const query = new URLSearchParams({ q: search.text, offset: String(offset), limit: String(PAGE) });
  let page;
  try {
    const answer = await fetch(`/api/songs?${query}`);
    if (!answer.ok) return;
    page = await answer.json();
  } catch {
    return;
  }
  if (serial !== search.serial) return;  // an older search answered late
  search.offset = offset;
  search.total = page.total;
  const list = $("results");
  if (!append) list.replaceChildren();
  for (const song of page.songs) list.append(resultRow(song));
  $("search-total").textContent = search.text ? `${page.total} bài` : `${page.total} bài trong máy`;
  $("more").hidden = offset + PAGE >= page.total;
  markResults();
}

let searchTimer = 0;
$("search").addEventListener("input", () => {
  search.text = $("search").value;
  clearTimeout(searchTimer);
  searchTimer = setTimeout(() => runSearch(false), 120);
});
$("more").addEventListener("click", () => runSearch(true));

async function queue(id, first, key) {
  await ensureName();
  const next = await postJson("/api/queue", { id, first, name: myName() || null, key });
  if (next) toast(first ? "Đã chọn, hát ngay sau bài này." : "Đã chọn bài.");
}

// ---------------------------------------------------------------- the guest's own songs

// What the player keeps for this name: the songs sung, newest first, and the favourites. A
// player that keeps nothing answers 503: the tab and the stars stay hidden.
let records = { kept: false, history: [], favourites: [] };
let lastKeys = new Map(); // song id -> the key this guest sang it in last
let recordsSerial = 0;

function isFavourite(id) {
  return records.favourites.some((song) => song.id === id);
}

async function getJson(path) {
  try {
    const answer = await fetch(path);
    return { status: answer.status, body: answer.ok ? await answer.json() : null };
  } catch {
    return { status: 0, body: null };
  }
}

async function loadRecords() {
  const serial = ++recordsSerial;
  const name = myName();
  const [history, favourites] = name
    ? await Promise.all([
        getJson(`/api/history?${new URLSearchParams({ name, limit: "50" })}`),
        getJson(`/api/favourites?${new URLSearchParams({ name })}`),
      ])
    : [await getJson("/api/history?limit=1"), { status: 200, body: { songs: [] } }];
  if (serial !== recordsSerial) return; // an older question answered late
  if (history.status === 503 || favourites.status === 503) {
    showRecords(false);
    return;
  }
  if (!history.body || !favourites.body) return; // not reached: shown as they were
  records.history = name ? history.body.songs : [];
  records.favourites = favourites.body.songs;
  lastKeys = new Map();
  for (const song of records.history)
    if (song.id !== null && !lastKeys.has(song.id)) lastKeys.set(song.id, song.key);
  showRecords(true);
}

// A star that adds the song to this guest's favourites or takes it off.
function starButton(id) {
  const star = button("☆", () => toggleFavourite(id), "small secondary star");
  star.dataset.id = id;
  star.setAttribute("aria-label", "Yêu thích");
  return star;
}

function markStars() {
  for (const star of document.querySelectorAll("button.star")) {
    const on = isFavourite(Number(star.dataset.id));
    star.hidden = !records.kept;
    star.textContent = on ? "★" : "☆";
    star.classList.toggle("on", on);
    star.setAttribute("aria-pressed", String(on));
  }
}

async function toggleFavourite(id) {
  if (!(await ensureName())) return;
  const on = !isFavourite(id);
  let answer;
  try {
    answer = await fetch("/api/favourites", {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ name: myName(), id, on }),
    });
  } catch {
    toast("Không kết nối được với máy hát.");
    return;
  }
  if (!answer.ok) {
    toast(problems[answer.status] || (await errorText(answer)) || `Lỗi ${answer.status}.`);
    if (answer.status === 503) showRecords(false);
    return;
  }
  records.favourites = (await answer.json()).songs;
  showRecords(true);
  toast(on ? "Đã thêm vào bài yêu thích." : "Đã bỏ khỏi bài yêu thích.");
}

// "20:15 08/12", in the phone's own time zone.
function when(iso) {
  const at = new Date(iso);
  const two = (n) => String(n).padStart(2, "0");
  return `${two(at.getHours())}:${two(at.getMinutes())} ${two(at.getDate())}/${two(at.getMonth() + 1)}`;
}

// A row of "Của tôi": a song no longer in the player (its drive not plugged in) is shown, not offered.
function recordRow(song, detail, again) {
  const row = element("li", "song");
  const text = element("div", "text");
  text.append(element("div", "title", song.title), element("div", "detail", detail));
  const actions = element("div", "actions");
  if (song.id === null) {
    text.append(element("div", "hint", "Bài này hiện không có trong máy."));
  } else {
    row.dataset.id = song.id;
    actions.append(again, starButton(song.id));
  }
  row.append(text, actions);
  return row;
}

function showRecords(kept) {
  records.kept = kept;
  $("mine-tab").hidden = !kept;
  $("scores-tab").hidden = !kept;
  if (!kept && !$("tab-scores").hidden) selectTab("search");
  document.body.dataset.records = kept ? "yes" : "no";
  if (!kept && !$("tab-mine").hidden) selectTab("search");
  $("mine").replaceChildren(...records.history.map((song) => {
    const score = song.score === null ? "" : `Điểm ${song.score}`;
    const detail = [song.singer, keyText(song.key), score, when(song.started)];
    const again = button("Hát lại", () => queue(song.id, false, song.key), "small again");
    return recordRow(song, detail.filter(Boolean).join(" · "), again);
  }));
  $("mine-empty").hidden = records.history.length > 0;
  $("favourites").replaceChildren(...records.favourites.map((song) => {
    const key = () => (lastKeys.has(song.id) ? lastKeys.get(song.id) : myKey());
    const add = button("Chọn", () => queue(song.id, false, key()), "small add");
    return recordRow(song, song.singer, add);
  }));
  $("favourites-empty").hidden = records.favourites.length > 0;
  markResults();
}

// ---------------------------------------------------------------- the night's best scores

// The night began at noon: before noon it is still last night's.
function nightStart() {
  const now = new Date();
  const noon = new Date(now.getFullYear(), now.getMonth(), now.getDate(), 12);
  if (now < noon) noon.setDate(noon.getDate() - 1);
  return noon;
}

let scoresSerial = 0;
async function loadScores() {
  const serial = ++scoresSerial;
  const answer = await getJson(`/api/scores?${new URLSearchParams({ since: nightStart().toISOString() })}`);
  if (serial !== scoresSerial) return;
  if (answer.status === 503) {
    showRecords(false);
    return;
  }
  if (!answer.body) return;
  $("scores").replaceChildren(...answer.body.scores.map((score, index) => {
    const row = element("li", "song");
    const text = element("div", "text");
    const detail = [score.singer, score.name ? `Người hát: ${score.name}` : "", when(score.time)];
    text.append(element("div", "title", `${index + 1}. ${score.title}`),
                element("div", "detail", detail.filter(Boolean).join(" · ")));
    row.append(text, element("div", "rank", String(score.value)));
    return row;
  }));
  $("scores-empty").hidden = answer.body.scores.length > 0;
}

// ---------------------------------------------------------------- transport, message, picture

for (const node of document.querySelectorAll("[data-action]"))
  node.addEventListener("click", () => postJson(`/api/player/${node.dataset.action}`));

$("message-form").addEventListener("submit", async (event) => {
  event.preventDefault();
  const text = $("message").value.trim();
  if (!text) return;
  if (await postJson("/api/message", { text })) {
    $("message").value = "";
    toast("Đã gửi lời nhắn.");
  }
});

// Pictures from a phone's camera are large: made smaller here before they travel.
function shrink(file) {
  return new Promise((resolve, reject) => {
    const image = new Image();
    const url = URL.createObjectURL(file);
    image.onload = () => {
      URL.revokeObjectURL(url);
      const scale = Math.min(1, PICTURE_SIDE / Math.max(image.naturalWidth, image.naturalHeight));
      const canvas = document.createElement("canvas");
      canvas.width = Math.max(1, Math.round(image.naturalWidth * scale));
      canvas.height = Math.max(1, Math.round(image.naturalHeight * scale));
      canvas.getContext("2d").drawImage(image, 0, 0, canvas.width, canvas.height);
      canvas.toBlob((blob) => (blob ? resolve(blob) : reject(new Error("encode"))), "image/jpeg", 0.85);
    };
    image.onerror = () => {
      URL.revokeObjectURL(url);
      reject(new Error("decode"));
    };
    image.src = url;
  });
}

$("picture").addEventListener("change", async () => {
  const file = $("picture").files[0];
  $("picture").value = "";
  if (!file) return;
  let blob;
  try {
    blob = await shrink(file);
  } catch {
    toast("Không đọc được ảnh này.");
    return;
  }
  if (await post("/api/picture", blob, "image/jpeg")) toast("Đã gửi ảnh.");
});

// ---------------------------------------------------------------- tabs

function selectTab(name) {
  for (const tab of document.querySelectorAll(".tab")) {
    tab.classList.toggle("active", tab.dataset.tab === name);
  }
  for (const panel of document.querySelectorAll(".panel")) panel.hidden = panel.id !== `tab-${name}`;
  if (name === "mine") loadRecords();
  if (name === "scores") loadScores();
}

for (const tab of document.querySelectorAll(".tab")) {
  tab.addEventListener("click", () => selectTab(tab.dataset.tab));
}

// ---------------------------------------------------------------- live state

// The player tells every change; after Wi-Fi drops or the player restarts the page connects
// again, waiting a little longer each time, and reads the search again for its marks.
function connect() {
  const scheme = location.protocol === "https:" ? "wss" : "ws";
  socket = new WebSocket(`${scheme}://${location.host}/api/events`);
  socket.addEventListener("open", () => {
    retryDelay = 500;
    $("connection").hidden = true;
    document.body.dataset.live = "yes";
    loadRecords(); // a player started again may keep records now, or no longer
  });
  socket.addEventListener("message", (event) => {
    try {
      showState(JSON.parse(event.data));
    } catch { /* a broken message is skipped; the next one is whole */ }
  });
  socket.addEventListener("close", () => {
    document.body.dataset.live = "no";
    $("connection").hidden = false;
    setTimeout(() => {
      connect();
      runSearch(false);
    }, retryDelay);
    retryDelay = Math.min(retryDelay * 2, 5000);
  });
}

$("now-thumb").addEventListener("error", () => { $("now-thumb").style.visibility = "hidden"; });
showName();
showMyKey();
connect();
runSearch(false);
if (!myName()) askName();
