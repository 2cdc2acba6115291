// SPDX-License-Identifier: GPL-3.0-or-later
// The Projekktor player: projekktor(selector, options, onReady) turns the matching <video>
// elements into players and answers the first (or null). Options meant for the Flash fallback
// (playerFlashMP4 and the like) have no use without Flash and are ignored.
import {currentScriptFolder, setUp} from './common.js';

const folder = currentScriptFolder('projekktor.min.js');

function elementsOf(target) {
    if (typeof target === 'string') {
        return Array.from(document.querySelectorAll(target));
    }
    if (target && target.jquery) {
        return target.get();
    }
    return target ? [target] : [];
}

function mediaOf(el) {
    if (el.tagName === 'VIDEO' || el.tagName === 'AUDIO') {
        return el;
    }
    return el.querySelector('video, audio');
}

function projekktor(target, options, onReady) {
    const players = [];
    for (const el of elementsOf(target)) {
        const media = mediaOf(el);
        if (media) {
            const player = setUp(media, folder, undefined,
                                 (made) => made.elements.container.classList.add('projekktor'));
            if (player) {
                players.push(player);
            }
        }
    }
    if (typeof onReady === 'function') {
        players.forEach((player) => player.on('ready', () => onReady(player)));
    }
    return players.length > 0 ? players[0] : null;
}

window.projekktor = projekktor;
