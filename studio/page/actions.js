// What the teacher does in the page, turned into calls of the host's bridge. The page changes
// nothing itself: the host answers every edit with the new document (returnJsonToWeb).

import { KIND_LABELS, STEP_TYPES, WEB_NODE_FIELDS, moveRequest, parentJson,
         webNodeJson } from './model.js';

// How long a delete button waits for its second click.
const DELETE_ARM_MS = 4000;

// The step and task an element lies in: { stepId, taskId } with '' where there is none.
function placeOf(element) {
    const step = element.closest('.step');
    const task = element.closest('.task');
    return { stepId: step ? step.dataset.id : '', taskId: task ? task.dataset.id : '' };
}

function idsOf(list) {
    return Array.from(list.children, (child) => child.dataset.id);
}

// The container that takes files dropped or chosen at element: a task, or a step that holds
// nodes itself; null for a group-inquiry step outside its tasks.
export function fileTarget(element) {
    const task = element.closest('.task');
    const step = element.closest('.step');
    if (!step || (!task && step.classList.contains('has-tasks'))) return null;
    return task || step;
}

function moveNode(bridge, node, delta) {
    const request = moveRequest(idsOf(node.parentElement), node.dataset.id, delta);
    const { stepId, taskId } = placeOf(node);
    if (request) bridge.orderStepOrTask(request.movingId, request.beforeId,
                                        parentJson(stepId, taskId), 1);
}

function moveStep(bridge, step, delta) {
    const request = moveRequest(idsOf(step.parentElement), step.dataset.id, delta);
    if (request) bridge.orderStepOrTask(request.movingId, request.beforeId, '{}', 2);
}

// A delete button acts on its second click; the first one asks.
function confirmed(page, button) {
    if (button.classList.contains('armed')) return true;
    button.classList.add('armed');
    button.textContent = page.t('Delete?');
    setTimeout(() => {
        button.classList.remove('armed');
        button.textContent = page.t('Delete');
    }, DELETE_ARM_MS);
    return false;
}

function addTask(page, step) {
    const count = step.querySelector(':scope > .tasks').children.length;
    page.bridge.addStepOrTask(step.dataset.id, page.t('Task sheet %1').replace('%1', count + 1), '');
}

function addStep(page) {
    const type = page.ui.newStepType.value;
    const name = page.ui.newStepName.value.trim() || page.t(type);
    page.bridge.addStepOrTask('', name, type);
    page.ui.newStepName.value = '';
}

const CLICKS = {
    'add-step': (page) => addStep(page),
    'add-task': (page, button) => addTask(page, button.closest('.step')),
    'add-files': (page, button) => {
        const target = fileTarget(button);
        const { stepId, taskId } = placeOf(target);
        page.bridge.chooseFiles(stepId, taskId);
    },
    'add-web-node': (page, button) => openWebNodeDialog(page, fileTarget(button)),
    'step-up': (page, button) => moveStep(page.bridge, button.closest('.step'), -1),
    'step-down': (page, button) => moveStep(page.bridge, button.closest('.step'), 1),
    'node-up': (page, button) => moveNode(page.bridge, button.closest('.node'), -1),
    'node-down': (page, button) => moveNode(page.bridge, button.closest('.node'), 1),
    'delete-node': (page, button) => page.bridge.deleteStepOrTask(button.closest('.node').dataset.id, 1),
    'delete-task': (page, button) => {
        if (confirmed(page, button)) page.bridge.deleteStepOrTask(button.closest('.task').dataset.id, 2);
    },
    'delete-step': (page, button) => {
        if (confirmed(page, button)) page.bridge.deleteStepOrTask(button.closest('.step').dataset.id, 3);
    },
};

function renameTask(page, field) {
    const task = field.closest('.task');
    const { stepId, taskId } = placeOf(task);
    const stored = task.studioTask;
    const editsName = field.classList.contains('task-name');
    page.bridge.renameStepOrTask(stepId, taskId, editsName ? field.value : stored.name,
                                 editsName ? stored.desc : field.value);
}

const CHANGES = {
    'plan-name': (page, field) => page.bridge.renamePlan(field.value),
    'board': (page, field) => {
        const board = Number.parseInt(field.value, 10);
        if (Number.isInteger(board)) page.bridge.setBoard(board);
    },
    'introspection': (page, field) => page.bridge.setIntrospection(field.value),
    'step-name': (page, field) => page.bridge.renameStepOrTask(field.closest('.step').dataset.id, '-1',
                                                              field.value, ''),
    'task-name': renameTask,
    'task-desc': renameTask,
    'web-node-kind': (page) => labelWebNodeFields(page),
};

// The web-node form: the fields it shows depend on the kind chosen.
const WEB_NODE_LABELS = {
    file: ['Cloud path', 'File type'],
    question: ['Question id', 'Question type'],
    paper: ['Paper id', ''],
    subjectApp: ['App bundle id', 'App class name'],
    ebook: ['Cloud path', 'Page'],
};

function labelWebNodeFields(page) {
    const { webNode } = page.ui;
    const [idLabel, extraLabel] = WEB_NODE_LABELS[webNode.kind.value];
    webNode.idLabel.textContent = page.t(idLabel);
    webNode.extraLabel.textContent = extraLabel ? page.t(extraLabel) : '';
    webNode.extraRow.hidden = extraLabel === '';
}

function openWebNodeDialog(page, target) {
    const { webNode } = page.ui;
    webNode.target = placeOf(target);
    webNode.form.reset();
    labelWebNodeFields(page);
    webNode.dialog.showModal();
}

function submitWebNode(page) {
    const { webNode } = page.ui;
    const json = webNodeJson(webNode.kind.value, webNode.name.value, webNode.id.value,
                             webNode.extra.value);
    if (json === null) return false;
    page.bridge.appendNode(webNode.target.stepId, webNode.target.taskId, json);
    return true;
}

// Files dragged over the page are taken by the task or step under the pointer; the host keeps
// their paths (the page never sees them) and copies them when the page names the target.
function wireDrops(page) {
    let highlighted = null;
    const highlight = (element) => {
        if (highlighted === element) return;
        if (highlighted) highlighted.classList.remove('drop-target');
        highlighted = element;
        if (element) element.classList.add('drop-target');
    };
    const carriesFiles = (event) => Array.from(event.dataTransfer.types).includes('Files');
    document.addEventListener('dragover', (event) => {
        if (!carriesFiles(event)) return;
        event.preventDefault();
        const target = fileTarget(event.target);
        event.dataTransfer.dropEffect = target ? 'copy' : 'none';
        highlight(target);
    });
    document.addEventListener('dragleave', (event) => {
        if (event.relatedTarget === null) highlight(null);
    });
    document.addEventListener('drop', (event) => {
        event.preventDefault();
        highlight(null);
        const target = fileTarget(event.target);
        if (target && carriesFiles(event)) {
            const { stepId, taskId } = placeOf(target);
            page.bridge.dropFiles(stepId, taskId);
        }
    });
}

export function fillStepTypes(page) {
    for (const type of STEP_TYPES) {
        const option = document.createElement('option');
        option.value = type;
        option.textContent = page.t(type);
        page.ui.newStepType.append(option);
    }
    page.ui.newStepType.value = STEP_TYPES[1];
    for (const kind of Object.keys(WEB_NODE_FIELDS)) {
        const option = document.createElement('option');
        option.value = kind;
        option.textContent = page.t(KIND_LABELS[kind]);
        page.ui.webNode.kind.append(option);
    }
}

export function wireActions(page) {
    document.addEventListener('click', (event) => {
        const button = event.target.closest('[data-action]');
        if (button && CLICKS[button.dataset.action]) CLICKS[button.dataset.action](page, button);
    });
    document.addEventListener('change', (event) => {
        const field = event.target.closest('[data-field]');
        if (field && CHANGES[field.dataset.field]) CHANGES[field.dataset.field](page, field);
    });
    page.ui.newStepName.addEventListener('keydown', (event) => {
        if (event.key === 'Enter') addStep(page);
    });
    page.ui.webNode.form.addEventListener('submit', (event) => {
        if (event.submitter && event.submitter.value === 'cancel') return;
        if (!submitWebNode(page)) event.preventDefault();
    });
    wireDrops(page);
}
