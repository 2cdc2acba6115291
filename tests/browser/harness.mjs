// SPDX-License-Identifier: GPL-3.0-or-later
// Reusable pieces for checking published pages in headless Chromium:
//   launchBrowser()             a fresh Chromium with an empty profile: {newPage(), close()}
//   withBrowser(fn)             the same for the time of fn(browser)
//   serveFolder(dir, {hold})    a static HTTP server on 127.0.0.1 (MIME types, Range requests);
//                               `hold` stops one file's response at a marker until a promise ends
//   checkPlayerPage(page, url, expectations)  asserts that a player page really works
//   accessibilityViolations(page, {skip})  what axe-core finds wrong in the page as it is now
//   makeTempFolder(), removeFolder(), copyFolderFiles(), fillMacros(), installationFolder()
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import {chromium} from 'playwright-core';

export const CHROMIUM = process.env.DEDE5_CHROMIUM || '/usr/bin/chromium';
export const CHROMIUM_ARGS = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// A player waits for events of the page and its media; none of these waits is a measurement.
// The bound only keeps a broken page from hanging the suite.
const PATIENCE_MS = 120000;

export function installationFolder() {
    const home = process.env.DEDE5_VARODO_HOME;
    assert.ok(home, 'DEDE5_VARODO_HOME must name the assembled installation folder');
    assert.ok(fs.existsSync(path.join(home, 'Example')),
              `${home} has no Example folder: build the dede5_resources target first`);
    return home;
}

export function makeTempFolder(prefix = 'dede5-browser-') {
    return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

export function removeFolder(dir) {
    fs.rmSync(dir, {recursive: true, force: true});
}

// Copies the files directly in `from` into `to` (created as needed), the way a player's resource
// folders are copied into a site: sub-folders are not entered.
export function copyFolderFiles(from, to) {
    fs.mkdirSync(to, {recursive: true});
    for (const entry of fs.readdirSync(from, {withFileTypes: true})) {
        if (entry.isFile()) {
            fs.copyFileSync(path.join(from, entry.name), path.join(to, entry.name));
        }
    }
}

// Replaces every occurrence of each $(name) macro, one name after the other, without scanning the
// inserted text again.
export function fillMacros(text, values) {
    let result = text;
    for (const [name, value] of Object.entries(values)) {
        result = result.split(`$(${name})`).join(value);
    }
    return result;
}

// A fresh Chromium with an empty profile: {context, newPage(), close()}.
export async function launchBrowser() {
    const profile = makeTempFolder('dede5-chromium-profile-');
    let context;
    try {
        context = await chromium.launchPersistentContext(profile, {
            executablePath: CHROMIUM,
            headless: true,
            args: CHROMIUM_ARGS,
        });
    } catch (error) {
        removeFolder(profile);
        throw error;
    }
    context.setDefaultTimeout(PATIENCE_MS);
    return {
        context,
        newPage: () => context.newPage(),
        close: async () => {
            await context.close();
            removeFolder(profile);
        },
    };
}

export async function withBrowser(fn) {
    const browser = await launchBrowser();
    try {
        return await fn(browser);
    } finally {
        await browser.close();
    }
}

const MIME_TYPES = {
    '.htm': 'text/html; charset=utf-8',
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.svg': 'image/svg+xml',
    '.jpg': 'image/jpeg',
    '.jpeg': 'image/jpeg',
    '.png': 'image/png',
    '.txt': 'text/plain; charset=utf-8',
    '.mp4': 'video/mp4',
    '.m4v': 'video/mp4',
    '.webm': 'video/webm',
    '.ogv': 'video/ogg',
    '.ogg': 'audio/ogg',
    '.oga': 'audio/ogg',
    '.mp3': 'audio/mpeg',
    '.m4a': 'audio/mp4',
    '.wav': 'audio/wav',
    '.swf': 'application/x-shockwave-flash',
    '.vtt': 'text/vtt; charset=utf-8',
    '.m3u8': 'application/vnd.apple.mpegurl',
    '.m4s': 'video/iso.segment',
};

// Parses a single "bytes=" range against a file size: {start, end} (inclusive), null when the
// header asks for no range we serve whole, or 'unsatisfiable'.
export function parseRange(header, size) {
    if (!header) {
        return null;
    }
    const match = /^bytes=(\d*)-(\d*)$/.exec(header.trim());
    if (!match || (match[1] === '' && match[2] === '')) {
        return null;
    }
    let start;
    let end;
    if (match[1] === '') {
        const suffix = Number(match[2]);
        if (suffix === 0) {
            return 'unsatisfiable';
        }
        start = Math.max(0, size - suffix);
        end = size - 1;
    } else {
        start = Number(match[1]);
        end = match[2] === '' ? size - 1 : Math.min(Number(match[2]), size - 1);
    }
    if (start >= size || start > end) {
        return 'unsatisfiable';
    }
    return {start, end};
}

// Serves the files under `root` on 127.0.0.1 at a free port. Answers {origin, url(rel), close()}.
// `hold`: {file, marker, until}: the response for `file` (relative to the root) sends the bytes
// before `marker`, waits for the promise `until`, then sends the rest, as a slow network would.
export async function serveFolder(root, {hold} = {}) {
    const base = fs.realpathSync(root);
    const server = http.createServer((req, res) => {
        let rel;
        try {
            rel = decodeURIComponent(new URL(req.url, 'http://x').pathname);
        } catch {
            res.writeHead(400).end();
            return;
        }
        const file = path.join(base, rel);
        if (file !== base && !file.startsWith(base + path.sep)) {
            res.writeHead(403).end();
            return;
        }
        let stat;
        try {
            stat = fs.statSync(file);
        } catch {
            res.writeHead(404, {'Content-Type': 'text/plain'}).end('not found');
            return;
        }
        if (!stat.isFile()) {
            res.writeHead(404, {'Content-Type': 'text/plain'}).end('not a file');
            return;
        }
        const headers = {
            'Content-Type': MIME_TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream',
            'Accept-Ranges': 'bytes',
            'Cache-Control': 'no-cache',
        };
        if (hold && file === path.join(base, hold.file) && req.method === 'GET') {
            const text = fs.readFileSync(file);
            const at = text.indexOf(hold.marker);
            assert.ok(at >= 0, `${hold.marker} is not in ${hold.file}`);
            res.writeHead(200, {...headers, 'Content-Length': String(text.length)});
            res.write(text.subarray(0, at));
            hold.until.then(() => res.end(text.subarray(at)));
            return;
        }
        const range = parseRange(req.headers.range, stat.size);
        if (range === 'unsatisfiable') {
            res.writeHead(416, {...headers, 'Content-Range': `bytes */${stat.size}`}).end();
            return;
        }
        const {start, end} = range || {start: 0, end: stat.size - 1};
        const status = range ? 206 : 200;
        if (range) {
            headers['Content-Range'] = `bytes ${start}-${end}/${stat.size}`;
        }
        headers['Content-Length'] = String(Math.max(0, end - start + 1));
        res.writeHead(status, headers);
        if (req.method === 'HEAD' || stat.size === 0) {
            res.end();
            return;
        }
        const stream = fs.createReadStream(file, {start, end});
        stream.on('error', () => res.destroy());
        stream.pipe(res);
    });
    const sockets = new Set();
    server.on('connection', (socket) => {
        sockets.add(socket);
        socket.on('close', () => sockets.delete(socket));
    });
    await new Promise((resolve, reject) => {
        server.once('error', reject);
        server.listen(0, '127.0.0.1', resolve);
    });
    const origin = `http://127.0.0.1:${server.address().port}`;
    return {
        origin,
        url: (rel) => new URL(rel.split('/').map(encodeURIComponent).join('/'), origin + '/').href,
        close: () =>
            new Promise((resolve) => {
                for (const socket of sockets) {
                    socket.destroy();
                }
                server.close(() => resolve());
            }),
    };
}

// Where each player puts the media element and the controls of its own markup.
const PLAYERS = {
    videojs: {container: '.video-js', controls: '.vjs-control-bar .vjs-play-control'},
    mediaelement: {container: '.mejs__container', controls: '.mejs__controls .mejs__playpause-button'},
    plyr: {container: '.plyr', controls: '.plyr__controls [data-plyr="play"]'},
};

// Icon sprites that must load from the player's own folder when its controls are shown over HTTP.
const SPRITES = {mediaelement: 'mejs-controls.svg', plyr: 'plyr.svg'};

// Records what the page does: console errors, uncaught exceptions, requests and their outcome.
function watch(page) {
    // `pending`: requests other than media ones that have not ended yet.
    const seen = {errors: [], failed: [], responses: [], requests: [], pending: new Set()};
    const isMedia = (request) => request.resourceType() === 'media';
    page.on('console', (message) => {
        if (message.type() !== 'error') {
            return;
        }
        const where = message.location()?.url || '';
        // The browser asks every site for its icon by itself; that is not the page's doing.
        if (new URL(where, 'http://x/').pathname === '/favicon.ico') {
            return;
        }
        seen.errors.push(where ? `${message.text()} [${where}]` : message.text());
    });
    page.on('pageerror', (error) => seen.errors.push(`uncaught: ${error.message}`));
    page.on('request', (request) => {
        seen.requests.push(request.url());
        if (!isMedia(request)) {
            seen.pending.add(request);
        }
    });
    page.on('requestfinished', (request) => seen.pending.delete(request));
    page.on('requestfailed', (request) => {
        seen.pending.delete(request);
        const reason = request.failure()?.errorText;
        // The media pipeline cancels its own range requests when it jumps within a file (to read
        // an index at the end, say); a missing or refused file still shows as an HTTP error.
        if (isMedia(request) && reason === 'net::ERR_ABORTED') {
            return;
        }
        seen.failed.push(`${request.url()} (${reason})`);
    });
    page.on('response', (response) => {
        seen.responses.push({url: response.url(), status: response.status()});
        if (response.status() >= 400) {
            seen.failed.push(`${response.url()} (HTTP ${response.status()})`);
        }
    });
    return seen;
}

// Waits until the page has asked for nothing new for half a second. Playwright's 'networkidle'
// would wait for media requests too, which the browser may hold open, unread, for as long as the
// element keeps its buffer: a loaded page then never counts as idle.
async function settle(seen, timeout) {
    const deadline = Date.now() + timeout;
    let quietSince = Date.now();
    while (Date.now() - quietSince < 500) {
        if (seen.pending.size > 0) {
            quietSince = Date.now();
            assert.ok(quietSince < deadline, `still loading after ${timeout} ms: ${
                [...seen.pending].map((r) => r.url()).join(', ')}`);
        }
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
}

// One file, however its name is escaped: "%27" and "'" name the same file.
const sameFile = (a, b) => {
    const plain = (u) => {
        const url = new URL(u);
        try {
            return `${url.protocol}//${url.host}${decodeURIComponent(url.pathname)}`;
        } catch {
            return `${url.protocol}//${url.host}${url.pathname}`;
        }
    };
    return plain(a) === plain(b);
};

// Loads `url` and asserts that the player works there:
//   player      'videojs' | 'mediaelement' | 'plyr': whose markup must be set up around the media
//   kind        'video' | 'audio'
//   duration    the media's length in seconds (checked to ±0.5 s)
//   poster      the poster's URL (absolute or relative to the page) when one is set, else null:
//               it must load, and without one no picture may be asked for
//   controls    whether the player shows its controls (default true); without them its play
//               control must not be visible
//   refused     true when the browser must refuse the picture: the player must still be set up,
//               and the media must either fail as unsupported or play without a picture
//   allowErrors console errors that are expected (array of RegExp), e.g. a player's own report of
//               a refused source
// Answers {media, seen} for further checks by the caller.
export async function checkPlayerPage(page, url, expectations) {
    const {player, kind, duration, poster = null, controls = true, refused = false,
           allowErrors = []} = expectations;
    const where = PLAYERS[player];
    assert.ok(where, `unknown player ${player}`);
    assert.ok(kind === 'video' || kind === 'audio', `unknown kind ${kind}`);
    const seen = watch(page);

    await page.goto(url, {waitUntil: 'load', timeout: PATIENCE_MS});
    const tag = kind === 'video' ? 'video' : 'audio';
    const mediaSelector = `${where.container} ${tag}`;
    await page.waitForSelector(mediaSelector, {state: 'attached', timeout: PATIENCE_MS});
    if (player === 'videojs') {
        await page.waitForFunction(
            () => window.videojs && window.videojs.getAllPlayers().some((p) => p.isReady_),
            null, {timeout: PATIENCE_MS});
    }

    // The media either reads its metadata or fails for good; both end the wait.
    await page.waitForFunction(
        (selector) => {
            const media = document.querySelector(selector);
            return media && (media.readyState >= 1 || media.error !== null ||
                             media.networkState === HTMLMediaElement.NETWORK_NO_SOURCE);
        },
        mediaSelector, {timeout: PATIENCE_MS, polling: 100});

    const media = await page.evaluate(
        ({selector, container, controlsSelector, isVideoJs}) => {
            const el = document.querySelector(selector);
            const box = el.closest(container);
            const result = {
                readyState: el.readyState,
                duration: el.duration,
                videoWidth: el.videoWidth || 0,
                error: el.error ? el.error.code : null,
                networkState: el.networkState,
                currentSrc: el.currentSrc,
                poster: el.getAttribute('poster'),
                containerClass: box.className,
                hasControls: box.querySelector(controlsSelector) !== null,
                showsControls: Array.from(box.querySelectorAll(controlsSelector)).some((c) => c.checkVisibility()),
            };
            if (isVideoJs) {
                const vjs = window.videojs.getAllPlayers().find((p) => p.el() === box);
                result.videojsPlayer = vjs !== undefined;
                result.videojsOptions = vjs ? JSON.parse(JSON.stringify(vjs.options_, (key, value) =>
                    typeof value === 'object' && value !== null && key !== '' &&
                    !Array.isArray(value) ? undefined : value)) : null;
                result.videojsPoster = vjs ? vjs.poster() : null;
            }
            return result;
        },
        {selector: mediaSelector, container: where.container, controlsSelector: where.controls,
         isVideoJs: player === 'videojs'});

    if (player === 'videojs') {
        assert.ok(media.videojsPlayer, 'no Video.js player object owns the video element');
    }
    if (controls) {
        assert.ok(media.hasControls, `the ${player} player shows no controls (${where.controls})`);
    } else {
        assert.ok(!media.showsControls, `the ${player} player shows controls it was not given`);
    }

    if (refused) {
        // A refused picture either fails the whole file or leaves only its sound playing.
        assert.equal(media.videoWidth, 0, `the browser decoded a picture it should refuse: ${
            JSON.stringify(media)}`);
        if (media.readyState < 1) {
            assert.ok(media.error === 4 || media.networkState === 3,
                      `the media did not end as unsupported: ${JSON.stringify(media)}`);
        }
    } else {
        assert.ok(media.readyState >= 1,
                  `the media did not load its metadata: ${JSON.stringify(media)}`);
        assert.ok(Math.abs(media.duration - duration) <= 0.5,
                  `duration ${media.duration} s, expected ${duration} s`);
        if (kind === 'video') {
            assert.ok(media.videoWidth > 0, 'the video has no picture');
        }
    }

    await settle(seen, PATIENCE_MS);

    if (poster) {
        const posterUrl = new URL(poster, page.url()).href;
        assert.ok(seen.responses.some((r) => sameFile(r.url, posterUrl) && r.status < 400),
                  `the poster ${posterUrl} was not loaded by the page`);
        const width = await page.evaluate(
            (u) => new Promise((resolve) => {
                const image = new Image();
                image.onload = () => resolve(image.naturalWidth);
                image.onerror = () => resolve(0);
                image.src = u;
            }),
            posterUrl);
        assert.ok(width > 0, `the poster ${posterUrl} is not a picture`);
    } else {
        assert.deepEqual(seen.requests.filter((u) => /\.jpe?g([?#]|$)/i.test(u)), [],
                         'a picture was asked for although no poster is set');
    }

    const pageUrl = new URL(page.url());
    if (controls && SPRITES[player] && pageUrl.protocol !== 'file:') {
        const sprite = SPRITES[player];
        const hits = seen.responses.filter((r) => new URL(r.url).pathname.endsWith('/' + sprite));
        assert.ok(hits.length > 0, `the icon sprite ${sprite} was never loaded`);
    }
    // Every icon must point at a symbol that is there: in the page, or in a sprite that loaded.
    const icons = await page.evaluate(
        (container) => Array.from(document.querySelectorAll(`${container} svg use`)).map((use) => {
            const ref = use.getAttribute('href') || use.getAttribute('xlink:href') || '';
            const hash = ref.indexOf('#');
            const id = hash >= 0 ? ref.slice(hash + 1) : '';
            return {ref, file: hash > 0 ? new URL(ref.slice(0, hash), document.baseURI).href : '',
                    inPage: hash === 0 && document.getElementById(id) !== null};
        }),
        where.container);
    for (const icon of icons) {
        if (icon.file) {
            assert.ok(seen.responses.some((r) => sameFile(r.url, icon.file) && r.status < 400),
                      `the icon ${icon.ref} refers to a sprite that did not load`);
        } else {
            assert.ok(icon.inPage, `the icon ${icon.ref} refers to nothing in the page`);
        }
    }

    const foreign = seen.requests.filter((u) => {
        const target = new URL(u);
        if (target.protocol === 'data:' || target.protocol === 'blob:') {
            return false;
        }
        return pageUrl.protocol === 'file:' ? target.protocol !== 'file:'
                                            : target.origin !== pageUrl.origin;
    });
    assert.deepEqual(foreign, [], 'the page asked for files outside its own site');
    assert.deepEqual(seen.failed, [], 'requests failed');
    const errors = seen.errors.filter((text) => !allowErrors.some((re) => re.test(text)));
    assert.deepEqual(errors, [], 'the console shows errors');
    return {media, seen};
}

// axe-core's findings ("rule: target"), touch targets included; rules named in `skip` are not
// run. The script goes into the page as text, so the page asks for nothing more.
export async function accessibilityViolations(page, {skip = []} = {}) {
    await page.addScriptTag({path: createRequire(import.meta.url).resolve('axe-core/axe.min.js')});
    const rules = Object.fromEntries([['target-size', true], ...skip.map((rule) => [rule, false])]
                                         .map(([rule, enabled]) => [rule, {enabled}]));
    const violations = await page.evaluate((r) => window.axe.run(document, {rules: r}).then((x) => x.violations), rules);
    return violations.flatMap((v) => v.nodes.map((node) => `${v.id}: ${node.target.join(' ')}`));
}
