// The lab page: a wall of every phone's live screen, and one phone's own view with its keypad.
// Plain browser JavaScript; the server's API is described in docs/LAB-SERVER.md.
"use strict";

// The keypad: AT+CKPD's key and the label on the button.
const KEYPAD = [
  ["[", "soft 1"], ["^", "\u25b2"], ["]", "soft 2"],
  ["<", "\u25c0"], ["M", "menu"], [">", "\u25b6"],
  ["S", "call"], ["V", "\u25bc"], ["E", "end"],
  ["1", "1"], ["2", "2"], ["3", "3"],
  ["4", "4"], ["5", "5"], ["6", "6"],
  ["7", "7"], ["8", "8"], ["9", "9"],
  ["*", "*"], ["0", "0"], ["#", "#"],
  ["C", "clear"],
];
const KEYBOARD = {
  ArrowUp: "^", ArrowDown: "V", ArrowLeft: "<", ArrowRight: ">", Enter: "S", Escape: "E",
  Backspace: "C", F1: "[", F2: "]", m: "M", M: "M", "*": "*", "#": "#",
};
const ROW_HEADER_BYTES = 12;
const MAX_KEY_EVENTS = 50;

const state = {
  scale: 1,
  phones: new Map(), // name -> the phone's entry of /api/phones
  views: new Map(),  // name (a peer's phone: "PEER-URL NAME") -> LiveView
  peers: [],         // the other servers' URLs
  current: null,     // the name of the phone in its own view
};
// For tests and the curious: the live views and how many pictures each drew.
window.panelgrab = state;

function api(path, options) {
  return fetch(path, Object.assign({ credentials: "same-origin" }, options)).then((response) => {
    if (response.status === 401) {
      showLogin();
      throw new Error("this server needs its token");
    }
    return response;
  });
}

// One phone's live WebSocket drawing into one canvas; `server` is a peer's URL, or absent for this
// server.
class LiveView {
  constructor(name, canvas, onMessage, server) {
    this.name = name;
    this.server = server ? new URL(server) : location;
    this.canvas = canvas;
    this.onMessage = onMessage;
    this.frames = 0;
    this.lastFrameAt = 0;
    this.closed = false;
    this.connect();
  }

  connect() {
    const scheme = this.server.protocol === "https:" ? "wss://" : "ws://";
    this.socket = new WebSocket(scheme + this.server.host + "/api/phones/" + encodeURIComponent(this.name) + "/live");
    this.socket.binaryType = "arraybuffer";
    this.socket.onmessage = (event) => {
      if (typeof event.data === "string") {
        this.onMessage(JSON.parse(event.data));
      } else {
        this.draw(event.data);
      }
    };
    this.socket.onclose = () => {
      if (!this.closed) {
        setTimeout(() => this.connect(), 1000);
      }
    };
  }

  // A row message: kind 1, display, width, height, first row, row count, then RGB rows.
  draw(buffer) {
    const header = new DataView(buffer);
    if (buffer.byteLength < ROW_HEADER_BYTES || header.getUint8(0) !== 1) {
      return;
    }
    const width = header.getUint16(2, true);
    const height = header.getUint16(4, true);
    const first = header.getUint16(6, true);
    const count = header.getUint16(8, true);
    if (width === 0 || count === 0 || buffer.byteLength < ROW_HEADER_BYTES + width * count * 3) {
      return;
    }
    if (this.canvas.width !== width || this.canvas.height !== height) {
      this.canvas.width = width;
      this.canvas.height = height;
      applyScale(this.canvas);
    }
    const rgb = new Uint8Array(buffer, ROW_HEADER_BYTES, width * count * 3);
    const image = new ImageData(width, count);
    for (let from = 0, to = 0; from < rgb.length; from += 3, to += 4) {
      image.data[to] = rgb[from];
      image.data[to + 1] = rgb[from + 1];
      image.data[to + 2] = rgb[from + 2];
      image.data[to + 3] = 255;
    }
    this.canvas.getContext("2d").putImageData(image, 0, first);
    this.frames += 1;
    this.lastFrameAt = performance.now();
  }

  close() {
    this.closed = true;
    this.socket.close();
  }
}

function applyScale(canvas) {
  canvas.style.width = canvas.width * state.scale + "px";
  canvas.style.height = canvas.height * state.scale + "px";
}

function element(tag, attributes, text) {
  const made = document.createElement(tag);
  Object.assign(made, attributes || {});
  if (text !== undefined) {
    made.textContent = text;
  }
  return made;
}

function stateText(phone) {
  const text = phone.state + (phone.model ? " \u00b7 " + phone.model : "");
  return phone.state === "gone" && phone.reason ? text + ": " + phone.reason : text;
}

function lockText(lock) {
  return lock && lock.held ? "Locked by another client (" + lock.expires_s + " s left): keys are refused" : "";
}

function closeViews() {
  state.views.forEach((view) => view.close());
  state.views.clear();
  document.getElementById("peer-walls").replaceChildren();
}

// What a hello, state or lock message of a live view says of its phone, kept in the phone's entry.
function applyPhoneMessage(phone, message) {
  if (message.type === "hello" || message.type === "state") {
    Object.assign(phone, { state: message.state, reason: message.reason, model: message.model || phone.model });
  }
  if (message.type === "hello" && message.lock) {
    phone.lock = message.lock;
  }
  if (message.type === "lock") {
    phone.lock = { held: message.held, expires_s: message.expires_s };
  }
}

// Applies a state, lock or key message of the live view to the phone's entry and the page.
function takeMessage(name, message) {
  const phone = state.phones.get(name);
  if (!phone) {
    return;
  }
  applyPhoneMessage(phone, message);
  if (message.type === "key" && state.current === name) {
    const list = document.getElementById("key-events");
    list.prepend(element("li", {}, message.key + (message.pressed ? " pressed" : " released")));
    while (list.children.length > MAX_KEY_EVENTS) {
      list.lastChild.remove();
    }
  }
  showPhoneState(name);
}

function showPhoneState(name) {
  const phone = state.phones.get(name);
  const card = document.querySelector('.card[data-name="' + CSS.escape(name) + '"]');
  if (card) {
    const line = card.querySelector(".state");
    line.textContent = stateText(phone);
    line.className = "state " + phone.state;
    card.querySelector(".lock").textContent = lockText(phone.lock);
  }
  if (state.current === name) {
    const line = document.getElementById("phone-state");
    line.textContent = stateText(phone);
    line.className = "state " + phone.state;
    const held = phone.lock && phone.lock.held;
    const lockLine = document.getElementById("lock-state");
    lockLine.textContent = lockText(phone.lock);
    lockLine.className = held ? "lock held" : "lock";
    const keypad = document.getElementById("keypad");
    keypad.classList.toggle("locked", Boolean(held));
    keypad.querySelectorAll("button").forEach((button) => { button.disabled = Boolean(held); });
  }
}

function showWall() {
  state.current = null;
  closeViews();
  document.getElementById("phone").hidden = true;
  const wall = document.getElementById("wall");
  wall.hidden = false;
  wall.replaceChildren();
  state.phones.forEach((phone, name) => {
    const card = element("div", { className: "card" });
    card.dataset.name = name;
    const canvas = element("canvas", { className: "screen" });
    card.append(element("h2", {}, name), element("p", { className: "state" }), canvas,
                element("p", { className: "lock" }));
    card.onclick = () => { location.hash = "#phone=" + encodeURIComponent(name); };
    wall.append(card);
    state.views.set(name, new LiveView(name, canvas, (message) => takeMessage(name, message)));
    showPhoneState(name);
  });
  document.getElementById("peer-walls").hidden = false;
  state.peers.forEach((url) => showPeerPhones(url));
}

// A peer's phones on this wall, watched straight from the peer (which admits this page as one of
// its peers); a click opens the phone's own view on the peer's page.
function showPeerPhones(url) {
  const base = url.endsWith("/") ? url : url + "/";
  const section = element("section", { className: "peer" });
  section.append(element("h2"), element("div", { className: "wall" }));
  section.firstChild.append(element("a", { href: base }, base));
  document.getElementById("peer-walls").append(section);
  fetch(base + "api/phones", { credentials: "omit" }).then((response) => {
    if (!response.ok) {
      throw new Error(response.status === 401 ? "needs its token: open it to sign in" : "answered " + response.status);
    }
    return response.json();
  }).then((list) => {
    if (!section.isConnected) {
      return; // the wall was left or drawn anew meanwhile
    }
    list.forEach((phone) => section.lastChild.append(peerCard(base, phone)));
  }).catch((error) => {
    section.lastChild.append(element("p", { className: "error" }, base + " " + (error.message || "cannot be reached")));
  });
}

function peerCard(base, phone) {
  const card = element("div", { className: "card" });
  card.dataset.peer = base;
  card.dataset.name = phone.name;
  const stateLine = element("p", { className: "state" });
  const lockLine = element("p", { className: "lock" });
  const canvas = element("canvas", { className: "screen" });
  card.append(element("h2", {}, phone.name), stateLine, canvas, lockLine);
  card.onclick = () => { location.href = base + "#phone=" + encodeURIComponent(phone.name); };
  const show = () => {
    stateLine.textContent = stateText(phone);
    stateLine.className = "state " + phone.state;
    lockLine.textContent = lockText(phone.lock);
  };
  show();
  const onMessage = (message) => {
    applyPhoneMessage(phone, message);
    show();
  };
  state.views.set(base + " " + phone.name, new LiveView(phone.name, canvas, onMessage, base));
  return card;
}

function showPhone(name) {
  closeViews();
  state.current = name;
  document.getElementById("wall").hidden = true;
  document.getElementById("peer-walls").hidden = true;
  document.getElementById("phone").hidden = false;
  document.getElementById("phone-title").textContent = name;
  document.getElementById("key-events").replaceChildren();
  const canvas = element("canvas", { className: "screen" });
  document.getElementById("phone-screen").replaceChildren(canvas);
  const keypad = document.getElementById("keypad");
  keypad.replaceChildren();
  KEYPAD.forEach(([key, label]) => {
    const button = element("button", { type: "button", title: key }, label);
    button.dataset.key = key;
    button.onclick = () => press(name, key);
    keypad.append(button);
  });
  const shot = document.getElementById("screenshot");
  shot.href = "/api/phones/" + encodeURIComponent(name) + "/screen.png";
  shot.onclick = () => { shot.download = name + "-" + new Date().toISOString().replace(/[:.]/g, "-") + ".png"; };
  state.views.set(name, new LiveView(name, canvas, (message) => takeMessage(name, message)));
  showPhoneState(name);
  document.getElementById("record").onclick = () => toggleRecording(name);
  showRecording(name);
}

function recordPath(name) {
  return "/api/phones/" + encodeURIComponent(name) + "/record";
}

// The phone's recording as the server has it: the button starts one or stops the one that runs.
function showRecording(name) {
  return api(recordPath(name)).then((response) => response.json()).then((recording) => {
    if (state.current !== name) {
      return;
    }
    const button = document.getElementById("record");
    const line = document.getElementById("record-state");
    button.textContent = recording.running ? "Stop recording" : "Record";
    button.dataset.running = recording.running ? "1" : "";
    if (recording.recorded) {
      line.textContent = recording.frames + (recording.frames === 1 ? " frame, " : " frames, ") +
        recording.seconds.toFixed(1) + " s" + (recording.ended ? " (ended: " + recording.ended + ")" : "");
    } else if (!line.classList.contains("error")) {
      line.textContent = "";
    }
  }).catch(() => {});
}

function toggleRecording(name) {
  const line = document.getElementById("record-state");
  line.classList.remove("error");
  const options = { headers: { "Content-Type": "application/json" } };
  if (document.getElementById("record").dataset.running) {
    options.method = "DELETE";
  } else {
    options.method = "POST";
    options.body = JSON.stringify({ scale: state.scale });
  }
  api(recordPath(name), options).then((response) => {
    if (!response.ok) {
      return response.json().then((body) => {
        line.textContent = body.error;
        line.classList.add("error");
      });
    }
    if (options.method === "DELETE") {
      return response.blob().then((file) => {
        const link = element("a", { href: URL.createObjectURL(file) });
        link.download = name + "-" + new Date().toISOString().replace(/[:.]/g, "-") + ".png";
        link.click();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
      });
    }
    return null;
  }).catch(() => {}).then(() => showRecording(name));
}

function press(name, key) {
  api("/api/phones/" + encodeURIComponent(name) + "/keys", {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ keys: key }),
  }).then((response) => {
    if (!response.ok) {
      return response.json().then((body) => {
        document.getElementById("lock-state").textContent = body.error;
      });
    }
    return null;
  }).catch(() => {});
}

function onKey(event) {
  if (!state.current || event.target.tagName === "INPUT" || event.ctrlKey || event.altKey || event.metaKey) {
    return;
  }
  const key = /^[0-9]$/.test(event.key) ? event.key : KEYBOARD[event.key];
  if (key) {
    event.preventDefault();
    press(state.current, key);
  }
}

function route() {
  const match = /^#phone=(.+)$/.exec(location.hash);
  const name = match ? decodeURIComponent(match[1]) : null;
  if (name && state.phones.has(name)) {
    showPhone(name);
  } else {
    showWall();
  }
}

// The phones' states and locks, asked again now and then: a lock that expired says nothing.
function refreshPhones() {
  return api("/api/phones").then((response) => response.json()).then((list) => {
    const known = list.map((phone) => phone.name).join("\n") === Array.from(state.phones.keys()).join("\n");
    list.forEach((phone) => state.phones.set(phone.name, phone));
    return known;
  });
}

function showLogin() {
  document.getElementById("login").hidden = false;
  document.getElementById("wall").hidden = true;
}

function signIn(event) {
  event.preventDefault();
  api("/api/login", {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ token: document.getElementById("token").value }),
  }).then((response) => {
    if (response.ok) {
      location.reload();
    }
  }).catch((error) => { document.getElementById("login-error").textContent = error.message; });
}

function loadPeers() {
  return api("/api/server").then((response) => response.json()).then((server) => {
    state.peers = server.peers || [];
    const peers = document.getElementById("peers");
    state.peers.forEach((url) => peers.append(element("a", { href: url }, url), " "));
  }).catch(() => {});
}

function start() {
  document.querySelectorAll('input[name="scale"]').forEach((input) => {
    input.onchange = () => {
      state.scale = Number(input.value);
      document.querySelectorAll("canvas.screen").forEach(applyScale);
    };
  });
  document.getElementById("login").onsubmit = signIn;
  document.addEventListener("keydown", onKey);
  window.addEventListener("hashchange", route);
  refreshPhones().then(loadPeers).then(() => {
    route();
    setInterval(() => {
      refreshPhones().then((known) => {
        if (!known) {
          route();
        }
        state.phones.forEach((phone, name) => showPhoneState(name));
        if (state.current) {
          showRecording(state.current);
        }
      }).catch(() => {});
    }, 2000);
  }).catch(() => {});
}

start();
