// SPDX-License-Identifier: GPL-3.0-or-later
// The Leanback player: every <video> in a div.leanback-player-video and every <audio> in a
// div.leanback-player-audio becomes a player when the document is ready. The labels come from
// window.LeanbackPlayerLanguage, which the language file (leanbackPlayer.en.js) sets.
import {currentScriptFolder, setUp, whenDocumentReady} from './common.js';

const folder = currentScriptFolder('leanbackPlayer.pack.js');
const SELECTOR = 'div.leanback-player-video > video, div.leanback-player-audio > audio';
const players = [];

function setUpAll(root) {
    const scope = root || document;
    const found = [];
    for (const media of scope.querySelectorAll(SELECTOR)) {
        const known = media.plyr || media.hls;
        const player = setUp(media, folder, {i18n: window.LeanbackPlayerLanguage || {}},
                             (made) => known || players.push(made));
        if (player) {
            found.push(player);
        }
    }
    return found;
}

window.LeanbackPlayer = {setUp: setUpAll, players};
whenDocumentReady(() => setUpAll(document));
