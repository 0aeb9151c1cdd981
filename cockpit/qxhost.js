// SPDX-License-Identifier: MIT
// The page's one door to the machine: `qxhost --json`, run through Cockpit. Failures of every
// kind come out in the shape of qxhost's own error object, and calls that take long are told.

// A call still running after this long shows that the page is working.
export const SLOW_MS = 1000;

// Only objects count: qxhost prints one object per document.
export function parseDocument(text) {
    try {
        const doc = JSON.parse(text);
        return doc !== null && typeof doc === "object" && !Array.isArray(doc) ? doc : null;
    } catch {
        return null;
    }
}

// A failed spawn as { call, message, ... }: qxhost's error object from standard error when it
// printed one, otherwise what Cockpit or the exit status says.
export function errorOf(cockpit, ex) {
    const _ = cockpit.gettext;
    if (ex.problem === "not-found")
        return { call: "missing", message: _("qxhost is not installed (package qx561x).") };
    if (ex.problem)
        return { call: ex.problem, message: cockpit.message(ex) };
    for (const line of String(ex.message || "").split("\n")) {
        const doc = parseDocument(line);
        if (doc && doc.error && typeof doc.error.message === "string" && doc.error.message)
            return doc.error;
    }
    const message = ex.message || cockpit.format(_("qxhost exited with status $0"), ex.exit_status);
    return { call: null, message };
}

// "file:line: message", as qxhost check prints a problem.
export function problemText(problem) {
    const where = problem.line === null || problem.line === undefined ? problem.file : problem.file + ":" + problem.line;
    return where + ": " + problem.message;
}

export class Qxhost {
    // onSlow() is called whenever the set of slow calls changes; slowCalls() tells which.
    // timers: setTimeout and clearTimeout.
    constructor(cockpit, { onSlow = () => {}, timers = globalThis } = {}) {
        this.cockpit = cockpit;
        this.onSlow = onSlow;
        this.timers = timers;
        this.pending = new Set();
    }

    // Resolves with the document; rejects with { error, doc } (apply prints its document also
    // when a port failed, check when it found problems).
    run(args, label) {
        const call = { verb: args[0], label, slow: false };
        this.pending.add(call);
        const timer = this.timers.setTimeout(() => {
            call.slow = true;
            this.onSlow();
        }, SLOW_MS);
        const done = () => {
            this.timers.clearTimeout(timer);
            this.pending.delete(call);
            if (call.slow)
                this.onSlow();
        };
        return new Promise((resolve, reject) => {
            this.cockpit.spawn(["qxhost", "--json", ...args], { superuser: "try", err: "message" })
                    .then(out => {
                        done();
                        const doc = parseDocument(out);
                        if (doc)
                            resolve(doc);
                        else
                            reject({ error: { call: null, message: this.cockpit.gettext("qxhost gave no JSON document") }, doc: null });
                    }, (ex, out) => {
                        done();
                        reject({ error: errorOf(this.cockpit, ex), doc: parseDocument(out) });
                    });
        });
    }

    // [{ verb, label }] of the calls running longer than SLOW_MS.
    slowCalls() {
        return [...this.pending].filter(call => call.slow).map(({ verb, label }) => ({ verb, label }));
    }

    list() {
        return this.run(["list"], this.cockpit.gettext("Listing boards and ports"));
    }

    // The document also when check found problems (exit status 1); null when there is none.
    check() {
        return this.run(["check"], this.cockpit.gettext("Checking the stored settings"))
                .catch(failure => failure.doc);
    }

    // assignments: [[key, value], ...]
    set(item, assignments, { dryRun = false } = {}) {
        const label = dryRun ? this.cockpit.gettext("Checking the new settings") : this.cockpit.gettext("Saving the new settings");
        return this.run(["set", ...(dryRun ? ["--dry-run"] : []), "--", item,
            ...assignments.map(([key, value]) => key + "=" + value)], label);
    }

    // names: items, or null for every port.
    apply(names) {
        return this.run(names ? ["apply", "--", ...names] : ["apply", "--all"],
                        this.cockpit.gettext("Applying stored settings"));
    }

    // Calls onEvent(event) for each notification; resolves, when the watcher ends, with why, in
    // the shape of a failure's error.
    watch(onEvent) {
        const process = this.cockpit.spawn(["qxhost", "--json", "watch"], { superuser: "try", err: "message" });
        process.stream(data => {
            const end = data.lastIndexOf("\n") + 1;
            for (const line of data.slice(0, end).split("\n")) {
                const event = parseDocument(line);
                if (event)
                    onEvent(event);
            }
            return end;
        });
        return new Promise(resolve => process.then(
            () => resolve({ call: null, message: this.cockpit.gettext("qxhost watch ended") }),
            ex => resolve(errorOf(this.cockpit, ex))));
    }
}

// Runs task() one at a time: a call while it runs makes one more run after it, however many
// calls came. Every caller's promise settles when a run that started after its call has ended.
export function serialize(task) {
    let running = null;
    let next = null;
    const start = () => {
        running = Promise.resolve().then(task).finally(() => {
            running = null;
        });
        return running;
    };
    return () => {
        if (!running)
            return start();
        if (!next) {
            next = running.catch(() => null).then(() => {
                next = null;
                return start();
            });
        }
        return next;
    };
}

// The events of one plug (the board, then each of its ports) come close together: they are
// gathered this long into one reading.
export const GATHER_MS = 100;
// A watcher that heard an event or still runs after this long works; one that ends sooner is
// started again after a pause that grows with each such end.
export const STEADY_MS = 5000;
export const RESTART_MS = [1000, 2000, 4000, 8000, 16000, 30000];

// The page hears of every change from one long-running `qxhost watch`, and reads the machine
// only then: reread({ check }) once per burst of events, check when a stored setting changed.
// A watcher that ends is started again, with a reread of everything, since what happened
// meanwhile went unheard. stopped(error, retryMs) tells that updates stopped (a watcher
// ended again without working), stopped(null) that they came back.
export function follow(client, { reread, stopped = () => {}, timers = globalThis }) {
    let failures = 0;
    let down = false;
    let burst = null;
    const gather = event => {
        const check = event.change === "changed";
        if (burst) {
            burst.check = burst.check || check;
            return;
        }
        burst = { check };
        timers.setTimeout(() => {
            const gathered = burst;
            burst = null;
            reread({ check: gathered.check });
        }, GATHER_MS);
    };
    const start = () => {
        let working = false;
        const works = () => {
            if (working)
                return;
            working = true;
            failures = 0;
            if (down) {
                down = false;
                stopped(null);
            }
        };
        const steady = timers.setTimeout(works, STEADY_MS);
        client.watch(event => {
            works();
            gather(event);
        }).then(error => {
            timers.clearTimeout(steady);
            failures = working ? 1 : failures + 1;
            const pause = RESTART_MS[Math.min(failures, RESTART_MS.length) - 1];
            if (failures > 1) {
                down = true;
                stopped(error, pause);
            }
            timers.setTimeout(() => {
                start();
                reread({ check: true });
            }, pause);
        });
    };
    start();
    reread({ check: true });
}
