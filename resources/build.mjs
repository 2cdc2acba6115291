// SPDX-License-Identifier: GPL-3.0-or-later
// Assembles the player folders, sample pages and server configuration of the installation folder
// from the npm packages (node_modules) and our own files. The media files (sample media, the blank
// video of the Plyr-based players) are made by ffmpeg in CMake and only named here with --keep, so
// that a stale file left from an older build is removed but theirs are not.
//
//   node build.mjs --modules DIR --out DIR [--blank FILE] [--keep RELPATH]... [--stamp FILE]
import {build} from 'esbuild';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

function parseArgs(argv) {
    const args = {keep: []};
    for (let i = 0; i < argv.length; i++) {
        const name = argv[i];
        const value = argv[i + 1];
        if (value === undefined) {
            throw new Error(`${name} needs a value`);
        }
        i++;
        if (name === '--modules') {
            args.modules = value;
        } else if (name === '--out') {
            args.out = value;
        } else if (name === '--blank') {
            args.blank = value;
        } else if (name === '--keep') {
            args.keep.push(value);
        } else if (name === '--stamp') {
            args.stamp = value;
        } else {
            throw new Error(`unknown option ${name}`);
        }
    }
    if (!args.modules || !args.out) {
        throw new Error('usage: build.mjs --modules DIR --out DIR [--blank FILE] [--keep RELPATH]...');
    }
    return args;
}

const args = parseArgs(process.argv.slice(2));
const pkg = (name, ...rest) => path.join(args.modules, name, ...rest);
const ours = (...rest) => path.join(here, ...rest);
const read = (file) => fs.readFileSync(file);
const readText = (file) => fs.readFileSync(file, 'utf8');

function version(name) {
    return JSON.parse(readText(pkg(name, 'package.json'))).version;
}

// Relative output path -> content (Buffer or string).
const owned = readText(ours('folders.txt')).split('\n').filter((line) => line && !line.startsWith('#'));
const outputs = new Map();
const put = (rel, content) => {
    if (!owned.includes(rel.split('/')[0])) {
        throw new Error(`${rel} lies outside the folders listed in folders.txt`);
    }
    outputs.set(rel, content);
};
const cat = (...parts) => parts.map((p) => (Buffer.isBuffer(p) ? p.toString('utf8') : p)).join('\n');

// An SVG sprite without its XML prologue, ready to be put into a page.
const spriteMarkup = (file) => {
    const text = readText(file);
    return text.slice(text.indexOf('<svg'));
};

async function bundle(entry, banner) {
    const result = await build({
        entryPoints: [entry],
        bundle: true,
        format: 'iife',
        minify: true,
        target: ['es2018'],
        legalComments: 'none',
        banner: {js: banner},
        define: {__PLYR_SPRITE__: JSON.stringify(spriteMarkup(pkg('plyr', 'dist/plyr.svg')))},
        nodePaths: [args.modules],
        absWorkingDir: here,
        write: false,
        logLevel: 'warning',
    });
    return result.outputFiles[0].text;
}

// Video.js: the package's script behind our data-setup prologue.
put('video-js/video.js', cat(read(ours('video-js/prologue.js')), read(pkg('video.js', 'dist/video.min.js'))));
put('video-js/video-js.css', read(pkg('video.js', 'dist/video-js.css')));
put('video-js/tube.css', read(ours('video-js/tube.css')));
put('video-js/LICENSE.video.js.txt', read(pkg('video.js', 'LICENSE')));

// MediaElement with jQuery; the epilogue points the icon sprite at this folder.
put('mediaelement/jquery.js', read(pkg('jquery', 'dist/jquery.min.js')));
put('mediaelement/mediaelement-and-player.min.js',
    cat(read(pkg('mediaelement', 'build/mediaelement-and-player.min.js')),
        readText(ours('mediaelement/epilogue.js'))
            .replace("/*SPRITE*/''", JSON.stringify(spriteMarkup(pkg('mediaelement', 'build/mejs-controls.svg'))))));
put('mediaelement/mediaelementplayer.min.css',
    cat(read(pkg('mediaelement', 'build/mediaelementplayer.min.css')), read(ours('mediaelement/no-controls.css'))));
put('mediaelement/mejs-controls.svg', read(pkg('mediaelement', 'build/mejs-controls.svg')));
put('mediaelement/LICENSE.mediaelement.txt', read(pkg('mediaelement', 'LICENSE')));
put('mediaelement/LICENSE.jquery.txt', read(pkg('jquery', 'LICENSE.txt')));

// Our two players on Plyr.
const plyrBanner = (what) =>
    `/* ${what} - Ombrel DEDE5 Varodo, GPL-3.0-or-later. Includes Plyr ${version('plyr')} ` +
    `(c) Sam Potts, MIT License, see LICENSE.plyr.txt */`;
const plyrCss = read(pkg('plyr', 'dist/plyr.css'));
const plyrSvg = read(pkg('plyr', 'dist/plyr.svg'));
const plyrLicense = read(pkg('plyr', 'LICENSE.md'));

put('leanback/LICENSE.plyr.txt', plyrLicense);
put('leanback/js/leanbackPlayer.pack.js', await bundle(ours('plyr/leanback.js'), plyrBanner('Leanback player')));
put('leanback/js/leanbackPlayer.en.js', read(ours('leanback/leanbackPlayer.en.js')));
put('leanback/js/plyr.svg', plyrSvg);
put('leanback/css/leanbackPlayer.default.css', cat(plyrCss, read(ours('leanback/leanbackPlayer.css'))));
put('leanback/css/themes/leanbackPlayer.dark.css', read(ours('leanback/themes/leanbackPlayer.dark.css')));

put('Projekktor/projekktor.min.js', await bundle(ours('plyr/projekktor.js'), plyrBanner('Projekktor player')));
put('Projekktor/jquery.min.js', read(pkg('jquery', 'dist/jquery.min.js')));
put('Projekktor/plyr.svg', plyrSvg);
put('Projekktor/LICENSE.plyr.txt', plyrLicense);
put('Projekktor/LICENSE.jquery.txt', read(pkg('jquery', 'LICENSE.txt')));
put('Projekktor/theme/style.css', cat(plyrCss, read(ours('Projekktor/theme.css'))));

// The stream script for the players that cannot play HLS by themselves: published beside them
// only with a stream, so a page never fetches it from elsewhere.
put('hls/hls.light.min.js', read(pkg('hls.js', 'dist/hls.light.min.js')));
put('hls/LICENSE.hls.js.txt', read(pkg('hls.js', 'LICENSE')));

if (args.blank) {
    const blank = read(args.blank);
    put('leanback/js/blank.mp4', blank);
    put('Projekktor/blank.mp4', blank);
}

for (const page of fs.readdirSync(ours('Example')).filter((f) => f.endsWith('.htm')).sort()) {
    put(`Example/${page}`, read(ours('Example', page)));
}
put('Scripts/.htaccess', read(ours('Scripts/.htaccess')));

// Write what changed; remove files of ours that no longer belong.
const wanted = new Set([...outputs.keys(), ...args.keep]);

function walk(dir, rel, found) {
    if (!fs.existsSync(dir)) {
        return found;
    }
    for (const entry of fs.readdirSync(dir, {withFileTypes: true})) {
        const childRel = rel ? `${rel}/${entry.name}` : entry.name;
        if (entry.isDirectory()) {
            walk(path.join(dir, entry.name), childRel, found);
        } else {
            found.push(childRel);
        }
    }
    return found;
}

for (const folder of owned) {
    for (const rel of walk(path.join(args.out, folder), folder, [])) {
        if (!wanted.has(rel)) {
            fs.rmSync(path.join(args.out, rel));
        }
    }
}

for (const [rel, content] of outputs) {
    const target = path.join(args.out, rel);
    const bytes = Buffer.isBuffer(content) ? content : Buffer.from(content, 'utf8');
    if (fs.existsSync(target) && read(target).equals(bytes)) {
        continue;
    }
    fs.mkdirSync(path.dirname(target), {recursive: true});
    const temp = `${target}.tmp-${process.pid}`;
    fs.writeFileSync(temp, bytes);
    fs.renameSync(temp, target);
}

if (args.stamp) {
    fs.mkdirSync(path.dirname(args.stamp), {recursive: true});
    fs.writeFileSync(args.stamp, `${[...outputs.keys()].sort().join('\n')}\n`);
}
