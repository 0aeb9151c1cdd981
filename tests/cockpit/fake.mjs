// SPDX-License-Identifier: MIT
// Stand-ins for what the page's modules take from Cockpit and the browser.

// Cockpit's spawn promise: then(done, fail) with fail(ex, output). Every spawn is recorded
// and settled by the test.
export function fakeCockpit() {
    const spawns = [];
    const cockpit = {
        spawns,
        gettext: text => text,
        format: (template, ...args) => template.replace(/\$(\d)/g, (_, i) => String(args[Number(i)])),
        message: ex => "cockpit: " + ex.problem,
        spawn(argv, options) {
            const spawn = { argv, options, streamer: null };
            const settled = new Promise((resolve, reject) => {
                spawn.finish = output => resolve(output);
                spawn.fail = (ex, output) => reject({ ex, output });
            });
            spawns.push(spawn);
            return {
                then: (done, fail) => settled.then(done, ({ ex, output }) => fail(ex, output)),
                stream(callback) {
                    spawn.streamer = callback;
                    return this;
                },
            };
        },
    };
    return cockpit;
}

// Timers that fire only when the test says so: all of them, or those set for one delay.
export function fakeTimers() {
    const pending = new Map();
    let next = 0;
    const fire = which => {
        const due = [...pending].filter(([, timer]) => which(timer));
        due.forEach(([id]) => pending.delete(id));
        due.forEach(([, timer]) => timer.callback());
        return due.length;
    };
    return {
        setTimeout(callback, delay) {
            pending.set(++next, { callback, delay });
            return next;
        },
        clearTimeout(id) {
            pending.delete(id);
        },
        fireAll() {
            fire(() => true);
        },
        // Returns how many fired.
        fire(delay) {
            return fire(timer => timer.delay === delay);
        },
        delays() {
            return [...pending.values()].map(timer => timer.delay);
        },
        get count() {
            return pending.size;
        },
    };
}

// The RS-485 modes as qxhost names them in limits.mode.choices.
export const MODE_CHOICES = [
    { value: 0, name: "off", meaning: "RS-485 off" },
    { value: 1, name: "rx-during-tx", meaning: "enabled, receiver on while sending" },
    { value: 2, name: "enabled", meaning: "enabled" },
    { value: 3, name: "rts-on-send", meaning: "enabled, RTS on send" },
];

// A port as `qxhost list --json` gives it.
export function listedPort(values = {}) {
    const rs485 = values.mode !== null;
    return {
        item: "port:/sys/devices/pci0000|3A00/0000|3A03|3A00.0/tty/ttyQX561xPort1",
        node: "/dev/ttyQX561xPort1",
        number: 2,
        kind: rs485 ? "RS-485" : "RS-232",
        rx: 64,
        tx: 128,
        mode: 3,
        limits: {
            rx: { min: 1, max: 127, default: 64 },
            tx: { min: 1, max: 128, default: 128 },
            mode: rs485 ? { min: 0, max: 3, default: 3 } : null,
        },
        ...values,
    };
}
