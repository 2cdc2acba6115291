// SPDX-License-Identifier: GPL-3.0-or-later
// Captions in pages published by dede5-publish, served over HTTP, for every video player: a
// SubRip file in windows-1252 lying beside the video (found by its name) and a WebVTT file given
// with --captions. The player must have both tracks, show the first from the start with its cues
// in the right text, and offer its captions button; axe-core finds nothing wrong in the page.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {accessibilityViolations, checkPlayerPage, installationFolder, launchBrowser, makeTempFolder, removeFolder,
        serveFolder} from './harness.mjs';
import {makeMedia} from './media.mjs';
import {programPath, runProgram, userEnvironment} from './programs.mjs';

const SECONDS = 3;
const PAGE = '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>Captions</title>\n' +
             '</head>\n<body>\n<main>\n<h1>Captions</h1>\n<p>Before.</p>\n<p>After.</p>\n</main>\n</body>\n</html>\n';

// windows-1252: "é" is 0xE9, "à" 0xE0, "ç" 0xE7, "—" 0x97, "€" 0x80.
const FRENCH_SRT = Buffer.from(
    '1\r\n00:00:00,000 --> 00:00:01,500\r\nD\xE9j\xE0 l\'\xE9t\xE9 \x97 gar\xE7on\r\n\r\n' +
    '2\r\n00:00:01,500 --> 00:00:03,000\r\n<i>Co\xFBt :</i> 5 \x80\r\n', 'latin1');
const FRENCH_CUES = ['Déjà l\'été — garçon', '<i>Coût :</i> 5 €'];
const ENGLISH_VTT = 'WEBVTT\n\n00:00.000 --> 00:01.500\nSummer already\n\n00:01.500 --> 00:03.000\nCost: 5 euros\n';

// How each player keeps its tracks and shows its button. Video.js moves the track elements into
// tracks of its own; Plyr hides the browser's rendering (mode "hidden") and draws the cues itself.
const PLAYERS = {
    // Video.js shows its control bar only once playing starts; the button is there unless hidden.
    default: {check: 'videojs', button: 'div.vjs-subs-caps-button:not(.vjs-hidden)', barHidden: true},
    youtube: {check: 'videojs', button: 'div.vjs-subs-caps-button:not(.vjs-hidden)', barHidden: true},
    mediaelement: {check: 'mediaelement', button: '.mejs__captions-button'},
    leanback: {check: 'plyr', button: '.plyr__controls [data-plyr="captions"]'},
    projekktor: {check: 'plyr', button: '.plyr__controls [data-plyr="captions"]'},
};

installationFolder();
const publisher = programPath('DEDE5_PUBLISH_PROGRAM');
let scratch;
let browser;

before(async () => {
    scratch = makeTempFolder('dede5-browser-captions-');
    const media = path.join(scratch, 'media');
    fs.mkdirSync(media);
    makeMedia(path.join(media, 'film.mp4'), SECONDS);
    fs.writeFileSync(path.join(media, 'film.fr.srt'), FRENCH_SRT);
    fs.writeFileSync(path.join(media, 'english notes.vtt'), ENGLISH_VTT);
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    if (scratch) {
        removeFolder(scratch);
    }
});

// Runs in the page before its scripts: from the moment a Video.js player is made, one-millisecond timers
// (the playback's setup among them) wait until the test calls letPlayersGoOn().
function holdPlayerTimers() {
    const run = window.setTimeout;
    const waiting = [];
    let holding = false;
    window.letPlayersGoOn = () => {
        holding = false;
        waiting.splice(0).forEach((go) => go());
    };
    window.setTimeout = (fn, ms, ...rest) => (holding && ms === 1 ? waiting.push(() => fn(...rest)) : run(fn, ms, ...rest));
    let videojs;
    Object.defineProperty(window, 'videojs', {
        configurable: true,
        get: () => videojs,
        set: (value) => {
            videojs = value;
            value.hook('beforesetup', () => { holding = true; return {}; });
        },
    });
}

// The tracks as the player holds them, once the first has its cues.
async function tracksOf(page, check) {
    await page.waitForFunction((player) => {
        const video = document.querySelector('video');
        const list = player === 'videojs' ? window.videojs.getAllPlayers()[0].textTracks() : video.textTracks;
        const tracks = Array.from({length: list.length}, (_, i) => list[i])
            .filter((t) => t.kind === 'captions');
        return tracks.length === 2 && tracks[0].cues && tracks[0].cues.length === 2;
    }, check, {polling: 100});
    return page.evaluate((player) => {
        const video = document.querySelector('video');
        const list = player === 'videojs' ? window.videojs.getAllPlayers()[0].textTracks() : video.textTracks;
        const tracks = Array.from({length: list.length}, (_, i) => list[i]).filter((t) => t.kind === 'captions');
        return {
            tracks: tracks.map((t) => ({language: t.language, label: t.label, mode: t.mode,
                                        cues: Array.from(t.cues || [], (c) => c.text)})),
            plyr: video.plyr ? {currentTrack: video.plyr.currentTrack, active: video.plyr.captions.toggled,
                                shown: document.querySelector('.plyr__captions')?.checkVisibility() ?? false}
                             : null,
        };
    }, check);
}

describe('captions in pages published by dede5-publish', {concurrency: 2}, () => {
    for (const [name, player] of Object.entries(PLAYERS)) {
        describe(`${name} player`, () => {
            let site;
            let server;
            let result;
            before(async () => {
                site = path.join(scratch, name, 'site');
                fs.mkdirSync(path.join(site, 'news'), {recursive: true});
                const page = path.join(site, 'news', 'film.htm');
                fs.writeFileSync(page, PAGE);
                result = await runProgram(publisher, [
                    '-q', '--site-root', site, '--js-path', '/js/', '--media-path', '/medias/',
                    '--player', name, '--no-poster', '--controls', '--no-autoplay', '--no-loop',
                    '--after', '<p>Before.</p>',
                    '--captions', `${path.join(scratch, 'media', 'english notes.vtt')}:en:English`,
                    path.join(scratch, 'media', 'film.mp4'), page,
                ], userEnvironment(path.join(scratch, name, 'user')));
                server = await serveFolder(site);
            });
            after(async () => server?.close());

            // Video.js sets itself up on a timer while the page is parsed, and its playback a
            // moment later on another: tracks the parser reaches after either must be its own.
            const windows = player.check === 'videojs' ? [
                {name: 'after the player was set up', holdPlayback: false},
                {name: 'before the player\'s playback is set up', holdPlayback: true},
            ] : [];
            for (const {name: when, holdPlayback} of windows) {
                test(`tracks the parser reaches ${when}`, async () => {
                    let release;
                    const held = await serveFolder(site, {hold: {file: 'news/film.htm', marker: '<track',
                                                                 until: new Promise((r) => { release = r; })}});
                    const page = await browser.newPage();
                    try {
                        if (holdPlayback) {
                            await page.addInitScript(holdPlayerTimers);
                        }
                        await page.goto(held.url('news/film.htm'), {waitUntil: 'commit'});
                        await page.waitForFunction(() => window.videojs && window.videojs.getAllPlayers().length === 1,
                                                   null, {polling: 50});
                        release();
                        await page.waitForLoadState('load');
                        await page.evaluate(() => window.letPlayersGoOn?.());
                        const {tracks} = await tracksOf(page, player.check);
                        assert.deepEqual(tracks.map((t) => [t.language, t.mode]), [['fr', 'showing'], ['en', 'disabled']]);
                        assert.deepEqual(tracks[0].cues, FRENCH_CUES);
                        assert.equal(await page.locator('video track').count(), 0, 'a track stayed the browser\'s');
                        assert.equal(await page.locator(player.button).count(), 1, 'no captions button');
                    } finally {
                        release();
                        await page.close();
                        await held.close();
                    }
                });
            }

            test('both tracks, the first showing with its cues, and the captions button', async () => {
                assert.equal(result.status, 0, result.stderr);
                assert.equal(fs.readFileSync(path.join(site, 'medias', 'film.fr.vtt'), 'utf8'),
                             'WEBVTT\n\n00:00:00.000 --> 00:00:01.500\n' + FRENCH_CUES[0] +
                             '\n\n00:00:01.500 --> 00:00:03.000\n' + FRENCH_CUES[1] + '\n');
                assert.match(fs.readFileSync(path.join(site, 'medias', '.htaccess'), 'utf8'),
                             /^AddType text\/vtt \.vtt$/m);
                const page = await browser.newPage();
                try {
                    const {seen} = await checkPlayerPage(page, server.url('news/film.htm'), {
                        player: player.check, kind: 'video', duration: SECONDS, poster: null, controls: true,
                    });
                    const {tracks, plyr} = await tracksOf(page, player.check);
                    assert.deepEqual(tracks.map((t) => [t.language, t.label]), [['fr', 'French'], ['en', 'English']]);
                    assert.deepEqual(tracks[0].cues, FRENCH_CUES);
                    if (plyr) {
                        // Plyr draws the captions itself: the track is loaded but hidden from
                        // the browser, and Plyr's own caption area is on for it.
                        assert.equal(tracks[0].mode, 'hidden');
                        assert.deepEqual(plyr, {currentTrack: 0, active: true, shown: true});
                    } else {
                        assert.equal(tracks[0].mode, 'showing');
                        assert.notEqual(tracks[1].mode, 'showing');
                    }
                    const vtt = seen.responses.filter((r) => r.url.endsWith('.vtt'));
                    assert.ok(vtt.some((r) => new URL(r.url).pathname === '/medias/film.fr.vtt' && r.status < 400),
                              JSON.stringify(vtt));
                    const button = page.locator(player.button);
                    assert.equal(await button.count(), 1, `no captions button (${player.button})`);
                    if (!player.barHidden) {
                        assert.ok(await button.isVisible(), 'the captions button is hidden');
                    }
                    assert.deepEqual(await accessibilityViolations(page), []);
                } finally {
                    await page.close();
                }
            });
        });
    }
});
