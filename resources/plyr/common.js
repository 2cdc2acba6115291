// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the Leanback and Projekktor players: a Plyr player on a published video or audio
// element, taking its settings from the element's own attributes and its icon sprite and blank
// video from the folder this script was loaded from (never a CDN, so sites work offline).
import Plyr from 'plyr';

/* global __PLYR_SPRITE__ */
// A page opened from disk may not use an SVG file of another folder (each file: URL is an origin
// of its own): there the sprite, built into this script, goes into the page itself.
const fromDisk = window.location.protocol === 'file:';

function putSpriteIntoPage() {
    const id = 'sprite-plyr';
    if (document.getElementById(id)) {
        return;
    }
    const box = document.createElement('div');
    box.id = id;
    box.hidden = true;
    box.innerHTML = __PLYR_SPRITE__;
    document.body.insertBefore(box, document.body.firstChild);
}

const VIDEO_CONTROLS = [
    'play-large', 'play', 'progress', 'current-time', 'duration', 'mute', 'volume', 'captions',
    'settings', 'pip', 'fullscreen',
];
const AUDIO_CONTROLS = ['play', 'progress', 'current-time', 'duration', 'mute', 'volume'];

// The folder of the script that is running now, with a trailing slash. Must be called while the
// script is first evaluated: document.currentScript is null afterwards.
export function currentScriptFolder(fileName) {
    let script = document.currentScript;
    if (!script || !script.src) {
        script = Array.from(document.getElementsByTagName('script'))
                     .reverse()
                     .find((s) => s.src && new URL(s.src).pathname.endsWith('/' + fileName));
    }
    return script && script.src ? new URL('.', script.src).href : '';
}

// The published track marked "default" is shown from the start, in its own language; Plyr
// would otherwise wait for the visitor, or pick by the browser's language. (Without tracks
// Plyr hides its captions button.)
function captionsFor(media) {
    const tracks = Array.from(media.querySelectorAll('track[kind="captions"], track[kind="subtitles"]'));
    const first = tracks.find((track) => track.hasAttribute('default'));
    return {active: Boolean(first), language: first ? first.srclang || 'auto' : 'auto', update: true};
}

// Plyr options for one element. "controls", "autoplay" and "loop" are the choices the user
// published with; a player without controls still plays and pauses on a click.
export function optionsFor(media, folder, extra) {
    const audio = media.tagName === 'AUDIO';
    const options = {
        // An empty location makes the icons refer to the sprite inside the page.
        iconUrl: fromDisk ? '' : folder + 'plyr.svg',
        blankVideo: folder + 'blank.mp4',
        controls: media.hasAttribute('controls') ? (audio ? AUDIO_CONTROLS : VIDEO_CONTROLS) : [],
        autoplay: media.hasAttribute('autoplay'),
        loop: {active: media.hasAttribute('loop')},
        // Browsers start a video by itself only while it is muted: the player must not unmute it.
        muted: media.hasAttribute('muted'),
        // The published page, not the visitor's last session, decides whether sound is on.
        storage: {enabled: false},
        captions: captionsFor(media),
    };
    return Object.assign(options, extra || {});
}

// The published stream's playlist when the browser cannot play it by itself and the page loads
// the stream script shipped beside the player; else null (the MP4 source plays).
function streamOf(media) {
    const source = media.querySelector('source[type="application/x-mpegURL"]');
    const Hls = window.Hls;
    if (!source || media.canPlayType('application/vnd.apple.mpegurl') || !Hls || !Hls.isSupported()) {
        return null;
    }
    return source.src;
}

// The stream played through the stream script; the player is made once the renditions are
// known, so that its quality menu lists them (0 stands for the automatic choice), and before the
// stream takes the element. It starts at the lowest quality, which tells how fast the
// connection is.
function setUpStream(media, folder, extra, made, stream) {
    const Hls = window.Hls;
    const hls = new Hls({startLevel: -1});
    media.hls = hls;
    hls.on(Hls.Events.MANIFEST_PARSED, (event, data) => {
        const heights = data.levels.map((level) => level.height);
        const quality = {
            default: 0,
            options: [0, ...heights],
            forced: true,
            onChange: (height) => {
                hls.nextLevel = heights.indexOf(height);
            },
        };
        const i18n = Object.assign({}, extra && extra.i18n, {qualityLabel: {0: 'Auto'}});
        made(makePlayer(media, folder, Object.assign({}, extra, {quality, i18n})));
        hls.attachMedia(media);
    });
    hls.loadSource(stream);
}

// Sets up one element unless a player already owns it; answers the player, or null when it is
// made later (a stream), and hands it to `made` once it is there.
export function setUp(media, folder, extra, made = () => {}) {
    if (media.plyr || media.hls) {
        return media.plyr || null;
    }
    const stream = streamOf(media);
    if (stream) {
        setUpStream(media, folder, extra, made, stream);
        return null;
    }
    const player = makePlayer(media, folder, extra);
    made(player);
    return player;
}

function makePlayer(media, folder, extra) {
    if (fromDisk) {
        putSpriteIntoPage();
    }
    const width = parseInt(media.getAttribute('width'), 10);
    const player = new Plyr(media, optionsFor(media, folder, extra));
    // The page asked for this size; the player would otherwise fill its parent's width.
    if (width > 0 && player.elements && player.elements.container) {
        player.elements.container.style.width = width + 'px';
        player.elements.container.style.maxWidth = '100%';
    }
    return player;
}

export function whenDocumentReady(fn) {
    if (document.readyState === 'loading') {
        document.addEventListener('DOMContentLoaded', fn, {once: true});
    } else {
        fn();
    }
}
