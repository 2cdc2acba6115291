// SPDX-License-Identifier: GPL-3.0-or-later
// Media that browsers refuse as it is, published with dede5-publish --convert: each kind of
// conversion (container only, sound only, everything encoded, sound alone) and each kind of file
// people bring ends in a page whose media plays in headless Chromium and lasts as long as the
// original.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {checkPlayerPage, installationFolder, launchBrowser, makeTempFolder, removeFolder,
        serveFolder} from './harness.mjs';
import {programPath, runProgram, userEnvironment} from './programs.mjs';

const FFMPEG = process.env.DEDE5_FFMPEG || 'ffmpeg';
const SECONDS = 2;
const PICTURE = ['-f', 'lavfi', '-i', `testsrc2=size=320x240:rate=25:duration=${SECONDS}`];
const PICTURE_QCIF = ['-f', 'lavfi', '-i', `testsrc2=size=176x144:rate=25:duration=${SECONDS}`];
const TONE = ['-f', 'lavfi', '-i', `sine=frequency=660:sample_rate=48000:duration=${SECONDS}`];

// Each original, how ffmpeg makes it, and what the published file must be.
const ORIGINALS = [
    {label: 'MOV with H.264 and AAC changes container', file: 'Holiday at sea.mov', kind: 'video',
     result: '.mp4',
     args: [...PICTURE, ...TONE, '-c:v', 'libx264', '-preset', 'veryfast', '-pix_fmt', 'yuv420p',
            '-c:a', 'aac', '-shortest']},
    {label: 'MKV with VP9 and Opus changes container', file: 'screen recording.mkv', kind: 'video',
     result: '.webm',
     args: [...PICTURE, ...TONE, '-c:v', 'libvpx-vp9', '-deadline', 'realtime', '-cpu-used', '8',
            '-b:v', '200k', '-c:a', 'libopus', '-shortest']},
    {label: 'MP4 with H.264 and MP3 gets AAC sound', file: 'phone.mp4', kind: 'video', result: '.mp4',
     args: [...PICTURE, ...TONE, '-c:v', 'libx264', '-preset', 'veryfast', '-pix_fmt', 'yuv420p',
            '-c:a', 'libmp3lame', '-shortest']},
    {label: 'AVI with MPEG-4 video is encoded', file: 'old camera.avi', kind: 'video', result: '.mp4',
     args: [...PICTURE, ...TONE, '-c:v', 'mpeg4', '-q:v', '5', '-c:a', 'libmp3lame', '-shortest']},
    {label: 'FLV with Flash video is encoded', file: 'flash clip.flv', kind: 'video', result: '.mp4',
     args: [...PICTURE, ...TONE, '-c:v', 'flv', '-c:a', 'libmp3lame', '-ar', '44100', '-shortest']},
    // Debian's ffmpeg writes no AMR: the phone's sound is AAC, the picture H.263 in its own size.
    {label: '3GP with H.263 video is encoded', file: 'old phone.3gp', kind: 'video', result: '.mp4',
     args: [...PICTURE_QCIF, ...TONE, '-c:v', 'h263', '-c:a', 'aac', '-ar', '8000', '-ac', '1',
            '-shortest']},
    {label: 'MP4 with HEVC video is encoded', file: 'new phone.mp4', kind: 'video', result: '.mp4',
     args: [...PICTURE, ...TONE, '-c:v', 'libx265', '-preset', 'ultrafast', '-x265-params',
            'log-level=error', '-c:a', 'aac', '-shortest']},
    {label: 'FLAC becomes M4A', file: 'concert.flac', kind: 'audio', result: '.m4a',
     args: [...TONE, '-c:a', 'flac']},
    {label: 'WMA becomes M4A', file: 'radio show.wma', kind: 'audio', result: '.m4a',
     args: [...TONE, '-c:a', 'wmav2']},
];

const PAGE = '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="utf-8">\n<title>Converted</title>\n' +
             '</head>\n<body>\n<p>Before the player.</p>\n</body>\n</html>\n';

installationFolder();
const publisher = programPath('DEDE5_PUBLISH_PROGRAM');
const ffprobe = path.join(path.dirname(FFMPEG), 'ffprobe');

const titleOf = (file) => file.slice(0, file.lastIndexOf('.'));
const pageOf = (original) => `${titleOf(original.file).replace(/ /g, '-')}.htm`;

// The container's length as ffprobe reads it.
function durationOf(file) {
    const text = execFileSync(fs.existsSync(ffprobe) ? ffprobe : 'ffprobe',
                              ['-v', 'error', '-show_entries', 'format=duration', '-of', 'csv=p=0', file],
                              {encoding: 'utf8'});
    const seconds = Number(text.trim());
    assert.ok(seconds > 0, `${file} has no length: ${text}`);
    return seconds;
}

let scratch;
let site;
let server;
let browser;
const runs = new Map();
const sources = new Map();

before(async () => {
    scratch = makeTempFolder('dede5-browser-convert-');
    const mediaDir = path.join(scratch, 'media');
    site = path.join(scratch, 'site');
    fs.mkdirSync(mediaDir);
    fs.mkdirSync(site);
    const env = userEnvironment(path.join(scratch, 'user'));
    for (const original of ORIGINALS) {
        const file = path.join(mediaDir, original.file);
        execFileSync(FFMPEG, ['-nostdin', '-hide_banner', '-loglevel', 'error', '-y', ...original.args,
                              '-threads', '2', file],
                     {stdio: ['ignore', 'ignore', 'inherit']});
        sources.set(original, {bytes: fs.readFileSync(file), duration: durationOf(file)});
        const page = path.join(site, pageOf(original));
        fs.writeFileSync(page, PAGE);
        runs.set(original, await runProgram(publisher, [
            '-q', '--convert', '--site-root', site, '--js-path', '/js/', '--media-path', '/medias/',
            '--no-poster', '--controls', '--no-autoplay', '--no-loop', file, page,
        ], env));
        assert.deepEqual(fs.readFileSync(file), sources.get(original).bytes, `${original.file} was written`);
    }
    server = await serveFolder(site);
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    await server?.close();
    if (scratch) {
        removeFolder(scratch);
    }
});

// Starts the media muted (the browser lets muted media play without a gesture) and waits until
// it has played a while: its picture or sound is really decoded, not just its header read.
async function checkPlays(page, selector) {
    await page.evaluate(async (s) => {
        const el = document.querySelector(s);
        el.muted = true;
        await el.play();
    }, selector);
    await page.waitForFunction((s) => document.querySelector(s).currentTime > 0.3, selector,
                               {polling: 50});
}

describe('media published with --convert', {concurrency: 2}, () => {
    for (const original of ORIGINALS) {
        test(original.label, async () => {
            const {status, stdout, stderr} = runs.get(original);
            assert.equal(status, 0, `dede5-publish --convert ${original.file} ended with ${status}:\n${stderr}`);
            assert.equal(`${stdout}${stderr}`, '', 'dede5-publish -q printed something');
            const published = path.join(site, 'medias', titleOf(original.file) + original.result);
            assert.ok(fs.existsSync(published), `${published} is not in the site: ${
                fs.readdirSync(path.join(site, 'medias')).join(', ')}`);
            assert.deepEqual(fs.readdirSync(path.join(site, 'medias')).filter((f) => f.startsWith('.~')), [],
                             'a temporary file was left in the site');

            const {duration} = sources.get(original);
            const page = await browser.newPage();
            try {
                const player = original.kind === 'video' ? 'videojs' : 'mediaelement';
                const {media} = await checkPlayerPage(page, server.url(pageOf(original)), {
                    player, kind: original.kind, duration, poster: null,
                });
                assert.equal(decodeURIComponent(new URL(media.currentSrc).pathname),
                             `/medias/${titleOf(original.file)}${original.result}`);
                assert.ok(Math.abs(media.duration - duration) <= 0.1,
                          `plays for ${media.duration} s, the original lasts ${duration} s`);
                await checkPlays(page, original.kind);
            } finally {
                await page.close();
            }
        });
    }
});
