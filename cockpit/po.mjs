// SPDX-License-Identifier: MIT
// Translation tools of the page, run by the build:
//   node po.mjs template index.html manifest.json   the strings of the markup and the menu
//                                                    entry as a gettext template, on stdout
//   node po.mjs catalogue LANG.mo manifest.json DIR  DIR/po.LANG.js, the page's catalogue as
//                                                    cockpit.locale() takes it, and
//                                                    DIR/po.manifest.LANG.js, the menu entry's,
//                                                    which the shell loads
// The script's own strings are xgettext's business; msgfmt compiles and checks the .po files.

import { readFileSync, writeFileSync } from "node:fs";
import { basename, join } from "node:path";
import { pathToFileURL } from "node:url";

// ---- the template ----

function poString(text) {
    const escaped = text.replace(/\\/g, "\\\\").replace(/"/g, '\\"').replace(/\n/g, "\\n").replace(/\t/g, "\\t");
    return '"' + escaped + '"';
}

function lineOf(text, index) {
    return text.slice(0, index).split("\n").length;
}

// cockpit.translate() takes an element's textContent as the message: markup inside such an
// element is not supported, and entities other than these few are not expected.
function htmlText(text) {
    return text.replace(/&lt;/g, "<").replace(/&gt;/g, ">").replace(/&quot;/g, '"').replace(/&amp;/g, "&");
}

export function markupMessages(html, file) {
    const messages = [];
    const element = /<([a-z0-9]+)\b([^>]*)>([^<]*)<\/\1>/g;
    for (const match of html.matchAll(element)) {
        if (/\btranslate="yes"/.test(match[2]))
            messages.push({ id: htmlText(match[3]), where: file + ":" + lineOf(html, match.index) });
    }
    return messages;
}

export function manifestMessages(manifest) {
    const messages = [];
    for (const entry of Object.values(manifest.menu || {})) {
        messages.push(entry.label);
        for (const keywords of entry.keywords || [])
            messages.push(...keywords.matches);
    }
    return messages;
}

function template(htmlPath, manifestPath) {
    const html = readFileSync(htmlPath, "utf8");
    const manifest = JSON.parse(readFileSync(manifestPath, "utf8"));
    const entries = new Map();
    const add = (id, where) => {
        if (!entries.has(id))
            entries.set(id, []);
        entries.get(id).push(where);
    };
    for (const { id, where } of markupMessages(html, basename(htmlPath)))
        add(id, where);
    for (const id of manifestMessages(manifest))
        add(id, basename(manifestPath));
    let out = "# Template of the Serial ports page; made by the build target cockpit_pot.\n" +
        "# SPDX-License-Identifier: MIT\n" +
        'msgid ""\nmsgstr ""\n"Project-Id-Version: cockpit-qx561x\\n"\n"MIME-Version: 1.0\\n"\n' +
        '"Content-Type: text/plain; charset=UTF-8\\n"\n"Content-Transfer-Encoding: 8bit\\n"\n';
    for (const [id, places] of entries)
        out += "\n#: " + places.join(" ") + "\nmsgid " + poString(id) + '\nmsgstr ""\n';
    process.stdout.write(out);
}

// ---- the catalogue ----

// The messages of a compiled catalogue (GNU .mo): key (context \u0004 id) -> [plural id or
// null, translation...]; the header's fields under "".
export function readMo(buffer) {
    const magic = buffer.readUInt32LE(0);
    const read = magic === 0x950412de ? (at => buffer.readUInt32LE(at)) : (at => buffer.readUInt32BE(at));
    if (magic !== 0x950412de && buffer.readUInt32BE(0) !== 0x950412de)
        throw new Error("not a compiled message catalogue");
    const count = read(8);
    const originals = read(12);
    const translations = read(16);
    const string = (table, index) => {
        const length = read(table + 8 * index);
        const offset = read(table + 8 * index + 4);
        return buffer.toString("utf8", offset, offset + length);
    };
    const messages = {};
    let header = {};
    for (let i = 0; i < count; i++) {
        const [id, plural] = string(originals, i).split("\0");
        const texts = string(translations, i).split("\0");
        if (id === "")
            header = parseHeader(texts[0]);
        else
            messages[id] = [plural === undefined ? null : plural, ...texts];
    }
    return { header, messages };
}

function parseHeader(text) {
    const fields = {};
    for (const line of text.split("\n")) {
        const colon = line.indexOf(":");
        if (colon > 0)
            fields[line.slice(0, colon).trim().toLowerCase()] = line.slice(colon + 1).trim();
    }
    return fields;
}

// The plural expression becomes code in the page: only arithmetic on n gets through.
export function pluralFunction(pluralForms) {
    const match = /plural\s*=\s*([^;]+);?/.exec(pluralForms || "");
    const expression = match ? match[1].trim() : "n != 1";
    if (!/^[n0-9\s()!=<>&|?:%+-]+$/.test(expression))
        throw new Error("refused plural expression: " + expression);
    return "n => (" + expression + ")";
}

const RIGHT_TO_LEFT = ["ar", "fa", "he", "ur"];

export function catalogueScript(header, messages) {
    const language = header.language || "";
    const data = JSON.stringify(messages);
    const meta = '"": {"plural-forms": ' + pluralFunction(header["plural-forms"]) +
        ", language: " + JSON.stringify(language) +
        ', "language-direction": ' + JSON.stringify(RIGHT_TO_LEFT.includes(language.split(/[-_]/)[0]) ? "rtl" : "ltr") + "}";
    const body = data === "{}" ? "{" + meta + "}" : "{" + meta + "," + data.slice(1);
    return "cockpit.locale(" + body + ");\n";
}

function catalogue(moPath, manifestPath, outDir) {
    const { header, messages } = readMo(readFileSync(moPath));
    const language = basename(moPath).replace(/\.mo$/, "");
    writeFileSync(join(outDir, "po." + language + ".js"), catalogueScript(header, messages));
    const menu = {};
    for (const id of manifestMessages(JSON.parse(readFileSync(manifestPath, "utf8")))) {
        if (messages[id])
            menu[id] = messages[id];
    }
    writeFileSync(join(outDir, "po.manifest." + language + ".js"), catalogueScript(header, menu));
}

function main([command, ...args]) {
    if (command === "template" && args.length === 2) {
        template(...args);
    } else if (command === "catalogue" && args.length === 3) {
        catalogue(...args);
    } else {
        process.stderr.write("usage: po.mjs template HTML MANIFEST | catalogue LANG.mo MANIFEST DIR\n");
        process.exit(2);
    }
}

if (import.meta.url === pathToFileURL(process.argv[1]).href)
    main(process.argv.slice(2));
