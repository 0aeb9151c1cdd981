// SPDX-License-Identifier: MIT
// The page's lint rules. The test command copies this file beside the pinned ESLint
// (tests/cockpit) and runs it from the top of the source tree:
//   node build-release/tests/cockpit/npm/node_modules/eslint/bin/eslint.js \
//        --config build-release/tests/cockpit/npm/eslint.config.mjs cockpit tests/cockpit
import js from "@eslint/js";
import globals from "globals";

const style = {
    "no-var": "error",
    "prefer-const": "error",
    eqeqeq: "error",
    "no-unused-vars": ["error", { args: "none" }],
    "no-implicit-globals": "error",
    "no-shadow": "error",
    "no-restricted-properties": ["error",
        { property: "innerHTML", message: "text from the machine goes into text nodes" },
        { property: "outerHTML", message: "text from the machine goes into text nodes" },
        { property: "insertAdjacentHTML", message: "text from the machine goes into text nodes" }],
};

export default [
    js.configs.recommended,
    {
        files: ["cockpit/**/*.js"],
        languageOptions: { ecmaVersion: 2022, sourceType: "module", globals: { ...globals.browser, cockpit: "readonly" } },
        rules: style,
    },
    {
        // A classic script: it runs before the page is drawn, ahead of the modules.
        files: ["cockpit/theme.js"],
        languageOptions: { sourceType: "script" },
    },
    {
        files: ["cockpit/**/*.mjs", "tests/cockpit/**/*.mjs"],
        languageOptions: { ecmaVersion: 2022, sourceType: "module", globals: { ...globals.node } },
        rules: style,
    },
];
