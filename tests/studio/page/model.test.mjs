// The editor page's pure functions: what it shows of a document, and what it asks of the host.
import { test } from 'node:test';
import assert from 'node:assert/strict';

import { fileUrl, matchKeys, mergeProgress, moveRequest, nodeTransfer, nodeView, parentJson,
         patchedView, planView, replaceAt, webNodeJson } from '../../../studio/page/model.js';

test('a document of the wrong shape shows as text, never as something else', () => {
    const view = planView({
        description: { name: 42, introspection: { html: '<b>' }, board: '7', GUID: null },
        steps: [{ attr: { stepId: 12, stepName: ['x'], stepType: '分组探究' },
                  tasks: [{ taskId: 't', taskName: '</script>', nodes: 'none' }] },
                'not a step'],
    });
    assert.equal(view.name, '42');
    assert.equal(view.introspection, '');
    assert.equal(view.board, 0);
    assert.equal(view.steps[0].id, '12');
    assert.equal(view.steps[0].name, '');
    assert.equal(view.steps[0].hasTasks, true);
    assert.deepEqual(view.steps[0].tasks[0].nodes, []);
    assert.equal(view.steps[0].tasks[0].name, '</script>');
    assert.equal(view.steps[1].id, '');
    assert.equal(planView(undefined), null);
});

test('each kind of node shows its own name and picture', () => {
    const cases = [
        [{ nodeType: 'file', nodeContent: { fileName: 'a.PNG', fileType: 'PNG', localPath: '/s/a.PNG' } },
         'a.PNG', '/s/a.PNG', ['/s/a.PNG']],
        [{ nodeType: 'file', nodeContent: { fileName: 'v.mp4', fileType: 'mp4', localPath: '/s/v.mp4',
                                           localThumb: '/s/v.mp4.thumb/v.png' } },
         'v.mp4', '/s/v.mp4.thumb/v.png', ['/s/v.mp4', '/s/v.mp4.thumb/v.png']],
        [{ nodeType: 'file', nodeContent: { fileName: 'd.docx', fileType: 'docx', localPath: '/s/d.docx' } },
         'd.docx', '', ['/s/d.docx']],
        [{ nodeType: 'question', nodeContent: { chName: 'q', localPath: '/s/1_2.json' } }, 'q', '', ['/s/1_2.json']],
        [{ nodeType: 'subjectApp', nodeContent: { appName: 'app', localThumb: '/s/app' } }, 'app', '/s/app', ['/s/app']],
        [{ nodeType: 'paper', nodeContent: { paperName: 'p' } }, 'p', '', []],
        [{ nodeType: 'video', nodeContent: { fileName: 'x' } }, '', '', []],
    ];
    for (const [node, name, thumb, paths] of cases) {
        const view = nodeView(node);
        assert.equal(view.name, name, JSON.stringify(node));
        assert.equal(view.thumb, thumb, JSON.stringify(node));
        assert.deepEqual(view.paths, paths, JSON.stringify(node));
    }
});

test('progress entries are kept by path and a failure outweighs the rest', () => {
    const progress = new Map();
    assert.deepEqual(mergeProgress(progress, [{ tempPath: '/s/a', percent: 40 },
                                              { tempPath: '/s/t', percent: 100 },
                                              { tempPath: '', percent: 5 },
                                              { tempPath: '/s/x', percent: 'many' }]),
                     ['/s/a', '/s/t']);
    assert.deepEqual(mergeProgress(progress, [{ tempPath: '/s/a', percent: 40 }]), []);
    assert.deepEqual(nodeTransfer(['/s/a', '/s/t'], progress), { failed: false, percent: 40 });
    assert.deepEqual(nodeTransfer(['/s/t'], progress), { failed: false, percent: null });
    mergeProgress(progress, [{ tempPath: '/s/t', percent: -1 }]);
    assert.deepEqual(nodeTransfer(['/s/a', '/s/t'], progress), { failed: true, percent: null });
    assert.deepEqual(nodeTransfer(['/s/unknown'], progress), { failed: false, percent: null });
});

test('a move is the record and the one it goes before; none past either end', () => {
    const ids = ['a', 'b', 'c'];
    assert.deepEqual(moveRequest(ids, 'b', -1), { movingId: 'b', beforeId: 'a' });
    assert.deepEqual(moveRequest(ids, 'b', 1), { movingId: 'c', beforeId: 'b' });
    assert.equal(moveRequest(ids, 'a', -1), null);
    assert.equal(moveRequest(ids, 'c', 1), null);
    assert.equal(moveRequest(ids, 'z', 1), null);
    assert.deepEqual(JSON.parse(parentJson('s', '')), { stepId: 's', taskId: '-1' });
});

test('web nodes carry the teacher\'s text as data', () => {
    assert.deepEqual(JSON.parse(webNodeJson('paper', '"x"\\</script>', 'p-1', '')),
                     { nodeType: 'paper', nodeContent: { paperName: '"x"\\</script>', paperId: 'p-1' } });
    assert.deepEqual(JSON.parse(webNodeJson('ebook', 'p', 'b/p3.j', '3')).nodeContent.page, 3);
    assert.equal(webNodeJson('ebook', 'p', 'b/p3.j', 'three'), null);
    assert.equal(webNodeJson('video', 'v', 'v', ''), null);
});

test('a file address cannot be bent by the characters of a path', () => {
    assert.equal(fileUrl('/s/a b#?%.png', 'ab'), 'yrplan-file:/s/a%20b%23%3F%25.png?v=ab');
    assert.equal(fileUrl('/s/半.png', ''), 'yrplan-file:/s/%E5%8D%8A.png');
});

test('keys match existing elements once each, duplicates included', () => {
    assert.deepEqual(matchKeys(['a', 'b', 'c'], ['c', 'a', 'd']), { matched: [2, 0, -1], unused: [1] });
    assert.deepEqual(matchKeys(['a', 'a'], ['a', 'a', 'a']), { matched: [0, 1, -1], unused: [] });
    assert.deepEqual(matchKeys(['a', 'a', 'b'], ['a']), { matched: [0], unused: [1, 2] });
});

test('a value is replaced only where the document has one', () => {
    const doc = { description: { name: 'a' }, steps: [{ attr: { stepName: 's' } }] };
    const cases = [
        [['steps', 0, 'attr', 'stepName'], true],
        [['description', 'name'], true],
        [['steps', 1, 'attr'], false],
        [['steps', '0', 'attr'], false],
        [['description', 'missing'], false],
        [['description', 'toString'], false],
        [['description', 'name', 'length'], false],
        [[], false],
    ];
    for (const [path, replaced] of cases) {
        const copy = structuredClone(doc);
        assert.equal(replaceAt(copy, path, 'x'), replaced, JSON.stringify(path));
        if (!replaced) assert.deepEqual(copy, doc);
    }
});

test('a patched view makes again only the steps a change lies in', () => {
    const step = (id) => ({ attr: { stepId: id, stepName: id }, nodes: [] });
    const doc = { description: { name: 'p' }, steps: [step('a'), step('b'), step('c')] };
    const view = planView(doc);
    doc.steps[1].attr.stepName = 'B';
    doc.description.name = 'P';
    const patched = patchedView(view, doc, [['description', 'name'], ['steps', 1, 'attr', 'stepName']]);
    assert.deepEqual(patched.view, planView(doc));
    assert.deepEqual([...patched.steps], [1]);
    assert.equal(patched.view.steps[0], view.steps[0]);
    assert.equal(patchedView(view, doc, [['steps']]).steps, null);
    doc.steps.push(step('d'));
    assert.equal(patchedView(view, doc, [['steps', 3]]).steps, null);
    assert.equal(patchedView(null, doc, [['description']]).steps, null);
});
