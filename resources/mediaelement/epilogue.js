
/*
 * SPDX-License-Identifier: GPL-3.0-or-later
 * Ombrel DEDE5 Varodo. The player looks for its icon sprite beside the page by default; published
 * pages keep it beside this script, in the site's JavaScript folder. A page opened from disk may
 * not use an SVG file of another folder at all (each file: URL is an origin of its own), so there
 * the sprite is put into the page itself.
 */
(function () {
    'use strict';
    var SPRITE = /*SPRITE*/'';
    var mejs = window.mejs;
    if (!mejs || !mejs.MepDefaults) {
        return;
    }

    // A page with autoplay that the browser may not start yet (no click on the page so far) would
    // leave the refused play() as an uncaught error; the player simply stays paused then.
    var proto = mejs.MediaElementPlayer && mejs.MediaElementPlayer.prototype;
    if (proto && typeof proto.play === 'function') {
        var play = proto.play;
        proto.play = function () {
            var result = play.apply(this, arguments);
            if (result && typeof result.catch === 'function') {
                result.catch(function (err) {
                    if (!err || (err.name !== 'NotAllowedError' && err.name !== 'AbortError')) {
                        throw err;
                    }
                });
            }
            return result;
        };
    }
    // A page published without controls has no "controls" attribute on its element, but the
    // player removes that attribute and builds its control bar in any case; mark such players so
    // that the style sheet hides the bar (and an audio player entirely, as the browser would).
    if (proto && typeof proto.init === 'function') {
        var init = proto.init;
        proto.init = function () {
            var node = this.node;
            var bare = !!node && /^(video|audio)$/i.test(node.tagName) && !node.hasAttribute('controls');
            var result = init.apply(this, arguments);
            if (bare && this.container) {
                this.getElement(this.container).classList.add('dede5-no-controls');
            }
            return result;
        };
    }
    var isFitted = function (node) {
        return !!node && !!node.style && node.style.maxWidth === '100%';
    };
    // Each caption language's radio button is labelled by a label whose "for" names another id;
    // assistive technology then reads the buttons without their language. (Fitted players only:
    // other pages stay as they were published.)
    if (proto && typeof proto.addTrackButton === 'function') {
        var addTrackButton = proto.addTrackButton;
        proto.addTrackButton = function (track) {
            var result = addTrackButton.apply(this, arguments);
            var list = this.captionsButton && this.captionsButton.querySelector('ul');
            if (list && isFitted(this.node)) {
                Array.prototype.forEach.call(list.querySelectorAll('input[id]'), function (input) {
                    var label = input.nextElementSibling;
                    if (label && label.tagName === 'LABEL') {
                        label.htmlFor = input.id;
                    }
                });
            }
            return result;
        };
    }
    // A video published to fit the page carries max-width:100% in its style. The player's own
    // answer to that (its responsive mode) stretches it to its parent's whole width, beyond the
    // video's size; keep the published size where there is room and shrink it, proportions kept,
    // where there is not. The player asks again on every window resize.
    if (proto && typeof proto.setPlayerSize === 'function') {
        var setPlayerSize = proto.setPlayerSize;
        var fittedSize = function (player) {
            var node = player.node;
            if (!player.isVideo || !isFitted(node) || player.isFullScreen) {
                return null;
            }
            var width = parseInt(node.getAttribute('width'), 10);
            var height = parseInt(node.getAttribute('height'), 10);
            var box = player.getElement(player.container);
            var parent = box && box.parentElement;
            if (!(width > 0 && height > 0) || !parent) {
                return null;
            }
            var style = window.getComputedStyle(parent);
            var room = parent.clientWidth - (parseFloat(style.paddingLeft) || 0) -
                       (parseFloat(style.paddingRight) || 0);
            var fitted = room > 0 ? Math.min(width, Math.floor(room)) : width;
            return {width: fitted, height: Math.round(fitted * height / width)};
        };
        proto.setPlayerSize = function () {
            var size = this.options && this.options.setDimensions !== false && fittedSize(this);
            if (!size) {
                return setPlayerSize.apply(this, arguments);
            }
            this.setDimensions(size.width, size.height);
        };
    }
    if (window.location.protocol === 'file:' && SPRITE) {
        var put = function () {
            if (document.getElementById('mejs-sprite')) {
                return;
            }
            var box = document.createElement('div');
            box.id = 'mejs-sprite';
            box.hidden = true;
            box.innerHTML = SPRITE;
            document.body.insertBefore(box, document.body.firstChild);
        };
        if (document.body) {
            put();
        } else {
            document.addEventListener('DOMContentLoaded', put);
        }
        mejs.MepDefaults.iconSprite = '';
        return;
    }
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
    if (script && script.src) {
        mejs.MepDefaults.iconSprite = new URL('mejs-controls.svg', script.src).href;
    }
})();
