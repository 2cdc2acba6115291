// SPDX-License-Identifier: GPL-3.0-or-later
// The six sample pages as the program writes them: dede5_sample_pages calls the sample-page code
// for every row of the player tables with a given set of options, into a working folder of its
// own, and each written page is checked in Chromium opened from disk, as the program opens it,
// and served over HTTP.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import {after, before, describe, test} from 'node:test';
import {checkPlayerPage, installationFolder, launchBrowser, makeTempFolder, removeFolder,
        serveFolder} from './harness.mjs';
import {programPath, runProgram, userEnvironment} from './programs.mjs';

const SAMPLE_SECONDS = 5;
const POSTER = 'Waiting for you.jpg';

const SAMPLES = [
    {page: 'default.htm', player: 'videojs', kind: 'video', skin: 'vjs-default-skin'},
    {page: 'tube-css.htm', player: 'videojs', kind: 'video', skin: 'tubecss'},
    {page: 'mediaelement.htm', player: 'mediaelement', kind: 'video'},
    {page: 'leanback.htm', player: 'plyr', kind: 'video'},
    {page: 'projekktor.htm', player: 'plyr', kind: 'video', skin: 'projekktor'},
    {page: 'mediaelement-audio.htm', player: 'mediaelement', kind: 'audio'},
];

// The audio sample follows "Audio Auto Play" alone and the video samples "Auto Play" alone, so
// each set turns on the one the other kind must ignore.
const OPTION_SETS = [
    {label: 'controls, poster, loop and audio autoplay',
     args: ['--controls', '--poster', '--loop', '--audio-autoplay'],
     options: {controls: true, poster: true, loop: true, autoplay: false, audioAutoplay: true}},
    {label: 'video autoplay only',
     args: ['--autoplay'],
     options: {controls: false, poster: false, loop: false, autoplay: true, audioAutoplay: false}},
];

const home = installationFolder();
const writer = programPath('DEDE5_SAMPLE_PAGES_PROGRAM');
let browser;
let root;
let server;
const written = new Map();

// Every macro of the templates; a sample page may hold only those the sample filling replaces
// (jQuery's $(document) is no macro).
const MACROS = ['path', 'controls', 'autoplay', 'video_loop', 'video_poster', 'fall_back', 'video_tag',
                'suggestion', 'html5_player_css', 'media_path', 'flash_player_path'].map((m) => `$(${m})`);

before(async () => {
    root = makeTempFolder('dede5-browser-samples-');
    // Over HTTP the installation folder is /home and each option set's working folder /<n>/.
    fs.symlinkSync(home, path.join(root, 'home'), 'dir');
    for (const [n, set] of OPTION_SETS.entries()) {
        const work = path.join(root, String(n));
        const env = userEnvironment(path.join(root, `user-${n}`));
        const result = await runProgram(writer, ['--work', work, ...set.args], env);
        written.set(n, result);
    }
    server = await serveFolder(root);
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    await server?.close();
    if (root) {
        removeFolder(root);
    }
});

test('every sample page uses only the macros it may', () => {
    for (const {page, kind} of SAMPLES) {
        const text = fs.readFileSync(path.join(home, 'Example', page), 'utf8');
        const macros = new Set(MACROS.filter((m) => text.includes(m)));
        const allowed = ['$(path)', '$(controls)', '$(autoplay)', '$(video_loop)'];
        if (kind === 'video') {
            allowed.push('$(video_poster)');
        }
        assert.deepEqual([...macros].filter((m) => !allowed.includes(m)), [], page);
        for (const needed of allowed) {
            assert.ok(macros.has(needed), `${page} lacks ${needed}`);
        }
    }
});

// The sample name -> written page path lines of one run, after checking the run itself.
function pagesOf(n) {
    const {status, stdout, stderr} = written.get(n);
    assert.equal(status, 0, `dede5_sample_pages failed: ${stderr}`);
    assert.equal(stderr, '');
    const pages = new Map(stdout.trim().split('\n').map((line) => line.split('\t')));
    assert.deepEqual([...pages.keys()], SAMPLES.map((s) => s.page));
    return pages;
}

test('each show writes a page of its own beside the sample media', () => {
    for (const n of OPTION_SETS.keys()) {
        const pages = pagesOf(n);
        const work = path.join(root, String(n));
        assert.deepEqual([...pages.values()],
                         ['html5-player.htm', 'html5-player-0.htm', 'html5-player-1.htm', 'html5-player-2.htm',
                          'html5-player-3.htm', 'html5-player-4.htm'].map((f) => path.join(work, f)));
        for (const file of ['Waiting for you.mp4', 'Waiting for you.webm', POSTER, 'Waiting for you.mp3',
                            'Waiting for you.oga']) {
            assert.ok(fs.readFileSync(path.join(work, file)).equals(fs.readFileSync(path.join(home, 'Example', file))),
                      `${file} is not the sample media`);
        }
    }
});

// The opening tag of the page's video or audio element, as written.
function mediaTag(text, kind) {
    const match = new RegExp(`<${kind}\\b[^>]*>`).exec(text);
    assert.ok(match, `no <${kind}> element in the page`);
    return match[0];
}

for (const [n, set] of OPTION_SETS.entries()) {
    describe(`sample pages with ${set.label}`, {concurrency: 2}, () => {
        for (const sample of SAMPLES) {
            const video = sample.kind === 'video';
            const expectations = {
                player: sample.player,
                kind: sample.kind,
                duration: SAMPLE_SECONDS,
                poster: video && set.options.poster ? POSTER : null,
                controls: set.options.controls,
            };

            test(`${sample.page}: the options reach the markup`, () => {
                const text = fs.readFileSync(pagesOf(n).get(sample.page), 'utf8');
                assert.deepEqual(MACROS.filter((m) => text.includes(m)), [], 'macros left in the page');
                const tag = mediaTag(text, sample.kind);
                assert.equal(/\bcontrols="controls"/.test(tag), set.options.controls, tag);
                assert.equal(/\bloop="loop"/.test(tag), set.options.loop, tag);
                assert.equal(/\bautoplay="autoplay"/.test(tag),
                             video ? set.options.autoplay : set.options.audioAutoplay, tag);
                assert.equal(tag.includes(`poster="${POSTER}"`), video && set.options.poster, tag);
                assert.equal(/\bposter=/.test(tag), video && set.options.poster, tag);
            });

            test(`${sample.page} opened from disk`, async () => {
                const file = pagesOf(n).get(sample.page);
                const page = await browser.newPage();
                try {
                    const {media} = await checkPlayerPage(page, pathToFileURL(file).href, expectations);
                    if (sample.skin) {
                        assert.match(media.containerClass, new RegExp(`\\b${sample.skin}\\b`));
                    }
                    assert.equal(await page.evaluate((k) => document.querySelector(k).loop, sample.kind),
                                 set.options.loop);
                } finally {
                    await page.close();
                }
            });

            test(`${sample.page} served over HTTP`, async () => {
                // The page loads the players from the installation folder's file URL; on the
                // server that folder is /home, and nothing else of the page changes.
                const file = pagesOf(n).get(sample.page);
                const text = fs.readFileSync(file, 'utf8');
                const installUrl = pathToFileURL(home).href.replace(/\/$/, '');
                assert.ok(text.includes(`${installUrl}/`), `the page does not load the players from ${installUrl}`);
                const served = text.split(`${installUrl}/`).join(`${server.origin}/home/`);
                assert.ok(!served.includes('file:'), 'the page refers to other files on disk');
                const name = `served-${path.basename(file)}`;
                fs.writeFileSync(path.join(path.dirname(file), name), served);
                const page = await browser.newPage();
                try {
                    const {media} = await checkPlayerPage(page, server.url(`${n}/${name}`), expectations);
                    if (sample.skin) {
                        assert.match(media.containerClass, new RegExp(`\\b${sample.skin}\\b`));
                    }
                } finally {
                    await page.close();
                }
            });
        }
    });
}
