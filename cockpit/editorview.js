// SPDX-License-Identifier: MIT
// A port's editor drawn into its row: an input per setting with its range, what changed
// elsewhere, the plug-in's refusal, the question before saving over a value stored elsewhere,
// and what became of a port that went while it was edited. The state is the PortEditor's;
// this only shows it.

import { alert, button, el, helperText, uniqueId } from "./dom.js";
import { valueParts } from "./view.js";

export class EditorView {
    // handlers: { save(), cancel(), overwrite(), takeStored(), dismiss() }
    constructor(cockpit, entry, editor, labels, handlers) {
        this.cockpit = cockpit;
        this._ = cockpit.gettext;
        this.entry = entry;
        this.editor = editor;
        this.labels = labels;
        this.handlers = handlers;
        this.inputs = {};
        this.notes = {};
        this.messageId = uniqueId("qx-message");
        this.message = el("div", "qx-message");
        this.message.id = this.messageId;
        this.message.setAttribute("aria-live", "polite");
        this.shownMessage = null;
        this.reading = false; // the stored values are read again before a save
    }

    open() {
        const _ = this._;
        const { entry, editor } = this;
        const name = entry.port.node || entry.port.item;
        for (const key of Object.keys(this.labels)) {
            const cell = entry.cells[key];
            if (!editor.keys.includes(key)) {
                cell.replaceChildren("—");
                continue;
            }
            const limit = editor.limits[key];
            const named = editor.options(key) !== null;
            const input = named ? el("select", "pf-c-form-control qx-input qx-choice") : el("input", "pf-c-form-control qx-input");
            if (!named) {
                input.type = "number";
                input.min = String(limit.min);
                input.max = String(limit.max);
                input.value = editor.typed[key];
            }
            input.name = key;
            input.id = uniqueId("qx-input");
            input.setAttribute("aria-label", this.cockpit.format("$0, $1", this.labels[key], name));
            const hintId = uniqueId("qx-range");
            const hint = helperText(null, named
                ? this.cockpit.format(_("default $0"), this.text(key, limit.default))
                : this.cockpit.format(_("$0 to $1, default $2"), limit.min, limit.max, limit.default), hintId);
            hint.classList.add("qx-range");
            const noteId = uniqueId("qx-note");
            const note = el("div", "qx-note");
            note.id = noteId;
            input.setAttribute("aria-describedby", [hintId, noteId, this.messageId].join(" "));
            input.addEventListener(named ? "change" : "input", () => {
                if (input.dataset.locked === "true") {
                    input.value = editor.typed[key];
                    return;
                }
                editor.type(key, input.value);
                this.draw();
            });
            input.addEventListener("keydown", event => {
                if (event.key === "Enter")
                    this.handlers.save();
                else if (event.key === "Escape")
                    this.handlers.cancel();
            });
            this.inputs[key] = input;
            this.notes[key] = note;
            cell.replaceChildren(input, hint, note);
        }
        this.saveButton = button(_("Save"), "pf-m-primary pf-m-small", () => this.handlers.save());
        this.cancelButton = button(_("Cancel"), "pf-m-link pf-m-small", () => this.handlers.cancel());
        this.dismissButton = button(_("Dismiss"), "pf-m-secondary pf-m-small", () => this.handlers.dismiss());
        entry.actions.replaceChildren(this.saveButton, this.cancelButton, this.dismissButton);
        entry.nodeCell.append(this.message);
        entry.row.classList.add("qx-editing");
        this.draw();
        const first = Object.values(this.inputs)[0];
        if (first)
            first.focus();
    }

    draw() {
        const { editor } = this;
        const _ = this._;
        for (const [key, input] of Object.entries(this.inputs)) {
            const locked = editor.removed || editor.sending !== null;
            if (input.tagName === "SELECT") {
                this.drawOptions(key, input);
                // A select cannot be read-only; a choice made meanwhile is put back.
                input.setAttribute("aria-readonly", String(locked));
                input.dataset.locked = String(locked);
            } else {
                input.readOnly = locked;
            }
            if (input.value !== editor.typed[key])
                input.value = editor.typed[key];
            const refused = editor.refusal !== null && editor.refusal.keys.includes(key);
            input.setAttribute("aria-invalid", String(refused));
            const conflict = editor.conflict(key);
            const note = conflict
                ? this.cockpit.format(_("Changed elsewhere to $0 while you edited"), this.text(key, editor.stored[key]))
                : "";
            if (this.notes[key].dataset.shown !== note) {
                this.notes[key].dataset.shown = note;
                this.notes[key].replaceChildren(...(note ? [helperText("warning", note)] : []));
            }
        }
        const gone = editor.removed;
        this.saveButton.hidden = gone;
        this.cancelButton.hidden = gone;
        this.dismissButton.hidden = !gone;
        this.saveButton.disabled = editor.sending !== null || this.reading;
        this.entry.row.classList.toggle("qx-gone", gone);
        this.drawMessage();
    }

    drawMessage() {
        const { editor } = this;
        const _ = this._;
        const format = this.cockpit.format;
        let signature = null;
        let make = null;
        if (editor.removed) {
            const lines = [];
            if (editor.sending)
                lines.push(_("A save was under way when it went; its outcome follows here."));
            else if (editor.outcome && editor.outcome.saved)
                lines.push(_("Your values were saved before it went."));
            else if (editor.outcome)
                lines.push(format(_("Your values were not saved: $0"), editor.outcome.message));
            else
                lines.push(_("Your values were not saved."));
            lines.push(_("They stay here until you dismiss them."));
            const title = this.entry.card.goneReason === "unlisted"
                ? _("The boards could not be listed; this port may have gone.")
                : _("The board of this port was removed.");
            signature = JSON.stringify(["removed", title, lines]);
            make = () => alert("danger", title, lines);
        } else if (editor.asking.length) {
            const lines = editor.asking.map(key => format(_("$0: stored $1, yours $2"), this.labels[key],
                                                          this.text(key, editor.stored[key]),
                                                          this.text(key, editor.typed[key].trim())));
            signature = JSON.stringify(["asking", lines]);
            make = () => alert("warning", _("Changed elsewhere while you edited. Save your values over them?"), lines, {
                actions: [button(_("Save over them"), "pf-m-primary pf-m-small", () => this.handlers.overwrite()),
                    button(_("Use the stored values"), "pf-m-link pf-m-small", () => this.handlers.takeStored())],
            });
        } else if (editor.refusal) {
            const text = editor.refusal.invalid
                ? format(_("$0: enter a whole number."), this.labels[editor.refusal.keys[0]])
                : editor.refusal.message;
            signature = JSON.stringify(["refusal", text]);
            make = () => helperText("error", text);
        }
        if (signature === this.shownMessage)
            return;
        this.shownMessage = signature;
        this.message.replaceChildren(...(make ? [make()] : []));
        if (editor.asking.length)
            this.message.querySelector("button").focus();
    }

    // A value as the row shows it: a name where it has one.
    text(key, value) {
        return valueParts(this.cockpit, this.editor.limits[key], value).main;
    }

    // The select's options, made again only when the values it offers change.
    drawOptions(key, select) {
        const options = this.editor.options(key);
        const signature = options.map(option => option.value).join(" ");
        if (select.dataset.offered === signature)
            return;
        select.dataset.offered = signature;
        select.replaceChildren(...options.map(option => {
            const { main, detail } = valueParts(this.cockpit, this.editor.limits[key], option.value);
            const node = el("option", null, main + " — " + detail);
            node.value = String(option.value);
            return node;
        }));
    }

    focus(key) {
        this.inputs[key].focus();
    }

    close() {
        this.message.remove();
        this.entry.row.classList.remove("qx-editing", "qx-gone");
        this.entry.actions.replaceChildren(...this.entry.tools);
    }
}
