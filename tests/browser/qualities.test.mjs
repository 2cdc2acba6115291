// SPDX-License-Identifier: GPL-3.0-or-later
// Several qualities: a 480p video published with --qualities becomes a stream of 480p and 360p
// that Video.js plays by itself and the other players through the stream script published
// beside them, with no request leaving the site; on a slow connection only the lower one loads.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {checkPlayerPage, installationFolder, launchBrowser, makeTempFolder, removeFolder,
        serveFolder} from './harness.mjs';
import {makeMedia} from './media.mjs';
import {programPath, runProgram, userEnvironment} from './programs.mjs';

// Three segments of each rendition, so that a player can change between them.
const SECONDS = 12;
const PAGE = '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>Qualities</title>\n' +
             '</head>\n<body>\n<p>Before.</p>\n</body>\n</html>\n';
const PLAYERS = {default: 'videojs', mediaelement: 'mediaelement', leanback: 'plyr'};

installationFolder();
const publisher = programPath('DEDE5_PUBLISH_PROGRAM');
let scratch;
let browser;
let film;

before(async () => {
    scratch = makeTempFolder('dede5-browser-qualities-');
    film = makeMedia(path.join(scratch, 'film.mp4'), SECONDS, {size: '854x480'});
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    if (scratch) {
        removeFolder(scratch);
    }
});

// A browser that cannot play HLS by itself (as Chromium could not before version 141, and
// Firefox cannot): the players must then play the stream through a script of their own.
const withoutNativeHls = (page) => page.addInitScript(() => {
    const canPlayType = HTMLMediaElement.prototype.canPlayType;
    HTMLMediaElement.prototype.canPlayType = function (type) {
        return /mpegurl/i.test(type) ? '' : canPlayType.call(this, type);
    };
});

// The renditions whose segments the page asked for: ["360p", "480p"].
const segmentsAsked = (requests) =>
    [...new Set(requests.map((u) => /\/(\d+p)\/\d+\.m4s$/.exec(u)?.[1]).filter(Boolean))].sort();

describe('several qualities in pages published by dede5-publish', () => {
    const servers = {};
    before(async () => {
        for (const name of Object.keys(PLAYERS)) {
            const site = path.join(scratch, name);
            fs.mkdirSync(site, {recursive: true});
            fs.writeFileSync(path.join(site, 'film.htm'), PAGE);
            const result = await runProgram(publisher, [
                '-q', '--site-root', site, '--js-path', '/js/', '--media-path', '/medias/', '--player', name,
                '--qualities', '--no-poster', '--controls', '--no-autoplay', film, path.join(site, 'film.htm'),
            ], userEnvironment(path.join(scratch, `${name}-user`)));
            assert.equal(result.status, 0, result.stderr);
            servers[name] = await serveFolder(site);
        }
    });
    after(async () => Object.values(servers).forEach((server) => server.close()));

    const cases = Object.entries(PLAYERS).flatMap(([name, player]) => [true, false].map((native) => ({name, player, native})));
    for (const {name, player, native} of cases) {
        test(`the ${name} player plays the stream from the site alone, ${native ? 'with' : 'without'} native HLS`, async () => {
            const page = await browser.newPage();
            try {
                if (!native) {
                    await withoutNativeHls(page);
                }
                const {media, seen} = await checkPlayerPage(page, servers[name].url('film.htm'),
                                                            {player, kind: 'video', duration: SECONDS});
                assert.ok(seen.requests.some((u) => u.endsWith('/medias/film.hls/master.m3u8')));
                assert.notDeepEqual(segmentsAsked(seen.requests), []);
                assert.ok(!seen.requests.some((u) => u.endsWith('/film.mp4')), 'the MP4 played instead of the stream');
                if (player === 'plyr' && !native) {
                    const qualities = await page.evaluate(() => document.querySelector('video').plyr.options.quality);
                    assert.ok(media.currentSrc.startsWith('blob:'), 'the stream script does not play the stream');
                    assert.deepEqual([...qualities].sort((a, b) => a - b), [0, 360, 480], 'the quality menu lists the renditions');
                }
            } finally {
                await page.close();
            }
        });
    }

    // The quality of the last segment the player loads: the better one on a fast connection, the
    // lower one on a slow connection (after a first try of the better one, given up).
    for (const {throttled, expected} of [{throttled: false, expected: '480p'}, {throttled: true, expected: '360p'}]) {
        test(`${throttled ? 'a slow' : 'a fast'} connection settles on ${expected}`, async () => {
            const page = await browser.newPage();
            try {
                await withoutNativeHls(page);
                if (throttled) {
                    const cdp = await page.context().newCDPSession(page);
                    await cdp.send('Network.enable');
                    await cdp.send('Network.emulateNetworkConditions',
                                   {offline: false, latency: 40, downloadThroughput: 100 * 1024, uploadThroughput: 100 * 1024});
                }
                // The stream script's own requests: the browser's media element asks for some too.
                const requests = [];
                page.on('request', (request) => ['xhr', 'fetch'].includes(request.resourceType()) &&
                                                requests.push(request.url()));
                await page.goto(servers.leanback.url('film.htm'), {waitUntil: 'load'});
                await page.waitForFunction(() => {
                    const video = document.querySelector('video');
                    return video.buffered.length > 0 && video.buffered.end(0) >= 11;
                }, null, {polling: 200, timeout: 120000});
                const estimate = await page.evaluate(() => document.querySelector('video').hls.bandwidthEstimate);
                const last = requests.filter((u) => u.endsWith('.m4s')).pop();
                assert.equal(segmentsAsked([last])[0], expected, `estimate ${estimate}: ${requests.join(' ')}`);
            } finally {
                await page.close();
            }
        });
    }
});
