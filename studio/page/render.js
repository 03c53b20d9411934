// Renders the plan view (model.js) into the page, changing only what differs from what is shown.

import { KIND_LABELS, fileUrl, nodeTransfer } from './model.js';
import { instantiate, setAttribute, setClass, setHidden, setText, setValue,
         syncChildren } from './dom.js';

// page: { ui: the fixed elements, templates, t: translate(text), progress: Map path -> percent,
// nodesByPath: Map path -> node elements }.
export function renderPlan(page, view) {
    const { ui } = page;
    setHidden(ui.empty, view !== null);
    setHidden(ui.plan, view === null);
    page.nodesByPath = new Map();
    if (view === null) {
        syncChildren(ui.steps, [], (s) => s.id, null, null);
        return;
    }
    setValue(ui.planName, view.name);
    setValue(ui.board, String(view.board));
    setValue(ui.introspection, view.introspection);
    syncChildren(ui.steps, view.steps, (step) => step.id,
                 () => instantiate(page.templates.step),
                 (element, step) => updateStep(page, element, step));
}

function updateStep(page, element, step) {
    setText(element.querySelector('.step-type'), page.t(step.type) || step.type);
    setAttribute(element, 'data-type', step.type);
    setValue(element.querySelector('.step-name'), step.name);
    setClass(element, 'has-tasks', step.hasTasks);
    const nodes = element.querySelector(':scope > .nodes');
    const tasks = element.querySelector(':scope > .tasks');
    syncNodes(page, nodes, step.hasTasks ? [] : step.nodes);
    syncChildren(tasks, step.hasTasks ? step.tasks : [], (task) => task.id,
                 () => instantiate(page.templates.task),
                 (taskElement, task) => updateTask(page, taskElement, task));
}

function updateTask(page, element, task) {
    // A rename sends both texts: the one not edited goes back as stored, not as a field shows it.
    element.studioTask = task;
    setValue(element.querySelector('.task-name'), task.name);
    setValue(element.querySelector('.task-desc'), task.desc);
    syncNodes(page, element.querySelector(':scope > .nodes'), task.nodes);
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
