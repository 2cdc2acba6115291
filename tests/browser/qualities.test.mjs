// SPDX-License-Identifier: GPL-3.0-or-later
// A 480p video published with --qualities: each player plays its stream of 480p and 360p from the
// site alone, natively or through its script; on a slow connection the script settles on 360p.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {checkPlayerPage, installationFolder, launchBrowser, makeTempFolder, removeFolder,
        serveFolder} from './harness.mjs';
import {makeMedia} from './media.mjs';
import {programPath, runProgram, userEnvironment} from './programs.mjs';

const SECONDS = 12;  // three segments of each rendition
const PAGE = '<!DOCTYPE html>\n<html lang="en">\n<head>\n<title>Qualities</title>\n</head>\n<body>\n</body>\n</html>\n';
const PLAYERS = {default: 'videojs', mediaelement: 'mediaelement', leanback: 'plyr'};

installationFolder();
let scratch;
let browser;
const servers = {};

before(async () => {
    scratch = makeTempFolder('dede5-browser-qualities-');
    const film = makeMedia(path.join(scratch, 'film.mp4'), SECONDS, {size: '854x480'});
    for (const name of Object.keys(PLAYERS)) {
        const site = path.join(scratch, name);
        fs.mkdirSync(site);
        fs.writeFileSync(path.join(site, 'film.htm'), PAGE);
        const result = await runProgram(programPath('DEDE5_PUBLISH_PROGRAM'), ['-q', '--site-root', site, '--player', name,
            '--qualities', '--no-poster', '--controls', '--no-autoplay', '--js-path', '/js/', '--media-path', '/medias/',
            film, path.join(site, 'film.htm')], userEnvironment(path.join(scratch, `${name}-user`)));
        assert.equal(result.status, 0, result.stderr);
        servers[name] = await serveFolder(site);
    }
    browser = await launchBrowser();
});

after(async () => [await browser?.close(), ...Object.values(servers).map((s) => s.close()), removeFolder(scratch)]);

// A page in a browser that may lack HLS: only the page's scripts are told so.
async function openPage(native) {
    const page = await browser.newPage();
    await page.addInitScript((lacks) => {
        const canPlayType = HTMLMediaElement.prototype.canPlayType;
        HTMLMediaElement.prototype.canPlayType = function (type) {
            return lacks && /mpegurl/i.test(type) ? '' : canPlayType.call(this, type);
        };
    }, !native);
    return page;
}

const renditionOf = (url) => /\/(\d+p)\/\d+\.m4s$/.exec(url)?.[1];

for (const [name, player] of Object.entries(PLAYERS)) {
    for (const native of [true, false]) {
        test(`${name} plays the stream ${native ? 'natively' : 'through its script'}`, async () => {
            const page = await openPage(native);
            const {media, seen} = await checkPlayerPage(page, servers[name].url('film.htm'), {player, kind: 'video', duration: SECONDS});
            assert.ok(seen.requests.some((u) => u.endsWith('/medias/film.hls/master.m3u8')));
            assert.ok(seen.requests.some(renditionOf), 'no segment was loaded');
            assert.ok(!seen.requests.some((u) => u.endsWith('/film.mp4')), 'the MP4 played instead');
            if (player === 'plyr' && !native) {
                assert.match(media.currentSrc, /^blob:/);
                assert.deepEqual((await page.evaluate(() => document.querySelector('video').plyr.options.quality))
                    .sort((a, b) => a - b), [0, 360, 480], 'the quality menu');
            }
            await page.close();
        });
    }
}

for (const [throttled, expected] of [[false, '480p'], [true, '360p']]) {
    test(`the stream script settles on ${expected} on a ${throttled ? 'slow' : 'fast'} connection`, async () => {
        const page = await openPage(false);
        if (throttled) {
            const cdp = await page.context().newCDPSession(page);
            await cdp.send('Network.enable');
            await cdp.send('Network.emulateNetworkConditions',
                           {offline: false, latency: 40, downloadThroughput: 100 * 1024, uploadThroughput: 100 * 1024});
        }
        // The script's own requests: the browser's media element may ask for segments too.
        const segments = [];
        page.on('request', (r) => ['xhr', 'fetch'].includes(r.resourceType()) && renditionOf(r.url()) &&
                                  segments.push(renditionOf(r.url())));
        await page.goto(servers.leanback.url('film.htm'));
        await page.waitForFunction((end) => document.querySelector('video')?.buffered.length &&
                                   document.querySelector('video').buffered.end(0) >= end, SECONDS - 1, {timeout: 120000});
        assert.equal(segments.at(-1), expected, segments.join(' '));
        await page.close();
    });
}
