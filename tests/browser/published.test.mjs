// SPDX-License-Identifier: GPL-3.0-or-later
// Pages published by dede5-publish, run as a user runs it (a home and temporary folder of the
// test's own, real media made by ffmpeg), into a small site per player: pages at the root and one
// folder down, players in /js/, media in /medias/. Each site is served over HTTP and every page
// checked in headless Chromium: every player, every format it takes, with and without a poster,
// and media whose file names would break a careless page.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {checkPlayerPage, installationFolder, launchBrowser, makeTempFolder, removeFolder,
        serveFolder} from './harness.mjs';
import {makeMedia} from './media.mjs';
import {programPath, runProgram, userEnvironment} from './programs.mjs';

const VIDEO_SECONDS = 3;
const AUDIO_SECONDS = 2;
const VIDEO = {mp4: 'movie.mp4', webm: 'clip.webm'};
const AUDIO = {mp3: 'song.mp3', m4a: 'song.m4a', oga: 'song.oga', wav: 'song.wav'};
// Theora with a Vorbis track, and Theora alone.
const THEORA = {sound: 'film.ogv', mute: 'mute.ogv'};
const HOSTILE = [
    {label: 'quotes, an ampersand, a tag, a hash and a percent sign', title: `Tom & Jerry's "clip" <b>#1 100%`},
    {label: 'markup that would run a script', title: 'x <img src=x onerror=window.__injected=1>'},
    // An "&" of the name stays as it is in the Projekktor title, so there the reference reads as
    // the character it stands for; in locations it must still name the file.
    {label: 'a character reference', title: 'R&amp;B & more', shownTitle: 'R&B & more'},
    {label: 'letters outside ASCII', title: 'Café ünïcødé 日本語'},
];

const PAGE = '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="utf-8">\n<title>A page of the site</title>\n' +
             '</head>\n<body>\n<p>Text of the page before the player.</p>\n' +
             '<p>Text of the page after the player.</p>\n</body>\n</html>\n';

const POSTER_ON = ['--poster', '--controls', '--loop', '--no-autoplay'];
const POSTER_OFF = ['--no-poster', '--no-controls', '--no-loop', '--autoplay'];

// Stops at once when the installation folder has not been assembled.
installationFolder();
const publisher = programPath('DEDE5_PUBLISH_PROGRAM');
let scratch;
let mediaDir;
let browser;

before(async () => {
    scratch = makeTempFolder('dede5-browser-published-');
    mediaDir = path.join(scratch, 'media');
    fs.mkdirSync(mediaDir);
    for (const file of Object.values(VIDEO)) {
        makeMedia(path.join(mediaDir, file), VIDEO_SECONDS);
    }
    for (const file of Object.values(AUDIO)) {
        makeMedia(path.join(mediaDir, file), AUDIO_SECONDS);
    }
    makeMedia(path.join(mediaDir, THEORA.sound), VIDEO_SECONDS);
    makeMedia(path.join(mediaDir, THEORA.mute), VIDEO_SECONDS, {silent: true});
    for (const {title} of HOSTILE) {
        fs.copyFileSync(path.join(mediaDir, VIDEO.mp4), path.join(mediaDir, `${title}.mp4`));
        fs.copyFileSync(path.join(mediaDir, AUDIO.mp3), path.join(mediaDir, `${title}.mp3`));
    }
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    if (scratch) {
        removeFolder(scratch);
    }
});

const titleOf = (file) => file.slice(0, file.lastIndexOf('.'));

// A site on disk that dede5-publish writes into, and a server that serves it. The jobs are
// published one after the other, as a user runs the program, before any page is checked.
class Site {
    constructor(name) {
        this.root = path.join(scratch, name, 'site');
        this.env = userEnvironment(path.join(scratch, name, 'user'));
        this.results = new Map();
        fs.mkdirSync(this.root, {recursive: true});
    }

    // Each job publishes `media` into `pages` (relative to the site root) with `args`.
    async publish(jobs) {
        for (const job of jobs) {
            const pages = job.pages.map((rel) => {
                const file = path.join(this.root, rel);
                fs.mkdirSync(path.dirname(file), {recursive: true});
                fs.writeFileSync(file, PAGE);
                return file;
            });
            this.results.set(job, await runProgram(publisher, [
                '-q', '--site-root', this.root, '--js-path', '/js/', '--media-path', '/medias/', ...job.args,
                path.join(mediaDir, job.media), ...pages,
            ], this.env));
        }
        this.server = await serveFolder(this.root);
    }

    async close() {
        await this.server?.close();
    }
}

function assertPublished(site, job) {
    assert.ok(site.results.has(job), 'the job did not run');
    const {status, stdout, stderr} = site.results.get(job);
    assert.equal(status, 0, `dede5-publish ${job.args.join(' ')} ${job.media} ended with ${status}:\n${stderr}`);
    assert.equal(`${stdout}${stderr}`, '', 'dede5-publish -q printed something');
}

// What every page of a job must show beyond checkPlayerPage, for any player.
async function checkCommon(page, site, job, {media}) {
    const mediaUrl = new URL(media.currentSrc);
    assert.equal(mediaUrl.origin, site.server.origin);
    assert.equal(decodeURIComponent(mediaUrl.pathname), `/medias/${job.media}`,
                 'the media location does not name the published file');
    const state = await page.evaluate((tag) => {
        const el = document.querySelector(tag);
        return {loop: el.loop, autoplay: el.autoplay, injected: typeof window.__injected,
                // What the names of HOSTILE would become if they were read as markup.
                stray: Array.from(document.querySelectorAll('img[onerror], b'))
                           .filter((e) => e.hasAttribute('onerror') || e.textContent.startsWith('#1')).length,
                text: document.body.innerText};
    }, job.kind);
    assert.equal(state.loop, job.loop, 'loop');
    assert.equal(state.autoplay, job.autoplay, 'autoplay');
    assert.equal(state.injected, 'undefined', 'a script from the media name ran');
    assert.equal(state.stray, 0, 'the media name put elements into the page');
    assert.match(state.text, /Text of the page before the player\.[\s\S]*Text of the page after the player\./);
}

const VIDEO_PLAYERS = {
    default: {
        check: 'videojs',
        extra: async (page, site, job, {media}) => {
            assert.match(media.containerClass, /\bvjs-default-skin\b/);
            await checkDataSetup(page, media);
            assert.equal(/\bvjs-controls-disabled\b/.test(media.containerClass), !job.controls);
        },
    },
    youtube: {
        check: 'videojs',
        extra: async (page, site, job, {media}) => {
            assert.match(media.containerClass, /\btubecss\b/);
            await checkDataSetup(page, media);
            const colour = await page.evaluate(
                () => getComputedStyle(document.querySelector('.tubecss .vjs-play-progress')).backgroundColor);
            assert.equal(colour, 'rgb(255, 0, 0)', 'tube.css is not applied');
        },
    },
    mediaelement: {
        check: 'mediaelement',
        extra: async (page, site, job, {seen}) => {
            const sprites = seen.responses.filter((r) => r.url.endsWith('mejs-controls.svg'));
            assert.ok(sprites.every((r) => new URL(r.url).pathname === '/js/mediaelement/mejs-controls.svg'),
                      JSON.stringify(sprites));
            await checkMediaElementControls(page, job);
        },
    },
    leanback: {
        check: 'plyr',
        extra: async (page, site, job, {seen}) => {
            // Fitted pages (the default) carry no Flash fallback.
            assert.equal(await page.locator('object').count(), 0, 'Flash fallback objects');
            assert.deepEqual(seen.requests.filter((u) => /\.swf/.test(u)), []);
            // The player keeps the size the page asked for.
            const width = await page.evaluate(() => document.querySelector('.plyr').getBoundingClientRect().width);
            assert.equal(Math.round(width), 640);
            if (!job.controls) {
                assert.equal(await page.locator('.plyr__controls button').count(), 0);
            }
        },
    },
    projekktor: {
        check: 'plyr',
        extra: async (page, site, job, {media}) => {
            assert.match(media.containerClass, /\bprojekktor\b/);
            assert.equal(await page.evaluate(() => document.getElementById('player_a').getAttribute('title')),
                         job.shownTitle ?? titleOf(job.media), 'the title attribute is not the media title');
            if (!job.controls) {
                assert.equal(await page.locator('.plyr__controls button').count(), 0);
            }
        },
    },
};

// MediaElement builds its control bar whatever the element says; a page published without
// controls must not show it (and an audio player without controls shows nothing, as the browser's
// own would).
async function checkMediaElementControls(page, job) {
    const shown = await page.evaluate(() => {
        const box = document.querySelector('.mejs__container');
        const bar = box.querySelector('.mejs__controls');
        return {box: getComputedStyle(box).display !== 'none', bar: getComputedStyle(bar).display !== 'none'};
    });
    assert.equal(shown.bar, job.controls, 'the control bar is shown exactly when published with controls');
    assert.equal(shown.box, job.kind === 'video' || job.controls, 'the player box is shown');
}

// Pages are published fitted (the default): Video.js gets no paths for the Flash player of old.
async function checkDataSetup(page, media) {
    const {media_path: mediaPath, flash_player_path: playerPath} = media.videojsOptions;
    assert.deepEqual([mediaPath, playerPath], [undefined, undefined], JSON.stringify(media.videojsOptions));
}

function videoJobs(name) {
    const on = {controls: true, loop: true, autoplay: false};
    const off = {controls: false, loop: false, autoplay: true};
    const jobs = [];
    for (const [ext, file] of Object.entries(VIDEO)) {
        jobs.push({
            label: `${ext} with poster, controls and loop`, media: file, kind: 'video', ...on,
            args: ['--player', name, ...POSTER_ON], pages: [`${ext}.htm`, `news/${ext}.htm`],
            poster: `medias/${titleOf(file)}.jpg`,
        });
        jobs.push({
            label: `${ext} without poster and controls, autoplaying`, media: file, kind: 'video', ...off,
            args: ['--player', name, ...POSTER_OFF], pages: [`${ext}-plain.htm`, `news/${ext}-plain.htm`],
            poster: null,
        });
    }
    for (const [i, {label, title, shownTitle}] of HOSTILE.entries()) {
        jobs.push({
            label: `a media name with ${label}`, media: `${title}.mp4`, kind: 'video', ...on,
            args: ['--player', name, ...POSTER_ON], pages: [`news/hostile-${i}.htm`],
            poster: `medias/${title}.jpg`, shownTitle,
        });
    }
    return jobs;
}

// Chromium no longer decodes Theora (canPlayType answers ""): an Ogg video page ends with the
// player set up and the picture refused. With a Vorbis track the sound still plays; a file that
// has only the Theora picture fails as unsupported.
function theoraJobs(name) {
    const common = {kind: 'video', controls: true, loop: false, autoplay: false, poster: null, refused: true,
                    args: ['--player', name, '--no-poster', '--controls', '--no-loop', '--no-autoplay']};
    return [
        {...common, label: 'Theora and Vorbis play without the picture', media: THEORA.sound, pages: ['ogv.htm']},
        {...common, label: 'Theora alone is reported as unsupported', media: THEORA.mute, pages: ['news/ogv.htm'],
         unsupported: true},
    ];
}

// Audio always gets the MediaElement player, whichever video player is named, and never a poster.
function audioJobs() {
    const jobs = [];
    const players = Object.keys(VIDEO_PLAYERS);
    for (const [i, [ext, file]] of Object.entries(AUDIO).entries()) {
        jobs.push({
            label: `${ext} with controls and loop (--player ${players[i]} --poster)`, media: file, kind: 'audio',
            controls: true, loop: true, autoplay: false, poster: null,
            args: ['--player', players[i], ...POSTER_ON], pages: [`${ext}.htm`, `news/${ext}.htm`],
        });
        jobs.push({
            label: `${ext} without controls, autoplaying`, media: file, kind: 'audio',
            controls: false, loop: false, autoplay: true, poster: null,
            args: POSTER_OFF, pages: [`${ext}-plain.htm`],
        });
    }
    for (const [i, {label, title}] of HOSTILE.entries()) {
        jobs.push({
            label: `a media name with ${label}`, media: `${title}.mp3`, kind: 'audio',
            controls: true, loop: true, autoplay: false, poster: null,
            args: POSTER_ON, pages: [`news/hostile-${i}.htm`],
        });
    }
    return jobs;
}

const DURATION = {video: VIDEO_SECONDS, audio: AUDIO_SECONDS};
const ALLOWED_ERRORS = {
    // Video.js reports a source it cannot play on the console itself.
    videojs: [/VIDEOJS: ERROR: \(CODE:4 MEDIA_ERR_SRC_NOT_SUPPORTED\)/],
};

// Publishes `jobs` into a site of their own and checks every page; `more(getSite)` adds tests.
function describeSite(title, name, check, extra, jobs, more) {
    describe(title, {concurrency: 2}, () => {
        let site;
        before(async () => {
            site = new Site(name);
            await site.publish(jobs);
        });
        after(async () => site?.close());

        for (const job of jobs) {
            for (const rel of job.pages) {
                test(`${job.label}: ${rel}`, async () => {
                    assertPublished(site, job);
                    const page = await browser.newPage();
                    try {
                        const result = await checkPlayerPage(page, site.server.url(rel), {
                            player: check, kind: job.kind, duration: DURATION[job.kind],
                            poster: job.poster && site.server.url(job.poster), controls: job.controls,
                            refused: job.refused, allowErrors: job.unsupported ? ALLOWED_ERRORS[check] : [],
                        });
                        if (job.refused) {
                            await checkRefused(page, job, check, result);
                        } else {
                            await checkCommon(page, site, job, result);
                            await extra(page, site, job, result);
                        }
                    } finally {
                        await page.close();
                    }
                });
            }
        }
        more?.(() => site);
    });
}

async function checkRefused(page, job, check, {media, seen}) {
    assert.equal(await page.evaluate(
        () => document.createElement('video').canPlayType('video/ogg; codecs="theora"')), '');
    if (job.unsupported) {
        // With <source> children the failure lands on the source: no source left.
        assert.equal(media.readyState, 0, JSON.stringify(media));
        assert.ok(media.error === 4 || media.networkState === 3, JSON.stringify(media));
        if (check === 'videojs') {
            // Video.js marks the player on its own error event, which may come after the element's.
            await page.locator('.video-js.vjs-error').first().waitFor({timeout: 15000});
            assert.equal(await page.locator('.video-js.vjs-error').count(), 1);
            assert.equal(seen.errors.filter((e) => ALLOWED_ERRORS.videojs[0].test(e)).length, 1);
        }
    } else {
        assert.ok(media.readyState >= 1, JSON.stringify(media));
        assert.ok(Math.abs(media.duration - VIDEO_SECONDS) <= 0.5, JSON.stringify(media));
    }
}

// Plyr switches to its blank video to stop the old download when the source changes; it must be
// the copy in the player's own folder of the site, not one from a CDN.
function sourceChangeTest(getSite) {
    test('a source change stops the old download with the local blank video', async () => {
        const site = getSite();
        const page = await browser.newPage();
        try {
            const {seen} = await checkPlayerPage(page, site.server.url('mp4.htm'), {
                player: 'plyr', kind: 'video', duration: VIDEO_SECONDS,
                poster: site.server.url(`medias/${titleOf(VIDEO.mp4)}.jpg`),
            });
            await page.evaluate((src) => {
                window.LeanbackPlayer.players[0].source = {type: 'video', sources: [{src, type: 'video/webm'}]};
            }, `medias/${VIDEO.webm}`);
            await page.waitForFunction((name) => {
                const video = document.querySelector('.plyr video');
                return video.currentSrc.endsWith(name) && video.readyState >= 1;
            }, VIDEO.webm);
            await page.waitForLoadState('networkidle');
            const blank = seen.responses.filter((r) => r.url.endsWith('/blank.mp4'));
            assert.ok(blank.length > 0, 'the blank video was never asked for');
            assert.ok(blank.every((r) => new URL(r.url).pathname === '/js/leanback/js/blank.mp4' && r.status < 400),
                      JSON.stringify(blank));
            assert.ok(seen.requests.every((u) => u.startsWith(site.server.origin)), seen.requests.join('\n'));
            assert.deepEqual(seen.failed, []);
        } finally {
            await page.close();
        }
    });
}

// Two sites at a time, each checking two pages at a time.
describe('pages published by dede5-publish', {concurrency: 2}, () => {
    for (const [name, player] of Object.entries(VIDEO_PLAYERS)) {
        const jobs = [...videoJobs(name), ...(name === 'youtube' ? [] : theoraJobs(name))];
        describeSite(`${name} player pages`, name, player.check, player.extra, jobs,
                     name === 'leanback' ? sourceChangeTest : undefined);
    }
    describeSite('audio pages', 'audio', 'mediaelement',
                 async (page, site, job) => checkMediaElementControls(page, job), audioJobs());

    // Other content under the same name plays under a name of its own: the browser never asks
    // for the old file, which a cache would still hold.
    test('a replaced video plays, and nothing asks for the old file', async () => {
        const site = new Site('replaced');
        const job = {media: VIDEO.mp4, pages: ['replaced.htm'], args: ['--player', 'default', '--no-poster']};
        try {
            await site.publish([job]);
            assertPublished(site, job);
            const newer = path.join(scratch, 'replaced', 'new', VIDEO.mp4);
            fs.mkdirSync(path.dirname(newer), {recursive: true});
            makeMedia(newer, VIDEO_SECONDS - 1);
            const replaced = await runProgram(publisher, [
                'replace', '--site-root', site.root, '--js-path', '/js/', '--media-path', '/medias/',
                VIDEO.mp4, newer], site.env);
            assert.equal(replaced.status, 0, replaced.stderr);
            const page = await browser.newPage();
            try {
                const {media, seen} = await checkPlayerPage(page, site.server.url(job.pages[0]), {
                    player: 'videojs', kind: 'video', duration: VIDEO_SECONDS - 1,
                });
                assert.equal(new URL(media.currentSrc).pathname, `/medias/${titleOf(VIDEO.mp4)}-2.mp4`);
                assert.deepEqual(seen.requests.filter((u) => new URL(u).pathname === `/medias/${VIDEO.mp4}`), []);
            } finally {
                await page.close();
            }
        } finally {
            await site.close();
        }
    });
});
