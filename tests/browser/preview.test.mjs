// SPDX-License-Identifier: GPL-3.0-or-later
// The publish page's preview in headless Chromium: a page of a small site previewed with each video
// player by dede5_preview_page (the job's own preview step and web server), the media and poster
// outside the site, the player files in the installation. The preview must play from there, load
// the site's own files beside the page, write nothing into the site, and end with its server.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {checkPlayerPage, installationFolder, launchBrowser, makeTempFolder,
        removeFolder} from './harness.mjs';
import {makeMedia} from './media.mjs';
import {programPath, userEnvironment} from './programs.mjs';

const SECONDS = 2;
const PAGE = '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="utf-8">\n<title>Preview</title>\n' +
             '<link rel="stylesheet" href="../style/site.css">\n</head>\n<body>\n' +
             '<p id="text">Text of the page.</p>\n</body>\n</html>\n';

installationFolder();
const previewer = programPath('DEDE5_PREVIEW_PAGE_PROGRAM');
let scratch;
let site;
let page;
let movie;
let browser;

before(async () => {
    scratch = makeTempFolder('dede5-browser-preview-');
    site = path.join(scratch, 'site');
    fs.mkdirSync(path.join(site, 'news'), {recursive: true});
    fs.mkdirSync(path.join(site, 'style'));
    fs.writeFileSync(path.join(site, 'style/site.css'), '#text { color: rgb(1, 2, 3); }\n');
    page = path.join(site, 'news/a page.htm');
    fs.writeFileSync(page, PAGE);
    fs.mkdirSync(path.join(scratch, 'my videos'));
    movie = makeMedia(path.join(scratch, 'my videos', 'holiday.mp4'), SECONDS);
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    if (scratch) {
        removeFolder(scratch);
    }
});

// Every file below `dir`, as paths relative to it.
function listing(dir) {
    return fs.readdirSync(dir, {recursive: true}).map(String).sort();
}

// Starts a preview with the player row `row`: {url, stop()}, stop() resolving to what the program
// printed after the address once its server has stopped.
async function startPreview(name, row) {
    const work = path.join(scratch, name, 'work');
    fs.mkdirSync(work, {recursive: true});
    const child = spawn(previewer, ['--site', site, '--page', page, '--media', movie, '--work', work,
                                    '--player', String(row), '--poster'],
                        {env: userEnvironment(path.join(scratch, name, 'user'))});
    let stdout = '';
    let stderr = '';
    child.stderr.on('data', (chunk) => { stderr += chunk; });
    const ended = new Promise((resolve) => child.on('close', (status) => resolve(status)));
    const url = await new Promise((resolve, reject) => {
        child.stdout.on('data', (chunk) => {
            stdout += chunk;
            if (stdout.includes('\n')) {
                resolve(stdout.slice(0, stdout.indexOf('\n')));
            }
        });
        ended.then((status) => reject(new Error(`the preview ended with ${status}: ${stderr}`)));
    });
    return {
        url,
        work,
        stop: async () => {
            child.stdin.end();
            const status = await ended;
            assert.equal(status, 0, stderr);
            return stdout.slice(stdout.indexOf('\n') + 1);
        },
    };
}

const ROWS = [
    {row: 0, name: 'default', player: 'videojs'},
    {row: 1, name: 'youtube', player: 'videojs'},
    {row: 2, name: 'mediaelement', player: 'mediaelement'},
    {row: 3, name: 'leanback', player: 'plyr'},
    {row: 4, name: 'projekktor', player: 'plyr'},
];

for (const {row, name, player} of ROWS) {
    test(`the ${name} preview plays from the preview's server and writes nothing`, async () => {
        const before = listing(site);
        const preview = await startPreview(name, row);
        const address = new URL(preview.url);
        assert.equal(address.hostname, '127.0.0.1');
        assert.match(address.pathname, /^\/[0-9a-f]{32}\/news\/a%20page\.htm$/);
        const prefix = address.pathname.split('/')[1];
        // Files outside the site come from where they are, at their full path below the prefix.
        const outside = (file) => `${address.origin}/${prefix}/.files${encodeURI(file)}`;
        const tab = await browser.newPage();
        try {
            const {media} = await checkPlayerPage(tab, preview.url, {
                player, kind: 'video', duration: SECONDS,
                poster: outside(path.join(preview.work, 'holiday.jpg')),
            });
            assert.equal(media.currentSrc, outside(movie));
            // The browser spent the address's token; without its cookie nothing is served.
            assert.equal(tab.url(), `${address.origin}${address.pathname}`);
            for (const url of [preview.url, tab.url(), outside(movie)]) {
                assert.equal((await fetch(url, {redirect: 'manual'})).status, 403, url);
            }
            // The site's own files beside the page load as on the web server.
            assert.equal(await tab.evaluate(() => getComputedStyle(document.getElementById('text')).color),
                         'rgb(1, 2, 3)');
            const played = await tab.evaluate(async () => {
                const video = document.querySelector('video');
                video.muted = true;
                await video.play();
                return true;
            });
            assert.ok(played);
            await tab.waitForFunction(() => document.querySelector('video').currentTime > 0.5, null,
                                      {polling: 100});
            // A jump needs the server's byte ranges.
            await tab.evaluate(() => { document.querySelector('video').currentTime = 1.5; });
            await tab.waitForFunction(() => {
                const video = document.querySelector('video');
                return !video.seeking && video.currentTime >= 1.5;
            }, null, {polling: 100});
        } catch (error) {
            // A preview left serving would keep the suite from ending.
            await preview.stop().catch(() => {});
            throw error;
        } finally {
            await tab.close();
        }
        assert.deepEqual(listing(site), before, 'the preview wrote into the site');
        assert.equal(await preview.stop(), 'stopped\n');
        await assert.rejects(fetch(preview.url), 'the preview is still served after it stopped');
    });
}
