// SPDX-License-Identifier: GPL-3.0-or-later
// The test server must answer media requests as a web server does (ranges, types), or the page
// checks would pass or fail for reasons of their own.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {fillMacros, makeTempFolder, parseRange, removeFolder, serveFolder} from './harness.mjs';

describe('parseRange', () => {
    const CASES = [
        {name: 'no header', header: undefined, want: null},
        {name: 'open end', header: 'bytes=10-', want: {start: 10, end: 99}},
        {name: 'closed', header: 'bytes=0-9', want: {start: 0, end: 9}},
        {name: 'end past the file is cut', header: 'bytes=90-500', want: {start: 90, end: 99}},
        {name: 'suffix', header: 'bytes=-5', want: {start: 95, end: 99}},
        {name: 'suffix longer than the file', header: 'bytes=-500', want: {start: 0, end: 99}},
        {name: 'start past the end', header: 'bytes=100-', want: 'unsatisfiable'},
        {name: 'reversed', header: 'bytes=9-3', want: 'unsatisfiable'},
        {name: 'several ranges are served whole', header: 'bytes=0-1,5-6', want: null},
        {name: 'other unit', header: 'items=0-1', want: null},
    ];
    for (const {name, header, want} of CASES) {
        test(name, () => assert.deepEqual(parseRange(header, 100), want));
    }
});

describe('serveFolder', () => {
    let root;
    let server;
    const bytes = Buffer.from(Array.from({length: 1000}, (_, i) => i % 251));

    before(async () => {
        root = makeTempFolder();
        fs.mkdirSync(path.join(root, 'medias'));
        fs.writeFileSync(path.join(root, 'medias', 'Waiting for you.mp4'), bytes);
        fs.writeFileSync(path.join(root, 'page.htm'), '<p>hi</p>');
        fs.writeFileSync(path.join(path.dirname(root), `${path.basename(root)}-secret.txt`), 'no');
        server = await serveFolder(root);
    });

    after(async () => {
        await server.close();
        fs.rmSync(path.join(path.dirname(root), `${path.basename(root)}-secret.txt`), {force: true});
        removeFolder(root);
    });

    test('a range request gets 206 with exactly those bytes', async () => {
        const response = await fetch(server.url('medias/Waiting for you.mp4'), {headers: {Range: 'bytes=100-199'}});
        assert.equal(response.status, 206);
        assert.equal(response.headers.get('content-range'), 'bytes 100-199/1000');
        assert.equal(response.headers.get('content-type'), 'video/mp4');
        assert.deepEqual(Buffer.from(await response.arrayBuffer()), bytes.subarray(100, 200));
    });

    test('a whole file gets 200 and announces ranges', async () => {
        const response = await fetch(server.url('medias/Waiting for you.mp4'));
        assert.equal(response.status, 200);
        assert.equal(response.headers.get('accept-ranges'), 'bytes');
        assert.equal((await response.arrayBuffer()).byteLength, 1000);
    });

    test('a range past the end gets 416', async () => {
        const response = await fetch(server.url('medias/Waiting for you.mp4'), {headers: {Range: 'bytes=5000-'}});
        assert.equal(response.status, 416);
        assert.equal(response.headers.get('content-range'), 'bytes */1000');
    });

    test('pages are served as HTML and missing files as 404', async () => {
        const page = await fetch(server.url('page.htm'));
        assert.equal(page.headers.get('content-type'), 'text/html; charset=utf-8');
        assert.equal((await fetch(server.url('nothing.htm'))).status, 404);
    });

    test('nothing outside the folder is served', async () => {
        const name = `${path.basename(root)}-secret.txt`;
        const response = await fetch(`${server.origin}/..%2F${encodeURIComponent(name)}`);
        assert.notEqual(response.status, 200);
    });
});

describe('fillMacros', () => {
    test('every occurrence is replaced and inserted text is not scanned again', () => {
        assert.equal(fillMacros('$(a)$(a)', {a: '$(a)!'}), '$(a)!$(a)!');
        // A later name does see what an earlier one inserted: names go one after the other.
        assert.equal(fillMacros('$(a) $(b)', {a: '$(b)', b: 'x'}), 'x x');
        assert.equal(fillMacros('$(path)/video-js/video.js', {path: 'js'}), 'js/video-js/video.js');
    });
});
