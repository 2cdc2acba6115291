// SPDX-License-Identifier: GPL-3.0-or-later
// The six sample pages of the installation folder, filled and placed the way the select-player page
// shows them: macros replaced, sample media copied beside the page. The program's own filling
// (ApplySampleOptions in C++) comes with its own browser test; here the macros get fixed values in
// the same way. Each page is checked twice: served over HTTP with the player folders beside it,
// and opened from disk with $(path) as the file URL of the installation folder, as the program
// opens it.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import {after, before, describe, test} from 'node:test';
import {checkPlayerPage, copyFolderFiles, fillMacros, installationFolder, launchBrowser,
        makeTempFolder, removeFolder, serveFolder} from './harness.mjs';
import {RESOURCE_FOLDERS, SNIPPETS} from './markup.mjs';

const SAMPLE_SECONDS = 5;
const POSTER_TEXT = 'poster="Waiting for you.jpg"';
const VIDEO_MEDIA = ['Waiting for you.jpg', 'Waiting for you.mp4', 'Waiting for you.webm'];
const AUDIO_MEDIA = ['Waiting for you.mp3', 'Waiting for you.oga'];

const SAMPLES = [
    {page: 'default.htm', player: 'videojs', kind: 'video', skin: 'vjs-default-skin'},
    {page: 'tube-css.htm', player: 'videojs', kind: 'video', skin: 'tubecss'},
    {page: 'mediaelement.htm', player: 'mediaelement', kind: 'video'},
    {page: 'leanback.htm', player: 'plyr', kind: 'video'},
    {page: 'projekktor.htm', player: 'plyr', kind: 'video', skin: 'projekktor'},
    {page: 'mediaelement-audio.htm', player: 'mediaelement', kind: 'audio'},
];

const home = installationFolder();
let browser;

before(async () => {
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
});

function fillSample(text, kind, pathValue, options) {
    const values = kind === 'video'
                       ? {autoplay: options.autoplay ? SNIPPETS.autoplay : '',
                          video_poster: options.poster ? POSTER_TEXT : ''}
                       : {autoplay: options.autoplay ? SNIPPETS.autoplay : ''};
    Object.assign(values, {controls: options.controls ? SNIPPETS.controls : '',
                           video_loop: options.loop ? SNIPPETS.loop : '',
                           path: pathValue});
    return fillMacros(text, values);
}

function copySampleMedia(kind, to) {
    for (const name of kind === 'video' ? VIDEO_MEDIA : AUDIO_MEDIA) {
        fs.copyFileSync(path.join(home, 'Example', name), path.join(to, name));
    }
}

function expectationsFor(sample, options) {
    return {
        player: sample.player,
        kind: sample.kind,
        duration: SAMPLE_SECONDS,
        poster: sample.kind === 'video' && options.poster ? 'Waiting%20for%20you.jpg' : null,
        controls: options.controls,
    };
}

async function checkSkin(page, sample, media) {
    if (sample.skin) {
        assert.match(media.containerClass, new RegExp(`\\b${sample.skin}\\b`));
    }
}

// Every macro of the templates; a sample page may hold only those the sample filling replaces
// (jQuery's $(document) is no macro).
const MACROS = ['path', 'controls', 'autoplay', 'video_loop', 'video_poster', 'fall_back', 'video_tag',
                'suggestion', 'html5_player_css', 'media_path', 'flash_player_path'].map((m) => `$(${m})`);

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

describe('sample pages served over HTTP', () => {
    const OPTION_SETS = {
        'controls, poster and loop': {controls: true, autoplay: false, loop: true, poster: true},
        'every option off': {controls: false, autoplay: false, loop: false, poster: false},
    };
    for (const sample of SAMPLES) {
        for (const [label, options] of Object.entries(OPTION_SETS)) {
            test(`${sample.page} with ${label}`, async () => {
                const root = makeTempFolder();
                const server = await serveFolder(root);
                const page = await browser.newPage();
                try {
                    for (const folders of Object.values(RESOURCE_FOLDERS)) {
                        for (const folder of folders) {
                            copyFolderFiles(path.join(home, folder), path.join(root, 'home', folder));
                        }
                    }
                    fs.mkdirSync(path.join(root, 'work'));
                    copySampleMedia(sample.kind, path.join(root, 'work'));
                    const text = fs.readFileSync(path.join(home, 'Example', sample.page), 'utf8');
                    fs.writeFileSync(path.join(root, 'work', 'html5-player.htm'),
                                     fillSample(text, sample.kind, `${server.origin}/home`, options));
                    const {media} = await checkPlayerPage(page, server.url('work/html5-player.htm'),
                                                          expectationsFor(sample, options));
                    await checkSkin(page, sample, media);
                    assert.equal(await page.evaluate((k) => document.querySelector(k).loop, sample.kind),
                                 options.loop);
                } finally {
                    await page.close();
                    await server.close();
                    removeFolder(root);
                }
            });
        }
    }
});

describe('sample pages opened from disk as the program shows them', () => {
    const options = {controls: true, autoplay: true, loop: false, poster: true};
    for (const sample of SAMPLES) {
        test(`${sample.page} with controls, autoplay and poster`, async () => {
            const work = makeTempFolder();
            const page = await browser.newPage();
            try {
                copySampleMedia(sample.kind, work);
                const text = fs.readFileSync(path.join(home, 'Example', sample.page), 'utf8');
                const installUrl = pathToFileURL(home).href.replace(/\/$/, '');
                const target = path.join(work, 'html5-player.htm');
                fs.writeFileSync(target, fillSample(text, sample.kind, installUrl, options));
                const {media} = await checkPlayerPage(page, pathToFileURL(target).href,
                                                      expectationsFor(sample, options));
                await checkSkin(page, sample, media);
            } finally {
                await page.close();
                removeFolder(work);
            }
        });
    }
});
