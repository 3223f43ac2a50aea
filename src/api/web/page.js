// The operators' status page. Everything that came from the network is put in with textContent,
// never as markup. The page talks only to its own server.
"use strict";

(function () {
  const REFRESH_MS = 4000;
  let csrf = "";
  let scopes = [];
  let timer = 0;

  const $ = (id) => document.getElementById(id);
  const el = (tag, text, cls) => {
    const e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = String(text);
    if (cls) e.className = cls;
    return e;
  };

  async function call(method, path, body, extra) {
    const headers = Object.assign({ "Accept": "application/json" }, extra || {});
    const init = { method, headers, credentials: "same-origin", cache: "no-store" };
    if (body !== undefined) {
      headers["Content-Type"] = "application/json";
      init.body = JSON.stringify(body);
    }
    if (method !== "GET" && csrf) headers["X-CSRF-Token"] = csrf;
    const answer = await fetch(path, init);
    let data = null;
    try { data = await answer.json(); } catch (e) { data = null; }
    return { status: answer.status, data };
  }

  function problemText(p) {
    if (!p) return "The server did not answer.";
    return p.detail || p.title || ("Refused (" + p.status + ")");
  }

  function ago(seconds) {
    if (seconds === null || seconds === undefined) return "–";
    if (seconds < 90) return seconds + " s ago";
    if (seconds < 5400) return Math.round(seconds / 60) + " min ago";
    return Math.round(seconds / 3600) + " h ago";
  }

  function since(time, now) {
    if (!time) return "never";
    return ago(Math.max(0, Math.round((Date.parse(now) - Date.parse(time)) / 1000)));
  }

  function clockTime(time) {
    if (!time) return "–";
    return new Date(time).toLocaleString();
  }

  // A card: a coloured edge, a title with its state, and a list of facts.
  function card(colour, name, state) {
    const li = el("li", null, "card " + colour);
    const title = el("h3");
    title.appendChild(el("span", name));
    title.appendChild(el("span", state, "state"));
    li.appendChild(title);
    const facts = el("dl");
    li.appendChild(facts);
    const fact = (label, value) => {
      facts.appendChild(el("dt", label));
      const dd = el("dd");
      if (value instanceof Node) dd.appendChild(value); else dd.textContent = value;
      facts.appendChild(dd);
      return dd;
    };
    return { li, fact };
  }

  // --- consoles
  const COLOUR = { running: "ok", paused: "warn", starting: "warn", stopped: "warn", "modem lost": "bad", silent: "bad" };

  function signalBar(percent) {
    const wrap = el("span");
    const bar = el("span", null, "signal");
    const fill = el("span");
    const value = percent === null || percent === undefined ? 0 : percent;
    fill.style.width = value + "%";
    bar.appendChild(fill);
    bar.setAttribute("role", "img");
    bar.setAttribute("aria-label", "signal " + (percent === null ? "unknown" : percent + "%"));
    if (value < 20) bar.classList.add("low"); else if (value < 40) bar.classList.add("fair");
    wrap.appendChild(bar);
    wrap.appendChild(el("span", percent === null ? "unknown" : percent + "%"));
    return wrap;
  }

  function consoleCard(c, now) {
    let colour = COLOUR[c.state] || "warn";
    if (colour === "ok" && c.signal !== null && c.signal < 20) colour = "warn";
    const { li, fact } = card(colour, c.host ? c.host + " · " + c.id : c.id, c.state);
    li.dataset.id = c.id;
    li.dataset.state = c.state;
    fact("Signal", signalBar(c.signal)).className = "signal-value";
    fact("Network", (c.network || "–") + (c.registration ? " (" + c.registration + ")" : "")).className = "network";
    fact("Modem", c.model || "–");
    fact("Last pass", since(c.last_pass_at, now));
    fact("Last send", since(c.last_send_at, now));
    fact("Sent / received", c.sent + " / " + c.received);
    fact("Version", (c.version || "–") + (c.kind ? " " + c.kind : ""));
    return li;
  }

  async function refreshConsoles() {
    const r = await call("GET", "/v1/consoles");
    if (r.status !== 200) return r.status;
    const list = $("consoles");
    list.replaceChildren(...r.data.data.map((c) => consoleCard(c, r.data.now)));
    $("consoles-empty").hidden = r.data.data.length > 0;
    return 200;
  }

  // --- queue
  const SVG = "http://www.w3.org/2000/svg";
  function svg(tag, attrs) {
    const e = document.createElementNS(SVG, tag);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, String(v));
    return e;
  }

  function chart(hours) {
    const width = 24 * 12, height = 100;
    const most = Math.max(1, ...hours.map((h) => Math.max(h.sent, h.delivered, h.failed)));
    const root = svg("svg", { viewBox: "0 0 " + width + " " + height, preserveAspectRatio: "none", role: "img" });
    const total = hours.reduce((n, h) => n + h.sent, 0);
    root.setAttribute("aria-label", "Messages per hour over the last 24 hours: " + total + " sent");
    hours.forEach((h, i) => {
      [["sent", 0], ["delivered", 4], ["failed", 8]].forEach(([name, offset]) => {
        const value = h[name];
        const tall = Math.round((value / most) * (height - 2));
        const bar = svg("rect", { x: i * 12 + offset, y: height - tall, width: 3.5, height: tall, class: name });
        const tip = svg("title");
        tip.textContent = new Date(h.start).toLocaleTimeString([], { hour: "2-digit", minute: "2-digit" }) + " " + name + ": " + value;
        bar.appendChild(tip);
        root.appendChild(bar);
      });
    });
    root.appendChild(svg("line", { x1: 0, y1: height - 0.5, x2: width, y2: height - 0.5, stroke: "#d0d7de" }));
    return root;
  }

  async function refreshQueue() {
    const r = await call("GET", "/v1/queue");
    if (r.status !== 200) return r.status;
    const counts = $("queue-counts");
    counts.replaceChildren(...Object.entries(r.data.counts).map(([name, n]) => {
      const d = el("div");
      d.appendChild(el("dt", name));
      d.appendChild(el("dd", n));
      d.dataset.status = name;
      return d;
    }));
    $("oldest-due").textContent = r.data.oldest_due_age === null ? "none" : ago(r.data.oldest_due_age).replace(" ago", "");
    $("chart").replaceChildren(chart(r.data.hours));
    return 200;
  }

  // --- webhook endpoints
  const BACKLOG_LARGE = 100; // a receiver this far behind is red, failing or not

  function endpointState(w) {
    if (!w.enabled) return ["disabled", "bad"];
    const state = w.failing ? "failing" : w.backlog > 0 ? "behind" : "up to date";
    if (w.backlog >= BACKLOG_LARGE) return [state, "bad"];
    return [state, w.failing || w.backlog > 0 ? "warn" : "ok"];
  }

  function endpointCard(w, now) {
    const [state, colour] = endpointState(w);
    const { li, fact } = card(colour, "#" + w.id + (w.description ? " · " + w.description : ""), state);
    li.dataset.id = w.id;
    li.dataset.state = state;
    fact("URL", w.url);
    fact("Events", w.types.includes("*") ? "all" : w.types.join(", "));
    fact("Backlog", w.backlog).className = "backlog";
    // The reason came from the network (a receiver's answer, a connection's error): text only.
    const f = w.last_failure;
    const failure = f ? since(f.time, now) + ": " + (f.error || "HTTP " + f.status) : "none";
    fact("Last failure", failure).className = "failure";
    fact("Last success", since(w.last_success_at, now));
    if (!w.enabled) fact("Disabled", w.disabled_reason || "–");
    return li;
  }

  async function refreshWebhooks() {
    const r = await call("GET", "/v1/status/webhooks");
    if (r.status !== 200) return r.status;
    $("webhooks").replaceChildren(...r.data.data.map((w) => endpointCard(w, r.data.now)));
    $("webhooks-empty").hidden = r.data.data.length > 0;
    return 200;
  }

  // --- recent traffic
  function cells(row, values) {
    for (const [label, value] of values) {
      const td = el("td", value === null || value === undefined || value === "" ? "–" : value);
      td.dataset.label = label;
      row.appendChild(td);
    }
    return row;
  }

  async function refreshOutbound() {
    const query = new URLSearchParams({ limit: "20" });
    const status = $("filter-status").value, to = $("filter-to").value.trim();
    if (status) query.set("status", status);
    if (to) query.set("to", to);
    const r = await call("GET", "/v1/status/outbound?" + query.toString());
    $("outbound-problem").textContent = r.status === 200 || r.status === 401 ? "" : problemText(r.data);
    if (r.status !== 200) return r.status;
    $("outbound").replaceChildren(...r.data.data.map((m) => {
      const tr = el("tr");
      tr.dataset.id = m.id;
      tr.dataset.status = m.status;
      return cells(tr, [["Id", m.id], ["To", m.to], ["Status", m.status], ["Text", m.text],
        ["Error", m.error_reason], ["Modem answer", m.modem_response]]);
    }));
    return 200;
  }

  async function refreshInbound() {
    const r = await call("GET", "/v1/status/inbound?limit=20");
    if (r.status !== 200) return r.status;
    $("inbound").replaceChildren(...r.data.data.map((m) => {
      const tr = el("tr");
      tr.dataset.id = m.id;
      return cells(tr, [["Id", m.id], ["From", m.from], ["Received", clockTime(m.received_at)], ["Text", m.text]]);
    }));
    return 200;
  }

  async function refresh() {
    clearTimeout(timer);
    try {
      const states = await Promise.all([refreshConsoles(), refreshQueue(), refreshOutbound(), refreshInbound(),
        refreshWebhooks()]);
      if (states.includes(401)) { showLogin("Your session has ended: log in again."); return; }
      $("updated").textContent = "Updated " + new Date().toLocaleTimeString();
    } catch (e) {
      $("updated").textContent = "The server does not answer; trying again.";
    }
    timer = setTimeout(refresh, REFRESH_MS);
  }

  // --- sending
  function clearSendProblems() {
    for (const id of ["send-to-problem", "send-text-problem", "send-result"]) $(id).textContent = "";
    for (const id of ["send-to", "send-text"]) $(id).removeAttribute("aria-invalid");
  }

  async function send(event) {
    event.preventDefault();
    clearSendProblems();
    const r = await call("POST", "/v1/messages", { to: $("send-to").value.trim(), text: $("send-text").value });
    if (r.status === 202) {
      const ids = r.data.data.map((m) => m.id).join(", ");
      $("send-result").textContent = "Queued as message " + ids + ".";
      $("send-text").value = "";
      refresh();
      return;
    }
    const p = r.data || {};
    let placed = false;
    for (const e of p.errors || []) {
      const field = (e.pointer || "").split("/")[1];
      if (field === "to" || field === "text") {
        $("send-" + field + "-problem").textContent = e.reason;
        $("send-" + field).setAttribute("aria-invalid", "true");
        placed = true;
      }
    }
    if (!placed) $("send-result").textContent = problemText(p);
  }

  // --- session
  function showBoard(session) {
    csrf = session.csrf;
    scopes = session.scopes || [];
    $("send-csrf").value = csrf;
    $("login").hidden = true;
    $("board").hidden = false;
    $("logout").hidden = false;
    $("send").hidden = !scopes.includes("messages:send");
    refresh();
  }

  function showLogin(message) {
    clearTimeout(timer);
    csrf = "";
    $("board").hidden = true;
    $("logout").hidden = true;
    $("login").hidden = false;
    $("login-error").textContent = message || "";
    $("login-key").focus();
  }

  async function login(event) {
    event.preventDefault();
    $("login-error").textContent = "";
    // The key goes once, as any client sends it; the session cookie carries the rest.
    const r = await call("POST", "/v1/session", undefined, { "Authorization": "Bearer " + $("login-key").value.trim() });
    $("login-key").value = "";
    if (r.status === 201) showBoard(r.data);
    else showLogin(problemText(r.data));
  }

  async function logout() {
    await call("DELETE", "/v1/session");
    showLogin("Logged out.");
  }

  document.addEventListener("DOMContentLoaded", async () => {
    $("login-form").addEventListener("submit", login);
    $("send-form").addEventListener("submit", send);
    $("logout").addEventListener("click", logout);
    $("outbound-filter").addEventListener("submit", (e) => { e.preventDefault(); refresh(); });
    const r = await call("GET", "/v1/session");
    if (r.status === 200) showBoard(r.data); else showLogin();
  });
})();
