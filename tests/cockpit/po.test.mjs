// SPDX-License-Identifier: MIT
import assert from "node:assert/strict";
import { describe, it } from "node:test";

import { catalogueScript, markupMessages, pluralFunction } from "../../cockpit/po.mjs";

// What the script hands to cockpit.locale().
function loaded(script) {
    let data = null;
    new Function("cockpit", script)({ locale: value => { data = value; } });
    return data;
}

describe("the page's catalogue", () => {
    it("is a script that gives cockpit.locale() the messages, the language and the plural rule", () => {
        const messages = {
            "Serial ports": [null, "Serielle Schnittstellen"],
            "Stored settings applied to $0 port": ["Stored settings applied to $0 ports", "auf $0 Schnittstelle", "auf $0 Schnittstellen"],
            "context\u0004Apply": [null, "Anwenden"],
        };
        const data = loaded(catalogueScript({ language: "de", "plural-forms": "nplurals=2; plural=(n != 1);" }, messages));
        const header = data[""];
        delete data[""];
        assert.deepEqual(data, messages);
        assert.deepEqual([header.language, header["language-direction"]], ["de", "ltr"]);
        assert.deepEqual([1, 2, 0].map(header["plural-forms"]), [false, true, true]);
        assert.equal(loaded(catalogueScript({ language: "he" }, {}))[""]["language-direction"], "rtl");
    });

    it("takes a plural rule only as arithmetic on n", () => {
        assert.equal(pluralFunction("nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n != 0 ? 1 : 2);"),
                     "n => ((n%10==1 && n%100!=11 ? 0 : n != 0 ? 1 : 2))");
        assert.equal(pluralFunction(undefined), "n => (n != 1)");
        for (const rule of ["plural=alert(1);", "plural=n || fetch('x');", "plural=this.x", "plural=`n`"])
            assert.throws(() => pluralFunction(rule), /refused plural expression/, rule);
    });

    it("takes the markup's messages from elements marked for translation, as their text", () => {
        const html = '<title translate="yes">Serial ports</title>\n<p>not this</p>\n' +
            '<button id="a"\n        translate="yes">Apply &amp; save</button>';
        assert.deepEqual(markupMessages(html, "index.html"), [
            { id: "Serial ports", where: "index.html:1" },
            { id: "Apply & save", where: "index.html:3" },
        ]);
    });
});
