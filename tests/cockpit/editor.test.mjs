// SPDX-License-Identifier: MIT
import assert from "node:assert/strict";
import { describe, it } from "node:test";

import { PortEditor } from "../../cockpit/editor.js";
import { MODE_CHOICES, listedPort } from "./fake.mjs";

// An editor opened on the listed port, with the user's typing applied.
function opened(typed = {}, values = {}) {
    const editor = new PortEditor(listedPort(values));
    for (const [key, text] of Object.entries(typed))
        editor.type(key, text);
    return editor;
}

describe("a port's editor", () => {
    it("edits the settings the port has limits for", () => {
        assert.deepEqual(opened().keys, ["rx", "tx", "mode"]);
        assert.deepEqual(opened({}, { mode: null }).keys, ["rx", "tx"]);
        assert.deepEqual(opened().typed, { rx: "64", tx: "128", mode: "3" });
    });

    it("offers named values as choices, and keeps a value without a name among them", () => {
        const named = values => {
            const port = listedPort(values);
            port.limits.mode = { ...port.limits.mode, choices: MODE_CHOICES };
            return new PortEditor(port);
        };
        const offered = editor => editor.options("mode").map(option => option.name || option.value);
        const names = MODE_CHOICES.map(choice => choice.name);
        assert.equal(opened().options("mode"), null, "a number without choices");
        assert.equal(named().options("rx"), null);
        assert.deepEqual(offered(named()), names);

        const unnamed = named({ mode: 4 });
        assert.deepEqual(offered(unnamed), [...names, 4]);
        unnamed.type("mode", "1");
        assert.deepEqual(unnamed.save(), { action: "send", assignments: [["mode", "1"]] });

        const changedElsewhere = named();
        changedElsewhere.type("mode", "0");
        changedElsewhere.update(listedPort({ mode: 7 }));
        assert.deepEqual(offered(changedElsewhere), [...names, 7], "a value stored elsewhere can be shown and taken");
        assert.deepEqual(changedElsewhere.save(), { action: "ask", keys: ["mode"] });
    });

    it("saves only the settings the user changed, and closes when there are none", () => {
        for (const [typed, expected] of [
            [{}, { action: "close" }],
            [{ rx: "64 " }, { action: "close" }],
            [{ tx: "10" }, { action: "send", assignments: [["tx", "10"]] }],
            [{ rx: " 21", mode: "1" }, { action: "send", assignments: [["rx", "21"], ["mode", "1"]] }],
        ])
            assert.deepEqual(opened(typed).save(), expected, JSON.stringify(typed));
    });

    it("refuses anything but ASCII decimal digits before sending", () => {
        for (const text of ["", "1.5", "-1", "+5", "0x10", "１", "1e2", "3 3"]) {
            const editor = opened({ rx: text });
            assert.deepEqual(editor.save(), { action: "invalid", key: "rx" }, JSON.stringify(text));
            assert.deepEqual(editor.refusal, { keys: ["rx"], invalid: true });
            assert.equal(editor.sending, null);
        }
    });

    it("follows a setting changed elsewhere that the user left alone, and saves without it", () => {
        const editor = opened({ tx: "10" });
        assert.deepEqual(editor.update(listedPort({ rx: 21 })), ["rx"]);
        assert.equal(editor.typed.rx, "21");
        assert.deepEqual(editor.conflicts(), []);
        assert.deepEqual(editor.save(), { action: "send", assignments: [["tx", "10"]] });
    });

    it("asks before saving over a setting both changed, then saves over it or takes the stored value", () => {
        const conflicted = () => {
            const editor = opened({ tx: "10", rx: "30" });
            editor.update(listedPort({ tx: 50 }));
            assert.deepEqual(editor.conflicts(), ["tx"]);
            assert.equal(editor.typed.tx, "10", "the typed value stays");
            assert.deepEqual(editor.save(), { action: "ask", keys: ["tx"] });
            assert.equal(editor.sending, null, "nothing is sent while the user is asked");
            return editor;
        };
        const overwriting = conflicted();
        overwriting.overwrite();
        assert.deepEqual(overwriting.save(), { action: "send", assignments: [["rx", "30"], ["tx", "10"]] });

        const taking = conflicted();
        taking.takeStored();
        assert.equal(taking.typed.tx, "50");
        assert.deepEqual(taking.save(), { action: "send", assignments: [["rx", "30"]] });

        const again = conflicted();
        again.overwrite();
        again.update(listedPort({ tx: 60 }));
        assert.deepEqual(again.save(), { action: "ask", keys: ["tx"] }, "a second change elsewhere is asked about again");
    });

    it("sees no conflict where the value stored elsewhere is the one the user typed", () => {
        const editor = opened({ tx: "50" });
        editor.update(listedPort({ tx: 50 }));
        assert.deepEqual(editor.conflicts(), []);
        assert.deepEqual(editor.save(), { action: "close" });
    });

    it("judges changes that arrive during a save once it ended", () => {
        const saved = opened({ tx: "10" });
        saved.save();
        saved.update(listedPort({ tx: 10, rx: 21 }));
        assert.equal(saved.typed.rx, "64", "nothing moves under a save in flight");
        saved.saved([{ key: "tx", before: 128, after: 10 }]);
        assert.deepEqual([saved.typed.rx, saved.typed.tx, saved.conflicts()], ["21", "10", []]);

        const refused = opened({ tx: "10", rx: "30" });
        refused.save();
        refused.update(listedPort({ rx: 40 }));
        refused.failed({ message: "refused" });
        assert.deepEqual(refused.refusal, { keys: ["rx", "tx"], message: "refused" });
        assert.deepEqual(refused.conflicts(), ["rx"]);
    });

    it("keeps the typed values of a port that went, and tells how a save in flight ended", () => {
        for (const [end, outcome] of [
            [editor => editor.saved([{ key: "tx", before: 128, after: 10 }]), { saved: true, message: null }],
            [editor => editor.failed({ message: "the item does not exist" }), { saved: false, message: "the item does not exist" }],
        ]) {
            const editor = opened({ tx: "10" });
            editor.save();
            editor.remove();
            assert.deepEqual(editor.save(), { action: "wait" });
            end(editor);
            assert.deepEqual(editor.outcome, outcome);
            assert.equal(editor.refusal, null);
            assert.equal(editor.removed, true);
        }
        const idle = opened({ tx: "10" });
        idle.remove();
        assert.deepEqual([idle.typed.tx, idle.save()], ["10", { action: "wait" }]);
        idle.update(listedPort());
        assert.equal(idle.removed, false, "a port that came back can be saved again");
        assert.deepEqual(idle.save(), { action: "send", assignments: [["tx", "10"]] });
    });
});
