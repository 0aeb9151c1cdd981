// SPDX-License-Identifier: MIT
import assert from "node:assert/strict";
import { describe, it } from "node:test";

import { GATHER_MS, Qxhost, RESTART_MS, STEADY_MS, errorOf, follow, parseDocument, problemText, serialize }
    from "../../cockpit/qxhost.js";
import { fakeCockpit, fakeTimers } from "./fake.mjs";

const refusal = { operation: "set", call: "ValidateItemProperties", code: "0x8004037F",
    symbol: "E_SYSAPI_VALIDATION_VALUE", message: "RxFifoDepth 200 is outside 1..127", name: "/dev/ttyQX561xPort1" };

// Lets the promise callbacks queued so far run.
const settle = () => new Promise(resolve => setImmediate(resolve));

describe("qxhost's documents and failures", () => {
    it("takes only a JSON object as a document", () => {
        for (const [text, expected] of [
            ['{"boards":[]}', { boards: [] }],
            ["[]", null],
            ["null", null],
            ['"boards"', null],
            ['{"boards":', null],
            ["", null],
        ])
            assert.deepEqual(parseDocument(text), expected, text);
    });

    it("maps each way a call fails to one shape", () => {
        const cockpit = fakeCockpit();
        for (const [what, ex, expected] of [
            ["qxhost missing", { problem: "not-found" }, { call: "missing", message: "qxhost is not installed (package qx561x)." }],
            ["Cockpit's own problem", { problem: "access-denied" }, { call: "access-denied", message: "cockpit: access-denied" }],
            ["qxhost's error object after a warning",
                { exit_status: 1, message: '{"warning":{"file":"f","line":1,"message":"w"}}\n' + JSON.stringify({ error: refusal }) },
                refusal],
            ["an error object without a message", { exit_status: 1, message: '{"error":{"message":""}}' },
                { call: null, message: '{"error":{"message":""}}' }],
            ["text that is no JSON", { exit_status: 1, message: "Segmentation fault" }, { call: null, message: "Segmentation fault" }],
            ["nothing on standard error", { exit_status: 3, message: "" }, { call: null, message: "qxhost exited with status 3" }],
        ])
            assert.deepEqual(errorOf(cockpit, ex), expected, what);
    });

    it("writes a problem as file:line: message, without a line when it has none", () => {
        assert.equal(problemText({ file: "/etc/qxserial/configuration.ini", line: 2, message: "m" }),
                     "/etc/qxserial/configuration.ini:2: m");
        assert.equal(problemText({ file: "/etc/qxserial/configuration.ini", line: null, message: "m" }),
                     "/etc/qxserial/configuration.ini: m");
    });
});

describe("a qxhost call", () => {
    const setup = () => {
        const cockpit = fakeCockpit();
        const timers = fakeTimers();
        let slowChanges = 0;
        const client = new Qxhost(cockpit, { timers, onSlow: () => slowChanges++ });
        return { cockpit, timers, client, slowChanges: () => slowChanges };
    };

    it("runs qxhost --json through Cockpit with the arguments of each command", () => {
        const { cockpit, client } = setup();
        client.list();
        client.check();
        client.set("port:a", [["rx", "32"], ["mode", "1"]], { dryRun: true });
        client.set("port:a", [["tx", "10"]]);
        client.apply(["device:b"]);
        client.apply(null);
        assert.deepEqual(cockpit.spawns.map(spawn => spawn.argv.slice(2)), [
            ["list"],
            ["check"],
            ["set", "--dry-run", "--", "port:a", "rx=32", "mode=1"],
            ["set", "--", "port:a", "tx=10"],
            ["apply", "--", "device:b"],
            ["apply", "--all"],
        ]);
        for (const spawn of cockpit.spawns) {
            assert.deepEqual(spawn.argv.slice(0, 2), ["qxhost", "--json"]);
            assert.deepEqual(spawn.options, { superuser: "try", err: "message" });
        }
    });

    it("resolves with the document, and rejects with the error and any document printed", async () => {
        const { cockpit, client } = setup();
        const listed = client.list();
        cockpit.spawns[0].finish('{"boards":[],"unlistedBoardPorts":[]}\n');
        assert.deepEqual(await listed, { boards: [], unlistedBoardPorts: [] });

        const garbled = client.list();
        cockpit.spawns[1].finish("boards\n");
        await assert.rejects(garbled, { error: { call: null, message: "qxhost gave no JSON document" }, doc: null });

        const applied = client.apply(null);
        const doc = { operation: "apply", ports: [{ item: "port:a", applied: false, status: 2, report: "r" }] };
        cockpit.spawns[2].fail({ exit_status: 1, message: JSON.stringify({ error: { call: "qxserialconfig", message: "m" } }) },
                               JSON.stringify(doc));
        await assert.rejects(applied, { error: { call: "qxserialconfig", message: "m" }, doc });
    });

    it("gives check's document also when it found problems, and null when there is none", async () => {
        const { cockpit, client } = setup();
        const found = client.check();
        const problems = { files: [], problems: [{ file: "f", line: 1, kind: "parse", message: "m" }] };
        cockpit.spawns[0].fail({ exit_status: 1, message: "" }, JSON.stringify(problems));
        assert.deepEqual(await found, problems);
        const broken = client.check();
        cockpit.spawns[1].fail({ problem: "not-found" }, "");
        assert.equal(await broken, null);
    });

    it("counts as slow only while it runs past its time", async () => {
        const { cockpit, timers, client, slowChanges } = setup();
        const quick = client.list();
        cockpit.spawns[0].finish("{}");
        await quick;
        assert.equal(timers.count, 0, "a call that ended leaves no timer");
        assert.equal(slowChanges(), 0);

        const slow = client.set("port:a", [["rx", "1"]]);
        const other = client.list();
        timers.fireAll();
        assert.deepEqual(client.slowCalls(), [{ verb: "set", label: "Saving the new settings" },
            { verb: "list", label: "Listing boards and ports" }]);
        assert.equal(slowChanges(), 2);
        cockpit.spawns[1].finish('{"ports":[]}');
        await slow;
        assert.deepEqual(client.slowCalls(), [{ verb: "list", label: "Listing boards and ports" }]);
        cockpit.spawns[2].fail({ exit_status: 1, message: "" }, "");
        await other.catch(() => null);
        assert.deepEqual(client.slowCalls(), []);
        assert.equal(slowChanges(), 4);
    });

    it("passes on each whole line of the watcher, keeping a partial line for later", async () => {
        const { cockpit, client } = setup();
        const events = [];
        const ended = client.watch(event => events.push(event));
        const stream = cockpit.spawns[0].streamer;
        assert.deepEqual(cockpit.spawns[0].argv, ["qxhost", "--json", "watch"]);
        const first = '{"change":"changed","kind":"port"}\n{"change":"add';
        assert.equal(stream(first), first.indexOf("\n") + 1);
        assert.equal(stream('{"change":"added","kind":"board"}\nnot json\n'), 43);
        assert.deepEqual(events, [{ change: "changed", kind: "port" }, { change: "added", kind: "board" }]);
        cockpit.spawns[0].fail({ exit_status: 1, message: JSON.stringify({ error: refusal }) }, "");
        assert.deepEqual(await ended, refusal, "it ends with why");
    });
});

describe("following the machine", () => {
    const setup = () => {
        const cockpit = fakeCockpit();
        const timers = fakeTimers();
        const rereads = [];
        const stops = [];
        follow(new Qxhost(cockpit, { timers }), {
            reread: what => rereads.push(what.check ? "list+check" : "list"),
            stopped: (error, retryMs) => stops.push(error ? [error.message, retryMs] : "back"),
            timers,
        });
        const watchers = () => cockpit.spawns.filter(spawn => spawn.argv[2] === "watch");
        const event = (change, kind) => JSON.stringify({ change, item: kind + ":x", kind }) + "\n";
        const end = async message => {
            watchers().at(-1).fail({ exit_status: 1, message: JSON.stringify({ error: { message } }) }, "");
            await settle();
        };
        return { timers, rereads, stops, watchers, event, end };
    };

    it("runs one watcher, and reads once per burst of events, checking only when a setting changed", () => {
        const { timers, rereads, watchers, event } = setup();
        assert.deepEqual(rereads, ["list+check"], "the first reading");
        assert.equal(watchers().length, 1);
        assert.equal(timers.fire(GATHER_MS), 0, "nothing is read again unasked");

        watchers()[0].streamer(event("added", "board") + event("added", "port"));
        watchers()[0].streamer(event("added", "port"));
        assert.equal(timers.fire(GATHER_MS), 1);
        watchers()[0].streamer(event("removed", "port") + event("changed", "port"));
        timers.fire(GATHER_MS);
        assert.deepEqual(rereads, ["list+check", "list", "list+check"]);
        assert.equal(watchers().length, 1);
    });

    it("starts a watcher that ended again after a growing pause, reads everything, and tells when it cannot", async () => {
        const { timers, rereads, stops, watchers, end } = setup();
        const restart = async (pause, message) => {
            await end(message);
            assert.deepEqual(timers.delays().filter(delay => delay !== STEADY_MS), [pause]);
            timers.fire(pause);
        };
        await restart(RESTART_MS[0], "gone");
        assert.deepEqual(stops, [], "one end is retried without a word");
        for (const pause of RESTART_MS.slice(1))
            await restart(pause, "no plug-in");
        await restart(RESTART_MS.at(-1), "no plug-in");
        assert.equal(watchers().length, RESTART_MS.length + 2);
        assert.deepEqual(rereads, Array(RESTART_MS.length + 2).fill("list+check"));
        assert.deepEqual(stops, [...RESTART_MS.slice(1), RESTART_MS.at(-1)].map(pause => ["no plug-in", pause]));

        // One that works is told, and its end is retried soon again.
        timers.fire(STEADY_MS);
        assert.deepEqual(stops.at(-1), "back");
        await restart(RESTART_MS[0], "gone");
        await end("gone");
        assert.deepEqual(stops.at(-1), ["gone", RESTART_MS[1]]);
        timers.fire(RESTART_MS[1]);
        watchers().at(-1).streamer('{"change":"changed","kind":"port"}\n');
        assert.deepEqual(stops.at(-1), "back", "an event shows that it works");
    });
});

describe("serialize", () => {
    it("runs once more after a run for any number of calls during it, and settles each caller after a run that began later", async () => {
        const runs = [];
        const task = serialize(() => new Promise(resolve => runs.push(resolve)));
        const order = [];
        const first = task().then(() => order.push("first"));
        const second = task().then(() => order.push("second"));
        const third = task().then(() => order.push("third"));
        await settle();
        assert.equal(runs.length, 1);
        runs[0]();
        await first;
        await settle();
        assert.deepEqual(order, ["first"], "the later callers wait for the run after");
        assert.equal(runs.length, 2);
        runs[1]();
        await Promise.all([second, third]);
        assert.deepEqual(order, ["first", "second", "third"]);
        assert.equal(runs.length, 2);
    });

    it("goes on after a run that failed", async () => {
        let calls = 0;
        const task = serialize(() => (++calls === 1 ? Promise.reject(new Error("failed")) : Promise.resolve()));
        const failing = task();
        const next = task();
        await assert.rejects(failing);
        await next;
        assert.equal(calls, 2);
    });
});
