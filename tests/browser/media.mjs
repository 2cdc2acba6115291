// SPDX-License-Identifier: GPL-3.0-or-later
// Test media made with ffmpeg: a few seconds of test picture and tone in each format a page can
// publish.
import {execFileSync} from 'node:child_process';

const FFMPEG = process.env.DEDE5_FFMPEG || 'ffmpeg';

const PICTURE = (seconds, size = '640x360') => ['-f', 'lavfi', '-i', `testsrc2=size=${size}:rate=25:duration=${seconds}`];
const TONE = (seconds) => ['-f', 'lavfi', '-i', `sine=frequency=660:sample_rate=44100:duration=${seconds}`];

const ENCODINGS = {
    mp4: (s, silent, size) => [...PICTURE(s, size), ...TONE(s), '-c:v', 'libx264', '-preset', 'veryfast', '-pix_fmt', 'yuv420p',
                 '-c:a', 'aac', '-movflags', '+faststart', '-shortest'],
    webm: (s) => [...PICTURE(s), ...TONE(s), '-c:v', 'libvpx-vp9', '-deadline', 'realtime', '-cpu-used', '8',
                  '-b:v', '300k', '-c:a', 'libopus', '-shortest'],
    ogv: (s, silent) => [...PICTURE(s), ...(silent ? [] : TONE(s)), '-c:v', 'libtheora', '-q:v', '5',
                         ...(silent ? ['-an'] : ['-c:a', 'libvorbis', '-shortest'])],
    mp3: (s) => [...TONE(s), '-c:a', 'libmp3lame', '-b:a', '64k'],
    m4a: (s) => [...TONE(s), '-c:a', 'aac', '-b:a', '96k', '-movflags', '+faststart'],
    oga: (s) => [...TONE(s), '-c:a', 'libvorbis', '-f', 'ogg'],
    wav: (s) => [...TONE(s), '-c:a', 'pcm_s16le'],
    jpg: () => [...PICTURE(1), '-frames:v', '1', '-update', '1'],
};

// Writes `target` (its extension picks the encoding) holding `seconds` of media; a silent video
// has no sound track; `size` is an MP4's picture size.
export function makeMedia(target, seconds, {silent = false, size} = {}) {
    const ext = target.slice(target.lastIndexOf('.') + 1).toLowerCase();
    const encoding = ENCODINGS[ext];
    if (!encoding) {
        throw new Error(`no test encoding for .${ext}`);
    }
    execFileSync(FFMPEG, ['-nostdin', '-hide_banner', '-loglevel', 'error', '-y', ...encoding(seconds, silent, size),
                          '-threads', '2', target],
                 {stdio: ['ignore', 'ignore', 'inherit']});
    return target;
}
