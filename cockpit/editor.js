// SPDX-License-Identifier: MIT
// One port's editor, without the page: what the user typed, what is stored now, and what a
// save may send. A save sends only the settings the user changed, and never one that changed
// elsewhere since the user last saw it, unless the user agreed to save over it.

export const KEYS = ["rx", "tx", "mode"];

function text(value) {
    return value === null || value === undefined ? "" : String(value);
}

// The named choice of a value, from the setting's limits ({ value, name, meaning }), or null:
// a setting without names, or a value without one (a stored value out of range).
export function choiceOf(limit, value) {
    const choices = limit && Array.isArray(limit.choices) ? limit.choices : [];
    return choices.find(choice => text(choice.value) === text(value)) || null;
}

export class PortEditor {
    constructor(port) {
        this.item = port.item;
        this.limits = {};
        this.base = {}; // the stored value the user was last shown
        this.stored = {}; // the stored value as last listed
        this.typed = {};
        for (const key of KEYS) {
            if (!port.limits || !port.limits[key])
                continue;
            this.limits[key] = port.limits[key];
            this.base[key] = this.stored[key] = port[key];
            this.typed[key] = text(port[key]);
        }
        this.keys = Object.keys(this.limits);
        this.sending = null; // the assignments of a save in flight
        this.asking = []; // keys the user is asked about before saving over them
        this.refusal = null; // { keys, message } or { keys, invalid: true }
        this.removed = false;
        this.outcome = null; // { saved, message }: a save that ended after the port went
    }

    type(key, value) {
        this.typed[key] = value;
        this.asking = [];
    }

    changed(key) {
        return this.typed[key].trim() !== text(this.base[key]);
    }

    // What the setting offers, when its values have names: each choice in value order, with any
    // value stored, shown or typed that has none (name null), so that it can still be shown
    // and kept. null for a setting typed as a number.
    options(key) {
        const choices = this.limits[key].choices;
        if (!Array.isArray(choices))
            return null;
        const unnamed = new Set([this.base[key], this.stored[key], this.typed[key]].map(text)
                .filter(value => /^[0-9]+$/.test(value) && !choiceOf(this.limits[key], value)));
        return [...choices, ...[...unnamed].map(value => ({ value: Number(value), name: null, meaning: null }))]
                .sort((a, b) => a.value - b.value);
    }

    // Changed by the user, and elsewhere to another value since the user last saw it.
    conflict(key) {
        return this.changed(key) && this.stored[key] !== this.base[key];
    }

    conflicts() {
        return this.keys.filter(key => this.conflict(key));
    }

    // The port as listed now. Settings the user left alone follow it; one the user changed
    // keeps the typed value (a conflict, unless the two now agree). Returns the keys whose
    // stored value changed.
    update(port) {
        this.removed = false;
        const moved = this.keys.filter(key => port[key] !== this.stored[key]);
        for (const key of moved)
            this.stored[key] = port[key];
        if (!this.sending)
            this.keys.forEach(key => this.follow(key));
        return moved;
    }

    follow(key) {
        if (this.stored[key] === this.base[key])
            return;
        if (!this.changed(key)) {
            this.base[key] = this.stored[key];
            this.typed[key] = text(this.stored[key]);
        } else if (this.typed[key].trim() === text(this.stored[key])) {
            this.base[key] = this.stored[key];
        }
    }

    remove() {
        this.removed = true;
        this.asking = [];
    }

    // What a press of Save leads to: { action: "close" } when nothing changed, "invalid" with
    // the key at fault, "ask" with the keys that changed elsewhere, or "send" with the
    // assignments (then the editor waits for saved() or failed()).
    save() {
        if (this.sending || this.removed)
            return { action: "wait" };
        const changed = this.keys.filter(key => this.changed(key));
        const invalid = changed.find(key => !/^[0-9]+$/.test(this.typed[key].trim()));
        if (invalid !== undefined) {
            this.refusal = { keys: [invalid], invalid: true };
            return { action: "invalid", key: invalid };
        }
        if (changed.length === 0)
            return { action: "close" };
        const conflicts = changed.filter(key => this.conflict(key));
        if (conflicts.length) {
            this.asking = conflicts;
            return { action: "ask", keys: conflicts };
        }
        this.refusal = null;
        this.sending = changed.map(key => [key, this.typed[key].trim()]);
        return { action: "send", assignments: this.sending };
    }

    // The user saw the values stored elsewhere and chose to save over them.
    overwrite() {
        for (const key of this.asking)
            this.base[key] = this.stored[key];
        this.asking = [];
    }

    // The user saw the values stored elsewhere and took them.
    takeStored() {
        for (const key of this.asking) {
            this.base[key] = this.stored[key];
            this.typed[key] = text(this.stored[key]);
        }
        this.asking = [];
    }

    // changes: qxhost's [{ key, after }], the values read back after the set.
    saved(changes) {
        this.sending = null;
        if (this.removed)
            this.outcome = { saved: true, message: null };
        for (const change of changes) {
            if (this.keys.includes(change.key))
                this.base[change.key] = this.stored[change.key] = change.after;
        }
        this.keys.forEach(key => this.follow(key));
    }

    failed(error) {
        const keys = this.sending.map(([key]) => key);
        this.sending = null;
        if (this.removed)
            this.outcome = { saved: false, message: error.message };
        else
            this.refusal = { keys, message: error.message };
        this.keys.forEach(key => this.follow(key));
    }
}
