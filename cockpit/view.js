// SPDX-License-Identifier: MIT
// The listing: a card per board with a row per port, the notices above it and the sign that
// the page is working. Nodes are made once and updated in place, so that the keyboard focus
// and a screen reader's place survive every refresh.

import { alert, button, el, setText } from "./dom.js";
import { choiceOf } from "./editor.js";

export function settingLabels(_) {
    return { rx: _("Receive level"), tx: _("Transmit level"), mode: _("RS-485 mode") };
}

// A setting's value for people, as { main, detail }: a named value is its name and what it
// means, a value of a named setting that has no name says so, any other is its number.
export function valueParts(cockpit, limit, value) {
    if (value === null || value === undefined)
        return { main: "—", detail: null };
    if (!limit || !Array.isArray(limit.choices))
        return { main: String(value), detail: null };
    const choice = choiceOf(limit, value);
    // The meanings are qxhost's English, translated here by their text.
    return choice
        ? { main: choice.name, detail: cockpit.gettext(choice.meaning) }
        : { main: String(value), detail: cockpit.gettext("no name") };
}

// Each notice is redrawn only when it changes: a live region that is redrawn is announced again.
class Notice {
    constructor(parent) {
        this.node = el("div");
        this.shown = null;
        parent.append(this.node);
    }

    show(signature, make) {
        if (this.shown === signature)
            return;
        this.shown = signature;
        this.node.replaceChildren(...(signature === null ? [] : [make()]));
    }
}

export class BoardsView {
    // nodes: { boards, notices, state, loading, busy, busyText, applyAll }
    // handlers: { edit(entry), apply(items, what) }
    constructor(cockpit, nodes, handlers) {
        this.cockpit = cockpit;
        this._ = cockpit.gettext;
        this.labels = settingLabels(this._);
        this.nodes = nodes;
        this.handlers = handlers;
        this.cards = new Map(); // board item ("" for ports without a board) -> card
        this.readOnly = false;
        this.permission = new Notice(nodes.notices);
        this.stopped = new Notice(nodes.notices);
        this.problems = new Notice(nodes.notices);
        this.result = new Notice(nodes.notices);
        this.results = 0;
        this.stateShown = null;
    }

    // ---- notices ----

    setReadOnly(readOnly) {
        this.readOnly = readOnly;
        const note = this._("Read-only: changing or applying settings needs administrative access.");
        this.permission.show(readOnly ? "read-only" : null, () => alert("info", note));
        this.nodes.applyAll.hidden = readOnly || this.cards.size === 0;
    }

    // error: why the page no longer hears of changes, or null once it does again.
    showStopped(error, retryMs) {
        const seconds = Math.round(retryMs / 1000);
        const title = this.cockpit.format(this.cockpit.ngettext(
            "Updates stopped: changes on the machine are not shown. Trying again in $0 second.",
            "Updates stopped: changes on the machine are not shown. Trying again in $0 seconds.", seconds), seconds);
        this.stopped.show(error ? JSON.stringify([title, error.message]) : null,
                          () => alert("warning", title, [error.message]));
    }

    showProblems(lines) {
        const title = this._("The stored settings have problems; ports they concern may be missing.");
        this.problems.show(lines.length ? lines.join("\n") : null, () => alert("warning", title, lines));
    }

    showResult(variant, title, lines) {
        const close = button("×", "pf-m-plain", () => this.result.show(null), this._("Close"));
        this.result.show(++this.results, () => alert(variant, title, lines, { close }));
    }

    // labels: what the slow calls do; listing: whether one of them reads the boards.
    showBusy(labels, listing) {
        this.nodes.busy.hidden = labels.length === 0;
        setText(this.nodes.busyText, labels.length ? labels.join(", ") + "…" : "");
        this.nodes.boards.setAttribute("aria-busy", String(listing));
    }

    showState(title, body) {
        const signature = title === null ? null : JSON.stringify([title, body]);
        if (signature === this.stateShown)
            return;
        this.stateShown = signature;
        this.nodes.state.hidden = title === null;
        this.nodes.state.replaceChildren(...(title === null
            ? []
            : [el("div", "pf-c-empty-state",
                  el("div", "pf-c-empty-state__content",
                     el("h2", "pf-c-title pf-m-lg", title),
                     ...body.map(line => el("p", "pf-c-empty-state__body qx-detail", line))))]));
    }

    // ---- the listing ----

    newRow(port, card) {
        const _ = this._;
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
        for (const [key, label] of Object.entries(this.labels)) {
            cells[key] = el("td", "qx-value");
            cells[key].dataset.key = key;
            cells[key].dataset.label = label;
            row.append(cells[key]);
        }
        const entry = { row, nodeCell, nodeText, numberText, kindText, cells, port: null, card, editor: null, gone: false };
        const name = port.node || port.item;
        // Made once: a button that is replaced on every refresh would lose the keyboard focus.
        entry.tools = [button(_("Edit"), "pf-m-secondary pf-m-small", () => this.handlers.edit(entry),
                              this.cockpit.format(_("Edit $0"), name)),
            button(_("Apply"), "pf-m-link pf-m-small", () => this.handlers.apply([entry.port.item], name),
                   this.cockpit.format(_("Apply stored settings to $0"), name))];
        entry.actions = el("div", "qx-actions", ...entry.tools);
        const actionsCell = el("td", "qx-actions-cell", entry.actions);
        actionsCell.dataset.label = _("Actions");
        row.append(actionsCell);
        return entry;
    }

    updateRow(entry, port) {
        const first = entry.port === null;
        entry.port = port;
        entry.gone = false;
        if (entry.editor) {
            entry.editor.update(port);
            return;
        }
        let changed = setText(entry.nodeText, port.node || port.item);
        setText(entry.numberText, this.cockpit.format(this._("Port $0"), port.number));
        setText(entry.kindText, port.kind);
        entry.kindText.parentNode.classList.toggle("pf-m-blue", port.kind === "RS-485");
        for (const key of Object.keys(this.labels))
            changed = this.showValue(entry.cells[key], port.limits && port.limits[key], port[key]) || changed;
        if (changed && !first) {
            entry.row.classList.remove("qx-changed");
            void entry.row.offsetWidth; // restarts the highlight
            entry.row.classList.add("qx-changed");
        }
        for (const tool of entry.tools)
            tool.hidden = this.readOnly;
    }

    // Returns whether the cell changed.
    showValue(cell, limit, value) {
        const { main, detail } = valueParts(this.cockpit, limit, value);
        if (cell.textContent === main + (detail || ""))
            return false;
        cell.replaceChildren(el("span", "qx-value-name", main), ...(detail === null ? [] : [el("div", "qx-meaning", detail)]));
        return true;
    }

    newCard() {
        const _ = this._;
        const title = el("span");
        const facts = el("div", "qx-facts");
        const tbody = el("tbody");
        const removedLabel = el("span", "pf-c-label pf-m-compact pf-m-red qx-removed-label",
                                el("span", "pf-c-label__content", _("Removed")));
        removedLabel.hidden = true;
        const heading = el("h2", "pf-c-title pf-m-lg", title, removedLabel);
        const card = { title, facts, tbody, removedLabel, rows: new Map(), board: null, gone: false, goneReason: null };
        card.apply = button(_("Apply stored settings"), "pf-m-secondary",
                            () => this.handlers.apply([card.board.item], card.board.address));
        const head = el("thead", null, el("tr", null,
                                          ...[_("Port"), _("Type"), ...Object.values(this.labels), _("Actions")]
                                                  .map(text => el("th", null, text))));
        const table = el("table", "pf-c-table pf-m-compact pf-m-grid-md", head, tbody);
        table.setAttribute("aria-label", _("Ports"));
        card.node = el("article", "pf-c-card qx-board",
                       el("div", "pf-c-card__header", el("div", "pf-c-card__actions", card.apply),
                          el("div", "pf-c-card__title", heading, facts)),
                       el("div", "pf-c-card__body", table));
        return card;
    }

    updateCard(card, board) {
        const _ = this._;
        card.board = board;
        card.gone = false;
        card.removedLabel.hidden = true;
        card.node.classList.remove("qx-gone");
        setText(card.title, board.model || _("Unknown model"));
        if (board.address !== undefined) {
            const facts = [this.cockpit.format(_("PCI $0"), board.address),
                this.cockpit.format(_("Slot $0"), board.slot === null ? _("unknown") : board.slot),
                this.cockpit.format(_("Serial $0"), board.serial)];
            if (card.facts.textContent !== facts.join(""))
                card.facts.replaceChildren(...facts.map(fact => el("span", "qx-fact", fact)));
        }
        card.apply.hidden = this.readOnly || !board.item;
        if (board.item) {
            card.apply.setAttribute("aria-label",
                                    this.cockpit.format(_("Apply stored settings to board $0"), board.address));
        }

        const seen = new Set();
        board.ports.forEach((port, index) => {
            seen.add(port.item);
            let entry = card.rows.get(port.item);
            if (!entry) {
                entry = this.newRow(port, card);
                card.rows.set(port.item, entry);
            }
            this.updateRow(entry, port);
            if (card.tbody.children[index] !== entry.row)
                card.tbody.insertBefore(entry.row, card.tbody.children[index] || null);
        });
        for (const [item, entry] of card.rows) {
            if (!seen.has(item))
                this.lose(entry);
        }
    }

    // A port that is no longer listed goes, unless its editor is open: then it stays, marked,
    // with what the user typed, until the user dismisses it.
    lose(entry) {
        if (entry.editor) {
            if (!entry.gone) {
                entry.gone = true;
                entry.editor.remove();
            }
            return;
        }
        entry.row.remove();
        entry.card.rows.delete(entry.port.item);
    }

    // reason: "removed" (the board is no longer listed) or "unlisted" (the listing failed).
    loseCard(key, card, reason) {
        for (const entry of card.rows.values())
            this.lose(entry);
        if (card.rows.size === 0) {
            card.node.remove();
            this.cards.delete(key);
            return;
        }
        card.gone = true;
        card.goneReason = reason;
        card.removedLabel.hidden = false;
        card.node.classList.add("qx-gone");
        card.apply.hidden = true;
    }

    render(listing) {
        const boards = listing.boards.slice();
        if (listing.unlistedBoardPorts.length) {
            boards.push({
                item: null,
                model: this._("Ports of boards that could not be described"),
                ports: listing.unlistedBoardPorts,
            });
        }
        const seen = new Set();
        boards.forEach((board, index) => {
            const key = board.item || "";
            seen.add(key);
            let card = this.cards.get(key);
            if (!card) {
                card = this.newCard();
                this.cards.set(key, card);
            }
            this.updateCard(card, board);
            if (this.nodes.boards.children[index] !== card.node)
                this.nodes.boards.insertBefore(card.node, this.nodes.boards.children[index] || null);
        });
        for (const [key, card] of this.cards) {
            if (!seen.has(key))
                this.loseCard(key, card, "removed");
        }
        this.nodes.loading.hidden = true;
        this.nodes.applyAll.hidden = this.readOnly || boards.length === 0;
        if (boards.length === 0 && this.cards.size === 0) {
            this.showState(this._("No serial boards found"),
                           [this._("No QX561x board is installed, or its driver is not loaded.")]);
        } else {
            this.showState(null);
        }
    }

    // After the editor of a port that went was dismissed.
    prune(entry) {
        if (entry.gone)
            this.lose(entry);
        const card = entry.card;
        if (card.gone && card.rows.size === 0) {
            card.node.remove();
            for (const [key, known] of this.cards) {
                if (known === card)
                    this.cards.delete(key);
            }
        }
    }

    failed(error) {
        const _ = this._;
        for (const [key, card] of this.cards)
            this.loseCard(key, card, "unlisted");
        this.nodes.loading.hidden = true;
        this.nodes.applyAll.hidden = true;
        if (error.call === "load")
            this.showState(_("The qx561x plug-in is not installed"), [_("Install the qx561x package."), error.message]);
        else if (error.call === "missing")
            this.showState(_("qxhost is not installed"), [_("Install the qx561x package.")]);
        else
            this.showState(_("The boards could not be listed"), [error.message]);
    }
}
