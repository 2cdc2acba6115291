// SPDX-License-Identifier: GPL-3.0-or-later
// Pages shaped exactly like the generated head and body code, in a site laid out as a publish
// leaves it (page in the site root, players in js/, media and poster in medias/), checked in
// headless Chromium for every player and every format it takes.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {checkPlayerPage, copyFolderFiles, installationFolder, launchBrowser, makeTempFolder,
        removeFolder, serveFolder} from './harness.mjs';
import {makeMedia} from './media.mjs';
import {publishedPage, RESOURCE_FOLDERS} from './markup.mjs';

const VIDEO_SECONDS = 3;
const AUDIO_SECONDS = 4;
const home = installationFolder();
let browser;
let mediaDir;

before(async () => {
    mediaDir = makeTempFolder('dede5-browser-media-');
    for (const ext of ['mp4', 'webm', 'ogv']) {
        makeMedia(path.join(mediaDir, `movie.${ext}`), VIDEO_SECONDS);
    }
    for (const ext of ['mp3', 'm4a', 'oga', 'wav']) {
        makeMedia(path.join(mediaDir, `song.${ext}`), AUDIO_SECONDS);
    }
    makeMedia(path.join(mediaDir, 'silent.ogv'), VIDEO_SECONDS, {silent: true});
    makeMedia(path.join(mediaDir, 'movie.jpg'));
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    if (mediaDir) {
        removeFolder(mediaDir);
    }
});

// Builds the site for one page in a temporary folder, serves it, checks it, and cleans up.
// `media` maps the media folder's file names to the fixture files they are copied from.
async function checkPublished({player, page: pageOptions, media, expect, extra}) {
    const site = makeTempFolder('dede5-browser-site-');
    const server = await serveFolder(site);
    const page = await browser.newPage();
    try {
        const folderKey = player === 'tube' ? 'videojs' : player;
        for (const folder of RESOURCE_FOLDERS[folderKey]) {
            copyFolderFiles(path.join(home, folder), path.join(site, 'js', folder));
        }
        fs.mkdirSync(path.join(site, 'medias'));
        for (const [name, from] of Object.entries(media)) {
            fs.copyFileSync(path.join(mediaDir, from), path.join(site, 'medias', name));
        }
        fs.writeFileSync(path.join(site, 'index.htm'), publishedPage({player, ...pageOptions}));
        const result = await checkPlayerPage(page, server.url('index.htm'), expect);
        if (extra) {
            await extra(page, result);
        }
        return result;
    } finally {
        await page.close();
        await server.close();
        removeFolder(site);
    }
}

const ON = {controls: true, autoplay: false, loop: false, poster: 'medias/movie.jpg'};
const videoMedia = (ext) => ({[`movie.${ext}`]: `movie.${ext}`, 'movie.jpg': 'movie.jpg'});
const audioMedia = (ext) => ({[`song.${ext}`]: `song.${ext}`});

describe('Video.js pages', () => {
    for (const ext of ['mp4', 'webm']) {
        test(`default skin plays ${ext} with poster and data-setup readable`, async () => {
            await checkPublished({
                player: 'videojs',
                page: {file: `movie.${ext}`, ext, kind: 'video', options: ON},
                media: videoMedia(ext),
                expect: {player: 'videojs', kind: 'video', duration: VIDEO_SECONDS,
                         poster: 'medias/movie.jpg'},
                extra: async (page, {media}) => {
                    assert.match(media.containerClass, /\bvjs-default-skin\b/);
                    assert.equal(media.videojsOptions.media_path, `../../medias/movie.${ext}`);
                    assert.equal(media.videojsOptions.flash_player_path, 'js/video-js/');
                },
            });
        });
    }

    test('YouTube skin is applied from tube.css', async () => {
        await checkPublished({
            player: 'tube',
            page: {file: 'movie.mp4', ext: 'mp4', kind: 'video', options: ON},
            media: videoMedia('mp4'),
            expect: {player: 'videojs', kind: 'video', duration: VIDEO_SECONDS, poster: 'medias/movie.jpg'},
            extra: async (page, {media}) => {
                assert.match(media.containerClass, /\btubecss\b/);
                const colour = await page.evaluate(
                    () => getComputedStyle(document.querySelector('.tubecss .vjs-play-progress')).backgroundColor);
                assert.equal(colour, 'rgb(255, 0, 0)');
            },
        });
    });

    test('escaped quote in the data-setup value reaches the player unescaped', async () => {
        await checkPublished({
            player: 'videojs',
            page: {file: 'Tom%27s%20clip.mp4', ext: 'mp4', kind: 'video', options: {...ON, poster: null},
                   mediaPath: "../../medias/Tom\\'s%20clip.mp4"},
            media: {"Tom's clip.mp4": 'movie.mp4'},
            expect: {player: 'videojs', kind: 'video', duration: VIDEO_SECONDS},
            extra: async (page, {media}) => {
                assert.equal(media.videojsOptions.media_path, "../../medias/Tom's%20clip.mp4");
            },
        });
    });

    test('data-setup in JSON, with single quotes, and on a player made after load all read right', async () => {
        const site = makeTempFolder('dede5-browser-site-');
        const server = await serveFolder(site);
        const page = await browser.newPage();
        try {
            copyFolderFiles(path.join(home, 'video-js'), path.join(site, 'js', 'video-js'));
            fs.mkdirSync(path.join(site, 'medias'));
            fs.copyFileSync(path.join(mediaDir, 'movie.mp4'), path.join(site, 'medias', 'movie.mp4'));
            const video = (id, setup) =>
                `<video id="${id}" class="video-js vjs-default-skin" controls="controls" width="320" height="180" ` +
                `preload="auto" data-setup="${setup}">\n<source src="medias/movie.mp4" type="video/mp4"/>\n</video>\n`;
            fs.writeFileSync(path.join(site, 'index.htm'),
                             '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>t</title>\n' +
                             '<script src="js/video-js/video.js"></script>\n' +
                             '<link rel="stylesheet" href="js/video-js/video-js.css">\n</head><body>\n' +
                             video('json', '{&quot;media_path&quot;:&quot;a.mp4&quot;}') +
                             video('quoted', "{'media_path':'a\\\\b\\'c.mp4', 'count': 2, 'on': true, 'off': null}") +
                             '<script>\nwindow.addEventListener("load", function () {\n' +
                             '  document.body.insertAdjacentHTML("beforeend", ' +
                             JSON.stringify(video('late', "{'media_path':'late.mp4'}")) + ');\n' +
                             '  setTimeout(function () { videojs("late"); }, 0);\n});\n</script>\n' +
                             '</body></html>\n');
            const {seen} = await checkPlayerPage(page, server.url('index.htm'),
                                                 {player: 'videojs', kind: 'video', duration: VIDEO_SECONDS});
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
        } finally {
            await page.close();
            await server.close();
            removeFolder(site);
        }
    });

    test('every option off leaves a working player without controls or poster', async () => {
        await checkPublished({
            player: 'videojs',
            page: {file: 'movie.webm', ext: 'webm', kind: 'video',
                   options: {controls: false, autoplay: false, loop: false, poster: null}},
            media: videoMedia('webm'),
            expect: {player: 'videojs', kind: 'video', duration: VIDEO_SECONDS, controls: false},
            extra: async (page, {media}) => {
                assert.match(media.containerClass, /\bvjs-controls-disabled\b/);
            },
        });
    });
});

describe('MediaElement pages', () => {
    for (const ext of ['mp4', 'webm']) {
        test(`video ${ext} plays with its icons from the player folder`, async () => {
            await checkPublished({
                player: 'mediaelement',
                page: {file: `movie.${ext}`, ext, kind: 'video', options: ON},
                media: videoMedia(ext),
                expect: {player: 'mediaelement', kind: 'video', duration: VIDEO_SECONDS,
                         poster: 'medias/movie.jpg'},
                extra: async (page, {seen}) => {
                    const sprites = seen.responses.filter((r) => r.url.endsWith('mejs-controls.svg'));
                    assert.ok(sprites.every((r) => new URL(r.url).pathname === '/js/mediaelement/mejs-controls.svg'),
                              JSON.stringify(sprites));
                },
            });
        });
    }
    test('autoplay the browser holds back leaves no uncaught error', async () => {
        await checkPublished({
            player: 'mediaelement',
            page: {file: 'song.mp3', ext: 'mp3', kind: 'audio', options: {...ON, autoplay: true}},
            media: audioMedia('mp3'),
            expect: {player: 'mediaelement', kind: 'audio', duration: AUDIO_SECONDS},
        });
    });
    for (const ext of ['mp3', 'm4a', 'oga', 'wav']) {
        test(`audio ${ext} plays`, async () => {
            await checkPublished({
                player: 'mediaelement',
                page: {file: `song.${ext}`, ext, kind: 'audio', options: ON},
                media: audioMedia(ext),
                expect: {player: 'mediaelement', kind: 'audio', duration: AUDIO_SECONDS},
            });
        });
    }
});

describe('Leanback pages', () => {
    test('mp4 video plays and its Flash fallback asks for nothing', async () => {
        await checkPublished({
            player: 'leanback',
            page: {file: 'movie.mp4', ext: 'mp4', kind: 'video', options: ON},
            media: videoMedia('mp4'),
            expect: {player: 'plyr', kind: 'video', duration: VIDEO_SECONDS, poster: 'medias/movie.jpg'},
            extra: async (page, {seen}) => {
                assert.equal(await page.locator('object.leanback-player-flash-fallback').count(), 1);
                assert.deepEqual(seen.requests.filter((u) => /\.swf/.test(u)), []);
                // The player keeps the size the page asked for.
                const width = await page.evaluate(() => document.querySelector('.plyr').getBoundingClientRect().width);
                assert.equal(Math.round(width), 640);
            },
        });
    });
    test('webm video plays', async () => {
        await checkPublished({
            player: 'leanback',
            page: {file: 'movie.webm', ext: 'webm', kind: 'video', options: {...ON, loop: true}},
            media: videoMedia('webm'),
            expect: {player: 'plyr', kind: 'video', duration: VIDEO_SECONDS, poster: 'medias/movie.jpg'},
            extra: async (page) => {
                assert.equal(await page.evaluate(() => document.querySelector('video').loop), true);
            },
        });
    });
    test('a source change stops the old download with the local blank video, not a CDN one', async () => {
        await checkPublished({
            player: 'leanback',
            page: {file: 'movie.mp4', ext: 'mp4', kind: 'video', options: ON},
            media: {...videoMedia('mp4'), 'movie.webm': 'movie.webm'},
            expect: {player: 'plyr', kind: 'video', duration: VIDEO_SECONDS, poster: 'medias/movie.jpg'},
            extra: async (page, {seen}) => {
                await page.evaluate(() => {
                    window.LeanbackPlayer.players[0].source = {
                        type: 'video', sources: [{src: 'medias/movie.webm', type: 'video/webm'}]};
                });
                await page.waitForFunction(() => document.querySelector('.plyr video').currentSrc.endsWith('movie.webm') &&
                                                 document.querySelector('.plyr video').readyState >= 1);
                await page.waitForLoadState('networkidle');
                const blank = seen.responses.filter((r) => r.url.endsWith('/blank.mp4'));
                assert.ok(blank.length > 0, 'the blank video was never asked for');
                assert.ok(blank.every((r) => new URL(r.url).pathname === '/js/leanback/js/blank.mp4' && r.status < 400),
                          JSON.stringify(blank));
                assert.ok(seen.requests.every((u) => u.startsWith(new URL(page.url()).origin)), seen.requests.join('\n'));
                assert.deepEqual(seen.failed, []);
            },
        });
    });
    test('every option off gives a player without controls', async () => {
        await checkPublished({
            player: 'leanback',
            page: {file: 'movie.mp4', ext: 'mp4', kind: 'video',
                   options: {controls: false, autoplay: false, loop: false, poster: null}},
            media: videoMedia('mp4'),
            expect: {player: 'plyr', kind: 'video', duration: VIDEO_SECONDS, controls: false},
            extra: async (page) => {
                assert.equal(await page.locator('.plyr__controls button').count(), 0);
                assert.equal(await page.evaluate(() => document.querySelector('video').loop), false);
            },
        });
    });
    for (const ext of ['mp3', 'm4a', 'oga', 'wav']) {
        test(`audio ${ext} plays in the 411 pixel player`, async () => {
            await checkPublished({
                player: 'leanback',
                page: {file: `song.${ext}`, ext, kind: 'audio', options: ON},
                media: audioMedia(ext),
                expect: {player: 'plyr', kind: 'audio', duration: AUDIO_SECONDS},
                extra: async (page) => {
                    const width = await page.evaluate(() => document.querySelector('.plyr').getBoundingClientRect().width);
                    assert.equal(Math.round(width), 411);
                },
            });
        });
    }
});

describe('Projekktor pages', () => {
    for (const ext of ['mp4', 'webm']) {
        test(`${ext} video plays and projekktor() ignores the Flash option`, async () => {
            await checkPublished({
                player: 'projekktor',
                page: {file: `movie.${ext}`, ext, kind: 'video', title: 'Tom & Jerry', options: ON},
                media: videoMedia(ext),
                expect: {player: 'plyr', kind: 'video', duration: VIDEO_SECONDS, poster: 'medias/movie.jpg'},
                extra: async (page, {media}) => {
                    assert.match(media.containerClass, /\bprojekktor\b/);
                },
            });
        });
    }
    test('autoplay starts without an error', async () => {
        await checkPublished({
            player: 'projekktor',
            page: {file: 'movie.mp4', ext: 'mp4', kind: 'video', options: {...ON, autoplay: true}},
            media: videoMedia('mp4'),
            expect: {player: 'plyr', kind: 'video', duration: VIDEO_SECONDS, poster: 'medias/movie.jpg'},
        });
    });
});

// Chromium no longer decodes Theora (canPlayType answers ""): an Ogg video page ends with the
// player set up and the picture refused. With a Vorbis track the sound still plays; a file that
// has only the Theora picture fails as unsupported.
describe('Ogg Theora video is refused by current Chromium', () => {
    const PLAYERS = {
        videojs: {check: 'videojs', notSupported: [/VIDEOJS: ERROR: \(CODE:4 MEDIA_ERR_SRC_NOT_SUPPORTED\)/]},
        mediaelement: {check: 'mediaelement', notSupported: []},
        leanback: {check: 'plyr', notSupported: []},
        projekktor: {check: 'plyr', notSupported: []},
    };
    for (const [player, {check, notSupported}] of Object.entries(PLAYERS)) {
        test(`${player} page plays the sound of a Theora and Vorbis file without its picture`, async () => {
            await checkPublished({
                player,
                page: {file: 'movie.ogv', ext: 'ogv', kind: 'video', options: {...ON, poster: null}},
                media: {'movie.ogv': 'movie.ogv'},
                expect: {player: check, kind: 'video', refused: true},
                extra: async (page, {media}) => {
                    assert.equal(await page.evaluate(
                        () => document.createElement('video').canPlayType('video/ogg; codecs="theora"')), '');
                    assert.ok(media.readyState >= 1, JSON.stringify(media));
                    assert.ok(Math.abs(media.duration - VIDEO_SECONDS) <= 0.5, JSON.stringify(media));
                },
            });
        });
        test(`${player} page reports a picture-only Theora file as unsupported`, async () => {
            await checkPublished({
                player,
                page: {file: 'silent.ogv', ext: 'ogv', kind: 'video', options: {...ON, poster: null}},
                media: {'silent.ogv': 'silent.ogv'},
                expect: {player: check, kind: 'video', refused: true, allowErrors: notSupported},
                extra: async (page, {media, seen}) => {
                    // With <source> children the failure lands on the source: no source left.
                    assert.equal(media.readyState, 0, JSON.stringify(media));
                    assert.ok(media.error === 4 || media.networkState === 3, JSON.stringify(media));
                    if (player === 'videojs') {
                        assert.equal(await page.locator('.video-js.vjs-error').count(), 1);
                        assert.equal(seen.errors.filter((e) => notSupported[0].test(e)).length, 1);
                    }
                },
            });
        });
    }
});
