// Small DOM helpers that change an element only where it differs from what it should show.
// Text always goes in as textContent or a form value, never as markup.

import { matchKeys } from './model.js';

export function setText(element, value) {
    if (element.textContent !== value) element.textContent = value;
}

// A field the teacher may be typing in keeps what is typed until it is committed.
export function setValue(field, value) {
    if (field.value !== value && field.ownerDocument.activeElement !== field) field.value = value;
}

export function setClass(element, name, on) {
    if (element.classList.contains(name) !== on) element.classList.toggle(name, on);
}

export function setHidden(element, hidden) {
    if (element.hidden !== hidden) element.hidden = hidden;
}

export function setAttribute(element, name, value) {
    if (element.getAttribute(name) !== value) element.setAttribute(name, value);
}

// Makes the children of parent show items in order: elements are kept by key (their data-id,
// also kept as a property, which is quicker to read),
// created for new items, moved where the order changed and removed when their item is gone.
// update(element, item, position) brings each element up to date.
export function syncChildren(parent, items, keyOf, create, update) {
    const existing = Array.from(parent.children);
    const { matched, unused } = matchKeys(existing.map((el) => el.studioKey), items.map(keyOf));
    for (const index of unused) existing[index].remove();
    let cursor = parent.firstElementChild;
    items.forEach((item, position) => {
        const index = matched[position];
        const element = index >= 0 ? existing[index] : create(item);
        if (index < 0) {
            element.studioKey = keyOf(item);
            element.dataset.id = element.studioKey;
        }
        update(element, item, position);
        if (element === cursor) cursor = cursor.nextElementSibling;
        else parent.insertBefore(element, cursor);
    });
}

// A copy of the template's content root.
export function instantiate(template) {
    return template.content.firstElementChild.cloneNode(true);
}
