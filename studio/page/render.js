// Renders the plan view (model.js) into the page, changing only what differs from what is shown.

import { KIND_LABELS, fileUrl, nodeTransfer } from './model.js';
import { instantiate, setAttribute, setClass, setHidden, setText, setValue,
         syncChildren } from './dom.js';

// page: { ui: the fixed elements, templates, t: translate(text), progress: Map path -> percent,
// nodesByPath: Map path -> node elements }. When only the steps whose indices are in the set
// changedSteps differ from what is shown (null: any part may), the nodes of the others are left
// as they are.
export function renderPlan(page, view, changedSteps = null) {
    const { ui } = page;
    setHidden(ui.empty, view !== null);
    setHidden(ui.plan, view === null);
    if (view === null) {
        page.nodesByPath = new Map();
        syncChildren(ui.steps, [], (s) => s.id, null, null);
        return;
    }
    // Nodes hold no fields a teacher types in, and show their transfers as the progress map
    // changes: nodes of a step whose view is unchanged need nothing.
    const someSteps = changedSteps !== null && sameKeys(ui.steps, view.steps);
    if (someSteps) for (const index of changedSteps) forgetNodes(page, ui.steps.children[index]);
    else page.nodesByPath = new Map();
    setValue(ui.planName, view.name);
    setValue(ui.board, String(view.board));
    setValue(ui.introspection, view.introspection);
    syncChildren(ui.steps, view.steps, (step) => step.id,
                 () => instantiate(page.templates.step),
                 (element, step, position) =>
                     updateStep(page, element, step, !someSteps || changedSteps.has(position)));
}

function sameKeys(list, items) {
    const elements = list.children;
    return elements.length === items.length &&
        items.every((item, index) => elements[index].studioKey === item.id);
}

// Takes the node elements inside element out of page.nodesByPath.
function forgetNodes(page, element) {
    for (const node of element.querySelectorAll('.nodes > li')) {
        for (const path of node.studioPaths || []) {
            const shown = (page.nodesByPath.get(path) || []).filter((other) => other !== node);
            if (shown.length) page.nodesByPath.set(path, shown);
            else page.nodesByPath.delete(path);
        }
    }
}

function updateStep(page, element, step, withNodes) {
    setText(element.querySelector('.step-type'), page.t(step.type) || step.type);
    setAttribute(element, 'data-type', step.type);
    setValue(element.querySelector('.step-name'), step.name);
    setClass(element, 'has-tasks', step.hasTasks);
    const nodes = element.querySelector(':scope > .nodes');
    const tasks = element.querySelector(':scope > .tasks');
    if (withNodes) syncNodes(page, nodes, step.hasTasks ? [] : step.nodes);
    syncChildren(tasks, step.hasTasks ? step.tasks : [], (task) => task.id,
                 () => instantiate(page.templates.task),
                 (taskElement, task) => updateTask(page, taskElement, task, withNodes));
}

function updateTask(page, element, task, withNodes) {
    // A rename sends both texts: the one not edited goes back as stored, not as a field shows it.
    element.studioTask = task;
    setValue(element.querySelector('.task-name'), task.name);
    setValue(element.querySelector('.task-desc'), task.desc);
    if (withNodes) syncNodes(page, element.querySelector(':scope > .nodes'), task.nodes);
}

function syncNodes(page, list, nodes) {
    syncChildren(list, nodes, (node) => node.id, () => createNode(page),
                 (element, node) => updateNode(page, element, node));
}

// A node element, with the parts that every render looks at found once.
function createNode(page) {
    const element = instantiate(page.templates.node);
    element.studioParts = {
        name: element.querySelector('.node-name'),
        kind: element.querySelector('.node-kind'),
        image: element.querySelector('.thumb img'),
        bar: element.querySelector('.node-progress'),
        percent: element.querySelector('.node-percent'),
    };
    return element;
}

function updateNode(page, element, node) {
    const signature = [node.kind, node.name, node.thumb, node.version].join('\u0000');
    const parts = element.studioParts;
    if (element.studioSignature !== signature) {
        element.studioSignature = signature;
        setAttribute(element, 'data-kind', node.kind);
        setText(parts.name, node.name);
        setText(parts.kind, page.t(KIND_LABELS[node.kind] || '') || node.kind);
        showThumbnail(parts.image, element, node);
    }
    element.studioPaths = node.paths;
    for (const path of node.paths) {
        const shown = page.nodesByPath.get(path);
        if (shown) shown.push(element);
        else page.nodesByPath.set(path, [element]);
    }
    showTransfer(page, element);
}

function showThumbnail(image, element, node) {
    setClass(element, 'has-thumb', node.thumb !== '');
    if (node.thumb === '') {
        image.removeAttribute('src');
        return;
    }
    image.onerror = () => setClass(element, 'has-thumb', false);
    image.onload = () => setClass(element, 'has-thumb', true);
    setAttribute(image, 'src', fileUrl(node.thumb, node.version));
}

// Shows on a node element how its files' transfers stand.
export function showTransfer(page, element) {
    const { failed, percent } = nodeTransfer(element.studioPaths, page.progress);
    const state = failed ? -1 : percent;
    if (element.studioTransfer === state) return;
    element.studioTransfer = state;
    const { bar, percent: label } = element.studioParts;
    setClass(element, 'failed', failed);
    setHidden(bar, percent === null);
    if (percent !== null) bar.value = percent;
    setText(label, percent !== null ? percent + '%' : failed ? page.t('Failed') : '');
}

// Brings the nodes that show any of paths up to date with the progress map.
export function showTransfersOf(page, paths) {
    const seen = new Set();
    for (const path of paths) {
        for (const element of page.nodesByPath.get(path) || []) {
            if (seen.has(element)) continue;
            seen.add(element);
            showTransfer(page, element);
        }
    }
}
