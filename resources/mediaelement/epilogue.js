
/*
 * SPDX-License-Identifier: GPL-3.0-or-later
 * Ombrel DEDE5 Varodo: the player looks for its icon sprite beside the page by default; published
 * pages keep it beside this script, in the site's JavaScript folder.
 */
(function () {
    'use strict';
    var script = document.currentScript;
    if (!script || !script.src) {
        var all = document.getElementsByTagName('script');
        for (var i = all.length - 1; i >= 0; i--) {
            if (/mediaelement-and-player(\.min)?\.js([?#].*)?$/.test(all[i].src)) {
                script = all[i];
                break;
            }
        }
    }
    if (script && script.src && window.mejs && window.mejs.MepDefaults) {
        var sprite = new URL('mejs-controls.svg', script.src).href;
        window.mejs.MepDefaults.iconSprite = sprite;
    }
})();
