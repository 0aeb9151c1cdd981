// SPDX-License-Identifier: MIT
// The "Serial ports" page: reads the machine through qxhost, shows it, and runs the editor and
// the apply buttons. Everything it shows comes from `qxhost --json`.

import { EditorView } from "./editorview.js";
import { PortEditor } from "./editor.js";
import { Qxhost, follow, problemText, serialize } from "./qxhost.js";
import { BoardsView, settingLabels } from "./view.js";

const _ = cockpit.gettext;

cockpit.translate();
document.documentElement.lang = cockpit.language;
document.documentElement.dir = cockpit.language_direction;

const byId = id => document.getElementById(id);
const permission = cockpit.permission({ admin: true });
const client = new Qxhost(cockpit, { onSlow: () => showBusy() });
const view = new BoardsView(cockpit, {
    boards: byId("boards"),
    notices: byId("notices"),
    state: byId("state"),
    loading: byId("loading"),
    busy: byId("busy"),
    busyText: byId("busy-text"),
    applyAll: byId("apply-all"),
}, { edit: entry => startEdit(entry), apply: (items, what) => applyStored(items, what) });
const labels = settingLabels(_);

let open = null; // the editor: { entry, editor, view }

function showBusy() {
    const slow = client.slowCalls();
    view.showBusy(slow.map(call => call.label), slow.some(call => call.verb === "list"));
}

// The listing, read again; resolves once it is shown.
const relist = serialize(() => client.list().then(listing => ({ listing }), failure => failure).then(listed => {
    view.setReadOnly(permission.allowed === false);
    if (listed.listing)
        view.render(listed.listing);
    else
        view.failed(listed.error);
    if (open)
        open.view.draw();
}));

// What check finds in the stored settings: they change only with the configuration.
const recheck = serialize(() => client.check().then(checked => {
    view.showProblems(checked && checked.problems ? checked.problems.map(problemText) : []);
}));

function reread({ check }) {
    return Promise.all([relist(), check ? recheck() : null]);
}

// ---- editing a port ----

function startEdit(entry) {
    if (open)
        closeEdit();
    const editor = new PortEditor(entry.port);
    const current = { entry, editor };
    current.view = new EditorView(cockpit, entry, editor, labels, {
        save: () => save(current),
        cancel: () => closeEdit(),
        dismiss: () => closeEdit(),
        overwrite: () => {
            editor.overwrite();
            save(current);
        },
        takeStored: () => {
            editor.takeStored();
            current.view.draw();
            current.view.focus(editor.keys[0]);
        },
    });
    entry.editor = editor;
    open = current;
    current.view.open();
}

function closeEdit() {
    const { entry } = open;
    open.view.close();
    open = null;
    entry.editor = null;
    if (entry.gone) {
        view.prune(entry);
        byId("title").focus();
        return;
    }
    view.updateRow(entry, entry.port);
    entry.tools[0].focus();
}

async function save(current) {
    const { editor } = current;
    if (current.view.reading || editor.sending)
        return;
    // What is stored now, so that nothing changed elsewhere is saved over unseen.
    current.view.reading = true;
    current.view.draw();
    try {
        await relist();
    } finally {
        current.view.reading = false;
    }
    if (open !== current)
        return;
    const decision = editor.save();
    current.view.draw();
    if (decision.action === "close")
        closeEdit();
    else if (decision.action === "invalid")
        current.view.focus(decision.key);
    if (decision.action !== "send")
        return;

    const name = current.entry.port.node || current.entry.port.item;
    let outcome = null;
    try {
        // A dry run first: the plug-in judges the values before anything is stored or applied.
        await client.set(editor.item, decision.assignments, { dryRun: true });
        const doc = await client.set(editor.item, decision.assignments);
        editor.saved(doc.ports[0].changes);
        outcome = { saved: true };
    } catch (failure) {
        editor.failed(failure.error);
        outcome = { saved: false, message: failure.error.message };
    }
    if (open === current && outcome.saved && !editor.removed) {
        closeEdit();
        reread({ check: true });
    } else if (open === current) {
        current.view.draw();
    } else if (outcome.saved) {
        view.showResult("success", cockpit.format(_("The new settings of $0 were saved"), name));
    } else {
        view.showResult("danger", cockpit.format(_("The new settings of $0 were not saved"), name), [outcome.message]);
    }
}

// ---- applying stored settings ----

function applyStored(items, what) {
    const done = (doc, error) => {
        const ports = doc && doc.ports ? doc.ports : [];
        const failedPorts = ports.filter(port => !port.applied);
        if (!doc) {
            view.showResult("danger", cockpit.format(_("Stored settings could not be applied to $0"), what),
                            [error.message]);
        } else if (failedPorts.length) {
            view.showResult("danger", cockpit.format(_("Stored settings could not be applied to $0 of $1 ports"),
                                                     failedPorts.length, ports.length),
                            failedPorts.map(port => (port.node || port.item) + ": " +
                                            (port.report || cockpit.format(_("exit status $0"), port.status))));
        } else {
            view.showResult("success", cockpit.format(cockpit.ngettext("Stored settings applied to $0 port",
                                                                       "Stored settings applied to $0 ports",
                                                                       ports.length), ports.length));
        }
    };
    client.apply(items).then(doc => done(doc, null), failure => done(failure.doc, failure.error));
}

byId("apply-all").addEventListener("click", () => applyStored(null, _("all ports")));

permission.addEventListener("changed", () => {
    if (view.readOnly !== (permission.allowed === false))
        relist();
});
// A file edited by hand, wrongly, is no change to any port and so unheard: the user who comes
// back from editing it sees what check finds.
cockpit.addEventListener("visibilitychange", () => {
    if (!cockpit.hidden)
        reread({ check: true });
});
follow(client, { reread, stopped: (error, retryMs) => view.showStopped(error, retryMs) });
