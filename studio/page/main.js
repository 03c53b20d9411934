// The editor page: the three functions the plan controller calls, the one by which the host
// sends a document that differs from the last in a few values, and the channel to the host.

import { mergeProgress, patchedView, planView, replaceAt } from './model.js';
import { renderPlan, showTransfersOf } from './render.js';
import { fillStepTypes, wireActions } from './actions.js';
import { setText } from './dom.js';

const byId = (id) => document.getElementById(id);

const page = {
    ui: {
        empty: byId('empty-plan'),
        plan: byId('plan'),
        steps: byId('steps'),
        planName: byId('plan-name'),
        board: byId('plan-board'),
        introspection: byId('introspection'),
        saveStatus: byId('save-status'),
        newStepType: byId('new-step-type'),
        newStepName: byId('new-step-name'),
        webNode: {
            dialog: byId('web-node-dialog'),
            form: byId('web-node-form'),
            kind: byId('web-node-kind'),
            name: byId('web-node-name'),
            id: byId('web-node-id'),
            idLabel: byId('web-node-id-label'),
            extra: byId('web-node-extra'),
            extraLabel: byId('web-node-extra-label'),
            extraRow: byId('web-node-extra-row'),
            target: null,
        },
    },
    templates: { step: byId('step-template'), task: byId('task-template'),
                 node: byId('node-template') },
    texts: {},
    t: (key) => (Object.prototype.hasOwnProperty.call(page.texts, key) ? page.texts[key] : key),
    progress: new Map(),
    nodesByPath: new Map(),
    doc: undefined,
    view: null,
    guid: '',
    bridge: null,
};

// Puts the page's labels into the host's language: elements name their text in data-text,
// their tooltip in data-title and their placeholder in data-placeholder.
function translate(root) {
    for (const element of root.querySelectorAll('[data-text]')) element.textContent = page.t(element.dataset.text);
    for (const element of root.querySelectorAll('[data-title]')) element.title = page.t(element.dataset.title);
    for (const element of root.querySelectorAll('[data-placeholder]'))
        element.placeholder = page.t(element.dataset.placeholder);
}

// changedSteps: the indices of the only steps whose views differ from those shown, or null.
function show(doc, view = planView(doc), changedSteps = null) {
    page.doc = doc;
    page.view = view;
    const guid = view ? view.guid : '';
    // Progress belongs to one plan's files.
    if (guid !== page.guid) {
        page.progress.clear();
        page.guid = guid;
        setText(page.ui.saveStatus, '');
        changedSteps = null;
    }
    renderPlan(page, view, changedSteps);
}

// Tells the host that the page shows what it was last sent. Reading the layout first makes the
// report mean "laid out", not only "changed".
function shown() {
    void document.body.offsetHeight;
    if (page.bridge) page.bridge.pageRendered();
}

window.returnJsonToWeb = function (doc) {
    show(doc);
    shown();
};

// The last document with the values at some places replaced, shown as returnJsonToWeb would
// show the whole new document. changes: [path, value] pairs, a path being the member names and
// array indices from the document's root.
window.replaceInPlan = function (changes) {
    if (!changes.every(([path, value]) => replaceAt(page.doc, path, value))) {
        page.bridge.resendDocument();
        return;
    }
    const { view, steps } = patchedView(page.view, page.doc, changes.map(([path]) => path));
    show(page.doc, view, steps);
    shown();
};

window.savePlanStatus = function (status, planId, doc) {
    if (doc !== undefined) show(doc);
    const message = { 0: 'Save failed', 1: 'Saved' }[status];
    setText(page.ui.saveStatus, message ? page.t(message) : '');
    page.ui.saveStatus.classList.toggle('error', status === 0);
    shown();
};

window.multiFileProcess = function (entries) {
    showTransfersOf(page, mergeProgress(page.progress, entries));
    shown();
};

new QWebChannel(qt.webChannelTransport, (channel) => {
    page.bridge = channel.objects.studio;
    page.texts = page.bridge.texts || {};
    document.documentElement.lang = page.bridge.language || 'en';
    translate(document.body);
    for (const template of Object.values(page.templates)) translate(template.content);
    fillStepTypes(page);
    wireActions(page);
    page.bridge.pageReady();
});
