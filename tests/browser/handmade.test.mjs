// SPDX-License-Identifier: GPL-3.0-or-later
// Pages written by hand for what the player files must handle beyond the pages the program
// writes (those are checked in published.test.mjs and samples.test.mjs): data-setup values in
// other shapes, a Video.js player made after the page loaded or reached late by the parser, and
// the Leanback audio player.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {checkPlayerPage, copyFolderFiles, installationFolder, launchBrowser, makeTempFolder,
        removeFolder, serveFolder} from './harness.mjs';
import {makeMedia} from './media.mjs';
import {AUDIO_TYPES, leanbackAudioPage, RESOURCE_FOLDERS} from './markup.mjs';

const VIDEO_SECONDS = 3;
const AUDIO_SECONDS = 2;
const home = installationFolder();
let browser;
let mediaDir;

before(async () => {
    mediaDir = makeTempFolder('dede5-browser-media-');
    makeMedia(path.join(mediaDir, 'movie.mp4'), VIDEO_SECONDS);
    for (const ext of Object.keys(AUDIO_TYPES)) {
        makeMedia(path.join(mediaDir, `song.${ext}`), AUDIO_SECONDS);
    }
    makeMedia(path.join(mediaDir, 'mute.ogv'), VIDEO_SECONDS, {silent: true});
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    if (mediaDir) {
        removeFolder(mediaDir);
    }
});

// A site holding the player's folders in js/, `media` (name -> fixture file) in medias/ and
// index.htm with `html`; checks the page and cleans up.
async function checkSite({player, media, html, expect, extra}) {
    const site = makeTempFolder('dede5-browser-site-');
    const server = await serveFolder(site);
    const page = await browser.newPage();
    try {
        for (const folder of RESOURCE_FOLDERS[player]) {
            copyFolderFiles(path.join(home, folder), path.join(site, 'js', folder));
        }
        fs.mkdirSync(path.join(site, 'medias'));
        for (const [name, from] of Object.entries(media)) {
            fs.copyFileSync(path.join(mediaDir, from), path.join(site, 'medias', name));
        }
        fs.writeFileSync(path.join(site, 'index.htm'), html);
        const result = await checkPlayerPage(page, server.url('index.htm'), expect);
        await extra?.(page, result);
    } finally {
        await page.close();
        await server.close();
        removeFolder(site);
    }
}

test('data-setup in JSON, with single quotes, and on a player made after load all read right', async () => {
    const video = (id, setup) =>
        `<video id="${id}" class="video-js vjs-default-skin" controls="controls" width="320" height="180" ` +
        `preload="auto" data-setup="${setup}">\n<source src="medias/movie.mp4" type="video/mp4"/>\n</video>\n`;
    await checkSite({
        player: 'videojs',
        media: {'movie.mp4': 'movie.mp4'},
        html: '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>t</title>\n' +
              '<script src="js/video-js/video.js"></script>\n' +
              '<link rel="stylesheet" href="js/video-js/video-js.css">\n</head><body>\n' +
              video('json', '{&quot;media_path&quot;:&quot;a.mp4&quot;}') +
              video('quoted', "{'media_path':'a\\\\b\\'c.mp4', 'count': 2, 'on': true, 'off': null}") +
              '<script>\nwindow.addEventListener("load", function () {\n' +
              '  document.body.insertAdjacentHTML("beforeend", ' +
              JSON.stringify(video('late', "{'media_path':'late.mp4'}")) + ');\n' +
              '  setTimeout(function () { videojs("late"); }, 0);\n});\n</script>\n' +
              '</body></html>\n',
        expect: {player: 'videojs', kind: 'video', duration: VIDEO_SECONDS},
        extra: async (page, {seen}) => {
            await page.waitForFunction(() => window.videojs.getAllPlayers().length === 3);
            assert.deepEqual(seen.errors, []);
            const options = await page.evaluate(() => Object.fromEntries(window.videojs.getAllPlayers().map(
                (p) => [p.id(), {media_path: p.options_.media_path, count: p.options_.count,
                                 on: p.options_.on, off: p.options_.off}])));
            assert.deepEqual(options, {
                json: {media_path: 'a.mp4', count: undefined, on: undefined, off: undefined},
                quoted: {media_path: "a\\b'c.mp4", count: 2, on: true, off: null},
                late: {media_path: 'late.mp4', count: undefined, on: undefined, off: undefined},
            });
        },
    });
});

test('a player the parser reaches after the first was set up is set up too', async () => {
    const site = makeTempFolder('dede5-browser-site-');
    let release;
    const until = new Promise((resolve) => {
        release = resolve;
    });
    const video = (id) =>
        `<video id="${id}" class="video-js vjs-default-skin" controls="controls" width="320" height="180" ` +
        `preload="none" data-setup="{}">\n<source src="medias/movie.mp4" type="video/mp4"/>\n</video>\n`;
    copyFolderFiles(path.join(home, 'video-js'), path.join(site, 'js', 'video-js'));
    fs.mkdirSync(path.join(site, 'medias'));
    fs.copyFileSync(path.join(mediaDir, 'movie.mp4'), path.join(site, 'medias', 'movie.mp4'));
    fs.writeFileSync(path.join(site, 'index.htm'),
                     '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>t</title>\n' +
                     '<script src="js/video-js/video.js"></script>\n</head><body>\n' + video('first') +
                     '<!-- the network stalls here -->\n' + video('second') + '</body></html>\n');
    const server = await serveFolder(site, {hold: {file: 'index.htm', marker: '<!-- the network', until}});
    const page = await browser.newPage();
    try {
        const loaded = page.goto(server.url('index.htm'), {waitUntil: 'load'});
        await page.waitForFunction(() => window.videojs?.getAllPlayers().length === 1);
        release();
        await loaded;
        const ids = await page.evaluate(() => window.videojs.getAllPlayers().map((p) => p.id()));
        assert.deepEqual(ids.sort(), ['first', 'second']);
    } finally {
        release();
        await page.close();
        await server.close();
        removeFolder(site);
    }
});

// The browser may be still fetching a source it will refuse when Video.js takes the element over;
// the refusal then lands on the <source>, which Video.js does not watch.
test('a source refused after the player was set up shows the player\'s error', async () => {
    const site = makeTempFolder('dede5-browser-site-');
    let release;
    const until = new Promise((resolve) => {
        release = resolve;
    });
    copyFolderFiles(path.join(home, 'video-js'), path.join(site, 'js', 'video-js'));
    fs.mkdirSync(path.join(site, 'medias'));
    fs.copyFileSync(path.join(mediaDir, 'mute.ogv'), path.join(site, 'medias', 'mute.ogv'));
    fs.writeFileSync(path.join(site, 'index.htm'),
                     '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>t</title>\n' +
                     '<script src="js/video-js/video.js"></script>\n' +
                     '<link rel="stylesheet" href="js/video-js/video-js.css">\n</head><body>\n' +
                     '<video id="v" class="video-js vjs-default-skin" controls="controls" width="320" ' +
                     'height="180" preload="auto" data-setup="{}">\n' +
                     '<source src="medias/mute.ogv" type="video/ogg"/>\n</video>\n</body></html>\n');
    // The Theora header says what the browser refuses: hold the file just before it.
    const server = await serveFolder(site, {hold: {file: 'medias/mute.ogv', marker: 'theora', until}});
    const page = await browser.newPage();
    const errors = [];
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    try {
        await page.goto(server.url('index.htm'), {waitUntil: 'domcontentloaded'});
        await page.waitForFunction(() => window.videojs?.getAllPlayers()[0]?.isReady_);
        assert.equal(await page.evaluate(() => document.querySelector('video').networkState), 2);
        release();
        await page.locator('.video-js.vjs-error').waitFor({timeout: 15000});
        assert.equal(await page.evaluate(() => window.videojs.getAllPlayers()[0].error().code), 4);
        assert.equal(errors.filter((e) => /VIDEOJS: ERROR/.test(e)).length, 1, errors.join('\n'));
    } finally {
        release();
        await page.close();
        await server.close();
        removeFolder(site);
    }
});

describe('Leanback audio player', {concurrency: 2}, () => {
    for (const ext of Object.keys(AUDIO_TYPES)) {
        test(`audio ${ext} plays in the 411 pixel player`, async () => {
            await checkSite({
                player: 'leanback',
                media: {[`song.${ext}`]: `song.${ext}`},
                html: leanbackAudioPage({file: `song.${ext}`, ext,
                                         options: {controls: true, autoplay: false, loop: false}}),
                expect: {player: 'plyr', kind: 'audio', duration: AUDIO_SECONDS},
                extra: async (page) => {
                    const width = await page.evaluate(
                        () => document.querySelector('.plyr').getBoundingClientRect().width);
                    assert.equal(Math.round(width), 411);
                },
            });
        });
    }
});
