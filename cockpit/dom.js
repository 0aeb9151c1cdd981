// SPDX-License-Identifier: MIT
// Small DOM helpers. Text from the machine reaches the page only through text nodes, never
// as markup: a slot path or a serial number may hold any byte.

export function el(tag, className, ...children) {
    const node = document.createElement(tag);
    if (className)
        node.className = className;
    node.append(...children.filter(child => child !== null && child !== undefined));
    return node;
}

export function button(text, className, onClick, label) {
    const node = el("button", "pf-c-button " + className, text);
    node.type = "button";
    if (label)
        node.setAttribute("aria-label", label);
    node.addEventListener("click", onClick);
    return node;
}

// Returns whether the text changed: a node that is rewritten is announced again.
export function setText(node, text) {
    if (node.textContent === text)
        return false;
    node.textContent = text;
    return true;
}

let ids = 0;

export function uniqueId(prefix) {
    return prefix + "-" + (++ids);
}

// variant: info, success, warning or danger; close: a button for the corner; actions: buttons
// below the description.
export function alert(variant, title, lines, { close = null, actions = [] } = {}) {
    const node = el("div", "pf-c-alert pf-m-inline pf-m-" + variant,
                    el("p", "pf-c-alert__title", title));
    node.setAttribute("role", variant === "danger" ? "alert" : "status");
    if (lines && lines.length) {
        node.append(el("div", "pf-c-alert__description",
                       el("ul", "pf-c-list pf-m-plain", ...lines.map(line => el("li", null, line)))));
    }
    if (close)
        node.append(el("div", "pf-c-alert__action", close));
    if (actions.length)
        node.append(el("div", "pf-c-alert__action-group", ...actions));
    return node;
}

export function helperText(variant, text, id) {
    const node = el("div", "pf-c-helper-text",
                    el("div", "pf-c-helper-text__item" + (variant ? " pf-m-" + variant : ""),
                       el("span", "pf-c-helper-text__item-text", text)));
    if (id)
        node.id = id;
    return node;
}
