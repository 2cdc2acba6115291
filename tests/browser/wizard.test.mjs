// SPDX-License-Identifier: GPL-3.0-or-later
// Pages published by the wizard itself: the end-to-end wizard tests (offscreen) run with their
// published sites kept, then both pages of each site are served and checked in Chromium.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {checkPlayerPage, installationFolder, launchBrowser, makeTempFolder, removeFolder,
        serveFolder} from './harness.mjs';
import {programPath, userEnvironment} from './programs.mjs';

// The wizard tests' media are one second long.
const SECONDS = 1;

installationFolder();
const uiTests = programPath('DEDE5_UI_TESTS_PROGRAM');
let scratch;
let kept;
let browser;

before(async () => {
    scratch = makeTempFolder('dede5-browser-wizard-');
    kept = path.join(scratch, 'kept');
    fs.mkdirSync(kept);
    const env = {...userEnvironment(path.join(scratch, 'user')), QT_QPA_PLATFORM: 'offscreen',
                 DEDE5_KEEP_PUBLISHED_SITE: kept};
    execFileSync(uiTests, ['--gtest_filter=PublishWizardEndToEnd.*'], {env, stdio: 'pipe'});
    browser = await launchBrowser();
});

after(async () => {
    await browser?.close();
    removeFolder(scratch);
});

async function checkSite(name, pages, expectations) {
    const root = path.join(kept, name);
    assert.ok(fs.existsSync(root), `the wizard test ${name} kept no site`);
    const server = await serveFolder(root);
    try {
        for (const [rel, poster] of pages) {
            const page = await browser.newPage();
            try {
                await checkPlayerPage(page, server.url(rel), {...expectations,
                                                              poster: poster && server.url(poster)});
            } finally {
                await page.close();
            }
        }
    } finally {
        await server.close();
    }
}

test('the video the wizard published into two pages plays with its poster', async () => {
    await checkSite('VideoIntoTwoPagesThenBackToTheStart',
                    [['index.htm', 'medias/movie.jpg'], ['news/a.htm', 'medias/movie.jpg']],
                    {player: 'videojs', kind: 'video', duration: SECONDS});
});

test('the audio the wizard published into two pages plays in MediaElement', async () => {
    await checkSite('AudioWithTheMediaElementPlayer', [['index.htm', null], ['news/a.htm', null]],
                    {player: 'mediaelement', kind: 'audio', duration: SECONDS});
});
