// What the page shows, computed from the plan document alone. Nothing here touches the DOM, so
// node runs these functions as they are.

// The step type whose content lives in tasks; every other type holds nodes itself.
export const GROUP_INQUIRY = '分组探究';

// The step types a teacher may add, as the document names them.
export const STEP_TYPES = ['情景导入', '内容精讲', '同步习题', '随堂测试', '分组竞赛', '分组探究', '自定义'];

// The label of each node kind, in the page's texts.
export const KIND_LABELS = { file: 'File', question: 'Question', paper: 'Paper',
                             subjectApp: 'Subject app', ebook: 'E-book page' };

const IMAGE_TYPES = new Set(['png', 'jpg', 'jpeg', 'gif', 'bmp', 'webp', 'svg']);

// A document value as display text: strings as they are, other scalars written out, anything
// else (objects, arrays, missing) empty.
export function text(value) {
    if (typeof value === 'string') return value;
    if (typeof value === 'number' || typeof value === 'boolean') return String(value);
    return '';
}

function list(value) {
    return Array.isArray(value) ? value : [];
}

function object(value) {
    return value !== null && typeof value === 'object' && !Array.isArray(value) ? value : {};
}

// The local file a node can show as its picture: its thumbnail, or the file itself when it is
// an image. Empty when there is none.
export function thumbnailPath(kind, content) {
    const thumb = text(content.localThumb);
    if (thumb && kind !== 'question') return thumb;
    if (kind === 'file' && IMAGE_TYPES.has(text(content.fileType).toLowerCase()))
        return text(content.localPath);
    return '';
}

// The plan-relative paths whose transfer progress belongs to a node, main file first.
export function progressPaths(kind, content) {
    const paths = [];
    for (const key of kind === 'subjectApp' ? ['localThumb'] : ['localPath', 'localThumb']) {
        const path = text(content[key]);
        if (path) paths.push(path);
    }
    return paths;
}

export function nodeView(node) {
    const source = object(node);
    const kind = text(source.nodeType);
    const content = object(source.nodeContent);
    const nameKey = { file: 'fileName', question: 'chName', paper: 'paperName',
                      subjectApp: 'appName', ebook: 'pageName' }[kind];
    return {
        id: text(source.nodeId),
        kind,
        name: nameKey ? text(content[nameKey]) : '',
        thumb: thumbnailPath(kind, content),
        version: text(content.fileMD5) || text(content.fileSize),
        paths: progressPaths(kind, content),
    };
}

function taskView(task) {
    const source = object(task);
    return {
        id: text(source.taskId),
        name: text(source.taskName),
        desc: text(source.taskDesc),
        nodes: list(source.nodes).map(nodeView),
    };
}

function stepView(step) {
    const source = object(step);
    const attr = object(source.attr);
    const type = text(attr.stepType);
    return {
        id: text(attr.stepId),
        name: text(attr.stepName),
        type,
        hasTasks: type === GROUP_INQUIRY,
        nodes: list(source.nodes).map(nodeView),
        tasks: list(source.tasks).map(taskView),
    };
}

// The plan as the page shows it; null for a missing document (no plan open).
export function planView(doc) {
    if (doc === null || typeof doc !== 'object') return null;
    const description = object(doc.description);
    return {
        guid: text(description.GUID),
        name: text(description.name),
        introspection: text(description.introspection),
        board: typeof description.board === 'number' ? description.board : 0,
        steps: list(doc.steps).map(stepView),
    };
}

// Replaces the value at path (member names and array indices) in doc with value. False, with
// doc unchanged, when doc has no value at that place.
export function replaceAt(doc, path, value) {
    if (!Array.isArray(path) || path.length === 0) return false;
    let container = doc;
    for (let level = 0; level < path.length; ++level) {
        const key = path[level];
        const has = Array.isArray(container)
            ? Number.isInteger(key) && key >= 0 && key < container.length
            : container !== null && typeof container === 'object' && typeof key === 'string' &&
              Object.prototype.hasOwnProperty.call(container, key);
        if (!has) return false;
        if (level === path.length - 1) container[key] = value;
        else container = container[key];
    }
    return true;
}

// The view of doc after the values at paths were replaced, from view, the one before: the
// steps no path lies inside keep their views. Returns it with the indices of the steps whose
// views were made again, or null when any part of the view may have changed.
export function patchedView(view, doc, paths) {
    const steps = doc.steps;
    const changed = new Set();
    if (view === null) return { view: planView(doc), steps: null };
    for (const path of paths) {
        if (path[0] === 'description') continue;
        const index = path[0] === 'steps' && path.length >= 2 ? path[1] : -1;
        if (!Number.isInteger(index) || index < 0 || !Array.isArray(steps) ||
            steps.length !== view.steps.length || index >= steps.length)
            return { view: planView(doc), steps: null };
        changed.add(index);
    }
    const stepViews = view.steps.slice();
    for (const index of changed) stepViews[index] = stepView(steps[index]);
    return { view: { ...planView({ description: doc.description }), steps: stepViews },
             steps: changed };
}

// Records the progress entries of a multiFileProcess call in progress (a Map from path to
// percent). Returns the paths that changed.
export function mergeProgress(progress, entries) {
    const changed = [];
    for (const entry of list(entries)) {
        const source = object(entry);
        const path = text(source.tempPath);
        const percent = Number(source.percent);
        if (!path || !Number.isFinite(percent)) continue;
        if (progress.get(path) !== percent) {
            progress.set(path, percent);
            changed.push(path);
        }
    }
    return changed;
}

// How a node's transfer stands: failed when any of its files failed, else the percent of its
// main file while it moves (0 to 99); null when nothing is under way.
export function nodeTransfer(paths, progress) {
    let percent = null;
    for (const path of paths) {
        const value = progress.get(path);
        if (value === undefined) continue;
        if (value < 0) return { failed: true, percent: null };
        if (percent === null && value < 100) percent = value;
    }
    return { failed: false, percent };
}

// The orderStepOrTask arguments that move id one place up (delta -1) or down (+1) among ids;
// null at either end. Moving down is moving the next record before this one.
export function moveRequest(ids, id, delta) {
    const index = ids.indexOf(id);
    if (index < 0) return null;
    if (delta < 0)
        return index > 0 ? { movingId: id, beforeId: ids[index - 1] } : null;
    return index + 1 < ids.length ? { movingId: ids[index + 1], beforeId: id } : null;
}

// The parent description orderStepOrTask takes for nodes: a task, or the step itself ("-1").
export function parentJson(stepId, taskId) {
    return JSON.stringify({ stepId, taskId: taskId || '-1' });
}

// Which content keys the web-node form fills for each kind: the name key, the identifier key
// and one further key ('' when the kind has none).
export const WEB_NODE_FIELDS = {
    file: { name: 'fileName', id: 'cloudPath', extra: 'fileType' },
    question: { name: 'chName', id: 'questionId', extra: 'questionType' },
    paper: { name: 'paperName', id: 'paperId', extra: '' },
    subjectApp: { name: 'appName', id: 'appBundleId', extra: 'appClassName' },
    ebook: { name: 'pageName', id: 'cloudPath', extra: 'page' },
};

// The node JSON text that appendNode takes for a node the teacher describes; null for an
// unknown kind. An e-book page number must be a whole number.
export function webNodeJson(kind, name, id, extra) {
    const fields = WEB_NODE_FIELDS[kind];
    if (!fields) return null;
    const content = { [fields.name]: name, [fields.id]: id };
    if (fields.extra === 'page') {
        const page = Number.parseInt(extra, 10);
        if (!Number.isInteger(page)) return null;
        content.page = page;
    } else if (fields.extra) {
        content[fields.extra] = extra;
    }
    if (kind === 'file') content.fileCloudSource = 'resource';
    return JSON.stringify({ nodeType: kind, nodeContent: content });
}

// The address under which the host serves a plan file: each path segment encoded, so that no
// character of a document can change what the address means. version changes the address when
// the file changes.
export function fileUrl(path, version) {
    const encoded = path.split('/').map(encodeURIComponent).join('/');
    return 'yrplan-file:' + encoded + (version ? '?v=' + encodeURIComponent(version) : '');
}

// The element keys of a list after a render: for each wanted key, an element that has it and
// was not taken yet (duplicates in a document each get their own element). Returns, for each
// wanted key in order, the index into existing or -1 for a new element, and the indices of the
// existing elements left over.
export function matchKeys(existing, wanted) {
    // Most renders change one record: every other list keeps its keys as they were.
    if (existing.length === wanted.length && existing.every((key, index) => key === wanted[index]))
        return { matched: wanted.map((key, index) => index), unused: [] };
    const free = new Map();
    existing.forEach((key, index) => {
        if (!free.has(key)) free.set(key, []);
        free.get(key).push(index);
    });
    const matched = wanted.map((key) => {
        const indices = free.get(key);
        return indices && indices.length ? indices.shift() : -1;
    });
    const unused = [];
    for (const indices of free.values()) unused.push(...indices);
    return { matched, unused: unused.sort((a, b) => a - b) };
}
