// SPDX-License-Identifier: MIT
// Follows the theme chosen in the shell ("shell:style": auto, light or dark) as Cockpit's own
// pages do, before the page is drawn.
"use strict";

(function () {
    const systemDark = window.matchMedia("(prefers-color-scheme: dark)");

    function follow(style) {
        let chosen = style;
        try {
            chosen = chosen || window.localStorage.getItem("shell:style");
        } catch {
            // storage may be refused; the system's preference still applies
        }
        chosen = chosen || "auto";
        const dark = chosen === "dark" || (chosen === "auto" && systemDark.matches);
        document.documentElement.classList.toggle("pf-theme-dark", dark);
    }

    window.addEventListener("storage", event => {
        if (event.key === "shell:style")
            follow();
    });
    // A storage event reaches only other documents: the shell tells its frames with this one.
    window.addEventListener("cockpit-style", event => follow(event.detail && event.detail.style));
    systemDark.addEventListener("change", () => follow());
    follow();
}());
