// SPDX-License-Identifier: GPL-3.0-or-later
// Players as today's visitors meet them, in pages published by dede5-publish and served over
// HTTP, in Chromium with its default autoplay policy: an autoplaying video really plays (muted),
// and a player fitted to the page stays inside its column, keeps the video's proportions and
// never grows past the video's own size, down to a phone-wide window. While it sets up, with or
// without a poster, the text under it never moves, and axe-core finds nothing wrong in its markup.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {accessibilityViolations, installationFolder, launchBrowser, makeTempFolder, removeFolder, serveFolder} from './harness.mjs';
import {programPath, runProgram, userEnvironment} from './programs.mjs';

const FFMPEG = process.env.DEDE5_FFMPEG || 'ffmpeg';
// A second of 1080p at the lowest quality, and a few seconds of a small picture with sound.
const MEDIA = {
    big: {file: 'wide.mp4', width: 1920, height: 1080,
          args: ['-f', 'lavfi', '-i', 'testsrc2=size=1920x1080:rate=10:duration=1', '-c:v', 'libx264',
                 '-preset', 'ultrafast', '-crf', '51', '-pix_fmt', 'yuv420p', '-movflags', '+faststart']},
    small: {file: 'small.mp4', width: 320, height: 240,
            args: ['-f', 'lavfi', '-i', 'testsrc2=size=320x240:rate=10:duration=4', '-f', 'lavfi', '-i',
                   'sine=frequency=440:duration=4', '-c:v', 'libx264', '-preset', 'ultrafast', '-crf', '40',
                   '-pix_fmt', 'yuv420p', '-c:a', 'aac', '-b:a', '32k', '-movflags', '+faststart', '-shortest']},
};
const COLUMN = 800;
const NARROW = 400;
// The page's text column: as wide as the window allows, at most COLUMN pixels.
const PAGE = '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n' +
             '<meta name="viewport" content="width=device-width, initial-scale=1">\n<title>A column</title>\n' +
             `<style>#column { max-width: ${COLUMN}px; }</style>\n</head>\n<body>\n<main id="column">\n` +
             '<h1>A column</h1>\n<p>Text of the page before the player.</p>\n<!-- player -->\n' +
             '<p>Text of the page after the player.</p>\n' +
             `<p>${'The page goes on under the player. '.repeat(120)}</p>\n</main>\n</body>\n</html>\n`;
// The element each player draws around the video.
const PLAYERS = {
    default: '.video-js',
    youtube: '.video-js',
    mediaelement: '.mejs__container',
    leanback: '.plyr',
    projekktor: '.plyr',
};

installationFolder();
const publisher = programPath('DEDE5_PUBLISH_PROGRAM');
let scratch;
let browser;

before(async () => {
    scratch = makeTempFolder('dede5-browser-fit-');
    fs.mkdirSync(path.join(scratch, 'media'));
    for (const {file, args} of Object.values(MEDIA)) {
        execFileSync(FFMPEG, ['-nostdin', '-hide_banner', '-loglevel', 'error', '-y', ...args, '-threads', '2',
                              path.join(scratch, 'media', file)], {stdio: ['ignore', 'ignore', 'inherit']});
    }
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    if (scratch) {
        removeFolder(scratch);
    }
});

// Publishes each job {page, media, args} into a site of its own for `player` and serves it.
async function publishSite(player, jobs) {
    const root = path.join(scratch, player, 'site');
    const env = userEnvironment(path.join(scratch, player, 'user'));
    fs.mkdirSync(root, {recursive: true});
    for (const job of jobs) {
        const page = path.join(root, job.page);
        fs.writeFileSync(page, PAGE);
        const {status, stdout, stderr} = await runProgram(publisher, [
            '-q', '--site-root', root, '--js-path', '/js/', '--media-path', '/medias/', '--player', player,
            '--no-poster', '--controls', '--at', '<!-- player -->', ...job.args,
            path.join(scratch, 'media', job.media.file), page,
        ], env);
        assert.equal(status, 0, `dede5-publish ${job.args.join(' ')} ended with ${status}:\n${stderr}`);
        assert.equal(`${stdout}${stderr}`, '');
    }
    return {root, server: await serveFolder(root)};
}

// Opens `url` and waits for the player around the video and the video's size.
// window.layoutShift sums the page's layout shifts from the first paint on.
async function openPlayer(url, container) {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.addInitScript(() => {
        window.layoutShift = 0;
        new PerformanceObserver((list) => list.getEntries().forEach((entry) => {
            window.layoutShift += entry.hadRecentInput ? 0 : entry.value;
        })).observe({type: 'layout-shift', buffered: true});
    });
    await page.setViewportSize({width: 1280, height: 800});
    await page.goto(url, {waitUntil: 'load'});
    await page.waitForFunction((selector) => {
        const video = document.querySelector(`${selector} video`);
        return video && video.readyState >= 1;
    }, container, {polling: 100});
    return {page, errors};
}

// Lets resize handlers and layout run: both come before the second frame after a change.
const twoFrames = (page) => page.evaluate(
    () => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));

function measure(page, container) {
    return page.evaluate((selector) => {
        const size = (el) => {
            const box = el.getBoundingClientRect();
            return {width: box.width, height: box.height};
        };
        const video = document.querySelector(`${selector} video`);
        return {
            player: size(video.closest(selector)),
            video: size(video),
            column: size(document.getElementById('column')),
            scrollWidth: document.documentElement.scrollWidth,
            windowWidth: window.innerWidth,
        };
    }, container);
}

function assertSize(actual, width, height, what) {
    assert.ok(Math.abs(actual.width - width) <= 1 && Math.abs(actual.height - height) <= 1,
              `${what} is ${actual.width}x${actual.height}, not ${width}x${height}`);
}

for (const [player, container] of Object.entries(PLAYERS)) {
    describe(`${player} player`, () => {
        let site;
        const jobs = {
            big: {page: 'big.htm', media: MEDIA.big, args: ['--fit', '--no-autoplay']},
            small: {page: 'small.htm', media: MEDIA.small, args: ['--fit', '--no-autoplay']},
            // Fit is on by default; the loop keeps the video playing however long the checks take.
            autoplay: {page: 'autoplay.htm', media: MEDIA.small, args: ['--autoplay', '--loop']},
            poster: {page: 'poster.htm', media: MEDIA.big, args: ['--fit', '--no-autoplay', '--poster']},
        };
        before(async () => {
            site = await publishSite(player, Object.values(jobs));
        });
        after(async () => site?.server.close());

        test('a 1920x1080 video fills an 800-pixel column at 800x450 and shrinks with the window', async () => {
            const markup = fs.readFileSync(path.join(site.root, jobs.big.page), 'utf8');
            assert.match(markup, /width="1920" height="1080" style="width:1920px;max-width:100%;height:auto;aspect-ratio:1920\/1080;display:block" preload="metadata"/,
                         'the size stays in the markup beside the style');
            const {page, errors} = await openPlayer(site.server.url(jobs.big.page), container);
            try {
                const wide = await measure(page, container);
                assertSize(wide.column, COLUMN, wide.column.height, 'the column');
                assertSize(wide.player, 800, 450, 'the player');
                assertSize(wide.video, 800, 450, 'the video');

                await page.setViewportSize({width: NARROW, height: 800});
                await twoFrames(page);
                const narrow = await measure(page, container);
                assert.ok(narrow.scrollWidth <= narrow.windowWidth,
                          `the page scrolls sideways: ${narrow.scrollWidth} > ${narrow.windowWidth}`);
                const width = narrow.column.width;
                assert.ok(width < NARROW, `the column is ${width} wide`);
                assertSize(narrow.player, width, width * 1080 / 1920, 'the player in a narrow window');
                assertSize(narrow.video, width, width * 1080 / 1920, 'the video in a narrow window');
                assert.deepEqual(errors, []);
            } finally {
                await page.close();
            }
        });

        // Search engines count a page whose content shifts by 0.1 as poor; ours must stay still.
        test('the text under the player never moves while it sets up, and axe finds nothing', async (t) => {
            for (const job of [jobs.big, jobs.poster]) {
                const {page, errors} = await openPlayer(site.server.url(job.page), container);
                try {
                    await page.evaluate(() => document.fonts.ready);
                    await twoFrames(page);
                    const shift = await page.evaluate(() => window.layoutShift);
                    t.diagnostic(`${player} ${job.page}: layout shift ${shift.toFixed(4)}`);
                    assert.ok(shift < 0.01, `${job.page} shifts the page by ${shift}`);
                    // The page has no captions to give; the rest is the player's markup.
                    assert.deepEqual(await accessibilityViolations(page, {skip: ['video-caption']}), []);
                    assert.deepEqual(errors, []);
                } finally {
                    await page.close();
                }
            }
        });

        test('a 320x240 video keeps its own size in a wider column', async () => {
            const {page, errors} = await openPlayer(site.server.url(jobs.small.page), container);
            try {
                const wide = await measure(page, container);
                assertSize(wide.player, 320, 240, 'the player');
                assertSize(wide.video, 320, 240, 'the video');
                await page.setViewportSize({width: NARROW, height: 800});
                await twoFrames(page);
                const narrow = await measure(page, container);
                assertSize(narrow.player, 320, 240, 'the player in a narrow window');
                assert.ok(narrow.scrollWidth <= narrow.windowWidth,
                          `the page scrolls sideways: ${narrow.scrollWidth} > ${narrow.windowWidth}`);
                assert.deepEqual(errors, []);
            } finally {
                await page.close();
            }
        });

        test('an autoplaying video plays, muted', async () => {
            const markup = fs.readFileSync(path.join(site.root, jobs.autoplay.page), 'utf8');
            assert.match(markup, /autoplay="autoplay" muted="muted" playsinline="playsinline"/);
            const {page, errors} = await openPlayer(site.server.url(jobs.autoplay.page), container);
            try {
                const selector = `${container} video`;
                await page.waitForFunction((s) => {
                    const video = document.querySelector(s);
                    return !video.paused && video.currentTime > 0;
                }, selector, {polling: 100});
                const first = await page.evaluate((s) => document.querySelector(s).currentTime, selector);
                await page.waitForFunction(({s, t}) => document.querySelector(s).currentTime !== t,
                                           {s: selector, t: first}, {polling: 100});
                const state = await page.evaluate((s) => {
                    const video = document.querySelector(s);
                    return {paused: video.paused, muted: video.muted, played: video.played.length};
                }, selector);
                assert.deepEqual(state, {paused: false, muted: true, played: 1});
                assert.deepEqual(errors, []);
            } finally {
                await page.close();
            }
        });
    });
}

// The checks above mean something only if this Chromium refuses what the policy refuses.
test('the browser refuses a video that would autoplay with sound', async () => {
    const root = path.join(scratch, 'control');
    fs.mkdirSync(root, {recursive: true});
    fs.copyFileSync(path.join(scratch, 'media', MEDIA.small.file), path.join(root, MEDIA.small.file));
    fs.writeFileSync(path.join(root, 'index.htm'),
                     `<!DOCTYPE html>\n<video autoplay="autoplay" src="${MEDIA.small.file}"></video>\n`);
    const server = await serveFolder(root);
    const page = await browser.newPage();
    try {
        await page.goto(server.url('index.htm'));
        await page.waitForFunction(() => document.querySelector('video').readyState === 4, null, {polling: 100});
        await twoFrames(page);
        assert.deepEqual(await page.evaluate(() => {
            const video = document.querySelector('video');
            return {paused: video.paused, played: video.played.length};
        }), {paused: true, played: 0});
    } finally {
        await page.close();
        await server.close();
    }
});
