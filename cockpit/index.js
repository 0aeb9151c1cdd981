// SPDX-License-Identifier: MIT
// The "Serial ports" page. Everything it shows comes from `qxhost --json`, and every text
// from the machine reaches the page through text nodes, never as markup: a slot path or a
// serial number may hold any byte.
"use strict";

(function () {
    const _ = cockpit.gettext;
    // The plug-in notices boards that come and go only on its next pass, which a change of
    // the stored settings triggers; a plugged board must show without one.
    const REFRESH_MS = 3000;
    const SETTINGS = [
        { key: "rx", label: _("Receive level") },
        { key: "tx", label: _("Transmit level") },
        { key: "mode", label: _("RS-485 mode") },
    ];

    const permission = cockpit.permission({ admin: true });
    const boardsNode = document.getElementById("boards");
    const noticesNode = document.getElementById("notices");
    const stateNode = document.getElementById("state");
    const applyAllButton = document.getElementById("apply-all");

    const cards = new Map(); // board item -> { node, title, facts, tbody, rows }
    let editing = null; // { entry, inputs, message, saveButton, busy }

    // ---- qxhost ----

    function parseJson(text) {
        try {
            return JSON.parse(text);
        } catch (e) {
            return null;
        }
    }

    // With --json a failure is one JSON object on standard error; anything else is made into
    // the same shape.
    function errorOf(ex) {
        if (ex.problem === "not-found")
            return { call: "missing", message: _("qxhost is not installed (package qx561x).") };
        if (ex.problem)
            return { call: ex.problem, message: cockpit.message(ex) };
        for (const line of (ex.message || "").split("\n")) {
            const parsed = parseJson(line);
            if (parsed && parsed.error && parsed.error.message)
                return parsed.error;
        }
        const message = ex.message || cockpit.format(_("qxhost exited with status $0"), ex.exit_status);
        return { call: null, message };
    }

    // Resolves with the document; rejects with { error, doc } (apply prints its document also
    // when a port failed).
    function qxhost(args) {
        return new Promise((resolve, reject) => {
            cockpit.spawn(["qxhost", "--json", ...args], { superuser: "try", err: "message" })
                    .then(out => {
                        const doc = parseJson(out);
                        if (doc)
                            resolve(doc);
                        else
                            reject({ error: { message: _("qxhost gave no JSON document") }, doc: null });
                    }, (ex, out) => reject({ error: errorOf(ex), doc: parseJson(out) }));
        });
    }

    // ---- small DOM helpers ----

    function el(tag, className, ...children) {
        const node = document.createElement(tag);
        if (className)
            node.className = className;
        node.append(...children.filter(child => child !== null && child !== undefined));
        return node;
    }

    function button(text, className, onClick, label) {
        const node = el("button", "pf-c-button " + className, text);
        node.type = "button";
        if (label)
            node.setAttribute("aria-label", label);
        node.addEventListener("click", onClick);
        return node;
    }

    function setText(node, text) {
        if (node.textContent !== text) {
            node.textContent = text;
            return true;
        }
        return false;
    }

    function alert(variant, title, lines, onClose) {
        const node = el("div", "pf-c-alert pf-m-inline pf-m-" + variant,
                        el("p", "pf-c-alert__title", title));
        node.setAttribute("role", variant === "danger" ? "alert" : "status");
        if (lines && lines.length)
            node.append(el("div", "pf-c-alert__description",
                           el("ul", "pf-c-list pf-m-plain", ...lines.map(line => el("li", null, line)))));
        if (onClose)
            node.append(el("div", "pf-c-alert__action",
                           button("×", "pf-m-plain", onClose, _("Close"))));
        return node;
    }

    // ---- notices: permission, configuration problems, results ----

    // Each redrawn only when it changes: a live region that is redrawn is announced again.
    const notices = {};
    for (const name of ["permission", "problems", "result"]) {
        notices[name] = { node: el("div"), shown: null };
        noticesNode.append(notices[name].node);
    }

    function showNotice(name, signature, make) {
        const notice = notices[name];
        if (notice.shown === signature)
            return;
        notice.shown = signature;
        notice.node.replaceChildren(...(signature === null ? [] : [make()]));
    }

    function readOnly() {
        return permission.allowed === false;
    }

    function renderNotices(problems) {
        const readOnlyNote = _("Read-only: changing or applying settings needs administrative access.");
        showNotice("permission", readOnly() ? "read-only" : null, () => alert("info", readOnlyNote));
        const lines = problems.map(p => (p.line === null ? p.file : p.file + ":" + p.line) + ": " + p.message);
        const problemsTitle = _("The stored settings have problems; ports they concern may be missing.");
        showNotice("problems", lines.length ? lines.join("\n") : null, () => alert("warning", problemsTitle, lines));
        applyAllButton.hidden = readOnly() || cards.size === 0;
    }

    let results = 0;

    function showResult(variant, title, lines) {
        showNotice("result", ++results, () => alert(variant, title, lines, () => showNotice("result", null)));
    }

    // ---- the listing ----

    let stateShown = null;

    function showState(title, body) {
        const signature = title === null ? null : JSON.stringify([title, body]);
        if (signature === stateShown)
            return;
        stateShown = signature;
        stateNode.hidden = title === null;
        stateNode.replaceChildren(...(title === null
            ? []
            : [el("div", "pf-c-empty-state",
                  el("div", "pf-c-empty-state__content",
                     el("h2", "pf-c-title pf-m-lg", title),
                     ...body.map(line => el("p", "pf-c-empty-state__body qx-detail", line))))]));
    }

    function valueText(value) {
        return value === null || value === undefined ? "—" : String(value);
    }

    function limitText(limit) {
        return cockpit.format(_("$0 to $1, default $2"), limit.min, limit.max, limit.default);
    }

    function newRow(port) {
        const cells = {};
        const row = el("tr", null);
        row.dataset.node = port.node || "";
        const nodeText = el("div", "qx-node");
        const numberText = el("div", "qx-number");
        const nodeCell = el("td", null, nodeText, numberText);
        nodeCell.dataset.label = _("Port");
        row.append(nodeCell);
        const kindText = el("span", "pf-c-label__content");
        const kindCell = el("td", null, el("span", "pf-c-label pf-m-compact", kindText));
        kindCell.dataset.label = _("Type");
        row.append(kindCell);
        for (const setting of SETTINGS) {
            cells[setting.key] = el("td", "qx-value");
            cells[setting.key].dataset.key = setting.key;
            cells[setting.key].dataset.label = setting.label;
            row.append(cells[setting.key]);
        }
        const entry = { row, nodeCell, nodeText, numberText, kindText, cells, port: null };
        const label = port.node || port.item;
        // Made once: a button that is replaced on every refresh would lose the keyboard focus.
        entry.tools = [button(_("Edit"), "pf-m-secondary pf-m-small", () => startEdit(entry),
                              cockpit.format(_("Edit $0"), label)),
                       button(_("Apply"), "pf-m-link pf-m-small", () => applyStored([entry.port.item], label),
                              cockpit.format(_("Apply stored settings to $0"), label))];
        entry.actions = el("div", "qx-actions", ...entry.tools);
        row.append(el("td", "qx-actions-cell", entry.actions));
        return entry;
    }

    function updateRow(entry, port) {
        const first = entry.port === null;
        entry.port = port;
        if (editing && editing.entry === entry)
            return;
        let changed = setText(entry.nodeText, port.node || port.item);
        setText(entry.numberText, cockpit.format(_("Port $0"), port.number));
        setText(entry.kindText, port.kind);
        entry.kindText.parentNode.classList.toggle("pf-m-blue", port.kind === "RS-485");
        for (const setting of SETTINGS)
            changed = setText(entry.cells[setting.key], valueText(port[setting.key])) || changed;
        if (changed && !first) {
            entry.row.classList.remove("qx-changed");
            void entry.row.offsetWidth; // restarts the highlight
            entry.row.classList.add("qx-changed");
        }
        for (const tool of entry.tools)
            tool.hidden = readOnly();
    }

    function newCard(board) {
        const title = el("h2", "pf-c-title pf-m-lg");
        const facts = el("div", "qx-facts");
        const tbody = el("tbody");
        const card = { title, facts, tbody, rows: new Map(), board: null };
        card.apply = button(_("Apply stored settings"), "pf-m-secondary",
                            () => applyStored([card.board.item], card.board.address));
        const head = el("thead", null, el("tr", null,
                                          ...[_("Port"), _("Type"), ...SETTINGS.map(s => s.label), ""]
                                                  .map(text => el("th", null, text))));
        const table = el("table", "pf-c-table pf-m-compact pf-m-grid-md", head, tbody);
        card.node = el("article", "pf-c-card qx-board",
                       el("div", "pf-c-card__header", el("div", "pf-c-card__actions", card.apply),
                          el("div", "pf-c-card__title", title, facts)),
                       el("div", "pf-c-card__body", table));
        table.setAttribute("aria-label", _("Ports"));
        return card;
    }

    function updateCard(card, board) {
        card.board = board;
        if (board.address !== undefined) {
            setText(card.title, board.model || _("Unknown model"));
            const facts = [cockpit.format(_("PCI $0"), board.address),
                cockpit.format(_("Slot $0"), board.slot === null ? _("unknown") : board.slot),
                cockpit.format(_("Serial $0"), board.serial)];
            if (card.facts.textContent !== facts.join(""))
                card.facts.replaceChildren(...facts.map(fact => el("span", "qx-fact", fact)));
        }
        card.apply.hidden = readOnly() || !board.item;
        if (board.item) {
            card.apply.setAttribute("aria-label",
                                    cockpit.format(_("Apply stored settings to board $0"), board.address));
        }

        const seen = new Set();
        board.ports.forEach((port, index) => {
            seen.add(port.item);
            let entry = card.rows.get(port.item);
            if (!entry) {
                entry = newRow(port);
                card.rows.set(port.item, entry);
            }
            updateRow(entry, port);
            if (card.tbody.children[index] !== entry.row)
                card.tbody.insertBefore(entry.row, card.tbody.children[index] || null);
        });
        for (const [item, entry] of card.rows) {
            if (!seen.has(item)) {
                if (editing && editing.entry === entry)
                    editing = null;
                entry.row.remove();
                card.rows.delete(item);
            }
        }
    }

    function render(listing) {
        const boards = listing.boards.slice();
        if (listing.unlistedBoardPorts.length)
            boards.push({
                item: null,
                model: _("Ports of boards that could not be described"),
                ports: listing.unlistedBoardPorts,
            });
        const seen = new Set();
        boards.forEach((board, index) => {
            const key = board.item || "";
            seen.add(key);
            let card = cards.get(key);
            if (!card) {
                card = newCard(board);
                cards.set(key, card);
            }
            if (!board.item)
                setText(card.title, board.model);
            updateCard(card, board);
            if (boardsNode.children[index] !== card.node)
                boardsNode.insertBefore(card.node, boardsNode.children[index] || null);
        });
        for (const [key, card] of cards) {
            if (!seen.has(key)) {
                card.node.remove();
                cards.delete(key);
            }
        }
        if (boards.length === 0)
            showState(_("No serial boards found"),
                      [_("No QX561x board is installed, or its driver is not loaded.")]);
        else
            showState(null);
    }

    function failed(error) {
        for (const card of cards.values())
            card.node.remove();
        cards.clear();
        editing = null;
        if (error.call === "load") {
            showState(_("The qx561x plug-in is not installed"), [_("Install the qx561x package."), error.message]);
        } else if (error.call === "missing") {
            showState(_("qxhost is not installed"), [_("Install the qx561x package.")]);
        } else {
            showState(_("The boards could not be listed"), [error.message]);
        }
    }

    let refreshing = null;
    let again = false;

    function refresh() {
        if (refreshing) {
            again = true;
            return refreshing;
        }
        const check = qxhost(["check"]).then(doc => doc, failure => failure.doc);
        refreshing = Promise.all([qxhost(["list"]).then(listing => ({ listing }), failure => failure), check])
                .then(([list, checked]) => {
                    if (list.listing)
                        render(list.listing);
                    else
                        failed(list.error);
                    document.getElementById("loading").hidden = true;
                    renderNotices(checked && checked.problems ? checked.problems : []);
                })
                .finally(() => {
                    refreshing = null;
                    if (again) {
                        again = false;
                        refresh();
                    }
                });
        return refreshing;
    }

    // ---- editing a port ----

    function startEdit(entry) {
        if (editing)
            cancelEdit();
        const port = entry.port;
        const inputs = {};
        const message = el("div", "pf-c-helper-text qx-message");
        message.setAttribute("aria-live", "assertive");
        for (const setting of SETTINGS) {
            const limit = port.limits[setting.key];
            const cell = entry.cells[setting.key];
            if (!limit) {
                cell.replaceChildren("—");
                continue;
            }
            const input = el("input", "pf-c-form-control qx-input");
            input.type = "number";
            input.min = String(limit.min);
            input.max = String(limit.max);
            input.value = valueText(port[setting.key]);
            input.name = setting.key;
            input.setAttribute("aria-label", cockpit.format("$0, $1", setting.label, port.node || port.item));
            const hint = el("div", "pf-c-helper-text qx-range",
                            el("div", "pf-c-helper-text__item",
                               el("span", "pf-c-helper-text__item-text", limitText(limit))));
            input.addEventListener("keydown", event => {
                if (event.key === "Enter")
                    save();
                else if (event.key === "Escape")
                    cancelEdit();
            });
            inputs[setting.key] = input;
            cell.replaceChildren(input, hint);
        }
        const saveButton = button(_("Save"), "pf-m-primary pf-m-small", () => save());
        entry.actions.replaceChildren(saveButton, button(_("Cancel"), "pf-m-link pf-m-small", () => cancelEdit()));
        entry.nodeCell.append(message);
        entry.row.classList.add("qx-editing");
        editing = { entry, inputs, message, saveButton };
        Object.values(inputs)[0].focus();
    }

    function closeEdit() {
        const entry = editing.entry;
        editing.message.remove();
        entry.row.classList.remove("qx-editing");
        editing = null;
        entry.actions.replaceChildren(...entry.tools);
        updateRow(entry, entry.port);
        entry.tools[0].focus();
    }

    function cancelEdit() {
        if (editing)
            closeEdit();
    }

    function showRefusal(text, keys) {
        editing.message.replaceChildren(el("div", "pf-c-helper-text__item pf-m-error",
                                           el("span", "pf-c-helper-text__item-text", text)));
        for (const [key, input] of Object.entries(editing.inputs))
            input.setAttribute("aria-invalid", String(keys.includes(key)));
    }

    function save() {
        if (!editing || editing.busy)
            return;
        const current = editing;
        const port = current.entry.port;
        const assignments = [];
        for (const setting of SETTINGS) {
            const input = current.inputs[setting.key];
            if (!input)
                continue;
            const value = input.value.trim();
            if (!/^[0-9]+$/.test(value)) {
                showRefusal(cockpit.format(_("$0: enter a whole number."), setting.label), [setting.key]);
                input.focus();
                return;
            }
            if (value !== String(port[setting.key]))
                assignments.push(setting.key + "=" + value);
        }
        if (assignments.length === 0) {
            closeEdit();
            return;
        }
        current.busy = true;
        current.saveButton.disabled = true;
        // A dry run first: the plug-in judges the values before anything is stored or applied.
        const name = ["--", port.item, ...assignments];
        qxhost(["set", "--dry-run", ...name])
                .then(() => qxhost(["set", ...name]))
                .then(doc => {
                    if (editing !== current)
                        return;
                    const saved = Object.assign({}, port);
                    for (const change of doc.ports[0].changes)
                        saved[change.key] = change.after;
                    current.entry.port = saved;
                    closeEdit();
                    refresh();
                }, failure => {
                    if (editing !== current)
                        return;
                    current.busy = false;
                    current.saveButton.disabled = false;
                    showRefusal(failure.error.message, assignments.map(assignment => assignment.split("=")[0]));
                });
    }

    // ---- applying stored settings ----

    function applyStored(names, what) {
        const args = names ? ["apply", "--", ...names] : ["apply", "--all"];
        const done = (doc, error) => {
            const ports = doc && doc.ports ? doc.ports : [];
            const failedPorts = ports.filter(port => !port.applied);
            if (!doc) {
                showResult("danger", cockpit.format(_("Stored settings could not be applied to $0"), what),
                           [error.message]);
            } else if (failedPorts.length) {
                showResult("danger", cockpit.format(_("Stored settings could not be applied to $0 of $1 ports"),
                                                    failedPorts.length, ports.length),
                           failedPorts.map(port => (port.node || port.item) + ": " + (port.report ||
                                           cockpit.format(_("exit status $0"), port.status))));
            } else {
                showResult("success", cockpit.format(cockpit.ngettext("Stored settings applied to $0 port",
                                                                      "Stored settings applied to $0 ports",
                                                                      ports.length), ports.length));
            }
        };
        qxhost(args).then(doc => done(doc, null), failure => done(failure.doc, failure.error));
    }

    applyAllButton.addEventListener("click", () => applyStored(null, _("all ports")));

    // ---- following changes made elsewhere ----

    let watchTimer = null;

    function watch() {
        const process = cockpit.spawn(["qxhost", "watch", "--json"], { superuser: "try", err: "message" });
        process.stream(data => {
            const end = data.lastIndexOf("\n") + 1;
            if (end > 0 && data.slice(0, end).split("\n").some(line => parseJson(line)))
                refresh();
            return end;
        });
        // A watcher that ends (the plug-in failed, qxhost was upgraded) is started again.
        process.then(() => null, () => null).then(() => {
            window.clearTimeout(watchTimer);
            watchTimer = window.setTimeout(watch, REFRESH_MS);
        });
    }

    window.setInterval(() => {
        if (!cockpit.hidden)
            refresh();
    }, REFRESH_MS);
    cockpit.addEventListener("visibilitychange", () => {
        if (!cockpit.hidden)
            refresh();
    });
    permission.addEventListener("changed", () => refresh());

    refresh();
    watch();
}());
