/*
 * SPDX-License-Identifier: GPL-3.0-or-later
 * Ombrel DEDE5 Varodo: published pages write data-setup with single quotes
 * ({'media_path':'...','flash_player_path':'...'}), which JSON.parse refuses. Rewrite each such
 * value as JSON before the player reads it; the keys and values stay as they were.
 */
(function () {
    'use strict';
    var ESCAPES = {n: '\n', r: '\r', t: '\t', b: '\b', f: '\f'};

    // A JavaScript-style object literal (quoted strings, bare keys) as JSON, or null.
    function toJson(text) {
        var out = '';
        var i = 0;
        while (i < text.length) {
            var c = text.charAt(i);
            if (c === "'" || c === '"') {
                var value = '';
                i++;
                while (i < text.length && text.charAt(i) !== c) {
                    if (text.charAt(i) === '\\' && i + 1 < text.length) {
                        i++;
                        var e = text.charAt(i);
                        value += ESCAPES.hasOwnProperty(e) ? ESCAPES[e] : e;
                    } else {
                        value += text.charAt(i);
                    }
                    i++;
                }
                if (i >= text.length) {
                    return null;
                }
                i++;
                out += JSON.stringify(value);
            } else if (/[A-Za-z_$]/.test(c)) {
                var word = /^[A-Za-z_$][\w$]*/.exec(text.slice(i))[0];
                i += word.length;
                out += /^(true|false|null)$/.test(word) ? word : JSON.stringify(word);
            } else {
                out += c;
                i++;
            }
        }
        try {
            JSON.parse(out);
            return out;
        } catch (err) {
            return null;
        }
    }

    function fix(el) {
        var value = el.getAttribute('data-setup');
        if (value === null || value === '') {
            return;
        }
        try {
            JSON.parse(value);
            return;
        } catch (err) {
            // not JSON yet
        }
        var json = toJson(value);
        if (json !== null) {
            el.setAttribute('data-setup', json);
        }
    }

    var SELECTOR = 'video[data-setup], audio[data-setup], video-js[data-setup]';
    function sweep(root) {
        if (root.matches && root.matches(SELECTOR)) {
            fix(root);
        }
        if (root.querySelectorAll) {
            Array.prototype.forEach.call(root.querySelectorAll(SELECTOR), fix);
        }
    }

    // A caption track the parser puts into a video after the player took the video over would
    // stay the browser's own: the player would neither list it nor offer its captions button.
    // Such a track goes to the player, shown when it is the default and nothing else is. The
    // player takes tracks only once its playback technology is set up, a moment after the player
    // itself, and that setup drops any track element still in the video: so the element goes now
    // and the track is handed over when the player is ready.
    function adoptTrack(node) {
        var video = node.parentNode;
        var box = video && video.parentNode;
        var players = window.videojs && window.videojs.getPlayers ? window.videojs.getPlayers() : {};
        var player = box && box.id ? players[box.id] : null;
        if (node.nodeName !== 'TRACK' || !player || typeof player.addRemoteTextTrack !== 'function') {
            return;
        }
        // A track in the video when the player was made is in the player's options: it sets that
        // one up itself.
        var known = (player.options_ && player.options_.tracks) || [];
        for (var k = 0; k < known.length; k++) {
            if (known[k].src === node.getAttribute('src')) {
                return;
            }
        }
        var track = {
            kind: node.getAttribute('kind') || 'subtitles',
            src: node.getAttribute('src'),
            srclang: node.getAttribute('srclang') || '',
            label: node.getAttribute('label') || ''
        };
        var isDefault = node.hasAttribute('default');
        video.removeChild(node);
        player.ready(function () {
            var added = player.addRemoteTextTrack(track, false);
            var tracks = player.textTracks();
            var shown = false;
            for (var i = 0; i < tracks.length; i++) {
                shown = shown || (tracks[i].mode === 'showing' && (!added || tracks[i] !== added.track));
            }
            if (isDefault && !shown && added && added.track) {
                added.track.mode = 'showing';
            }
        });
    }

    sweep(document);
    // The player sets itself up on a timer while the page is still being parsed; the observer
    // sees each element as the parser inserts it, before any timer can run.
    if (window.MutationObserver) {
        var observer = new MutationObserver(function (records) {
            records.forEach(function (record) {
                if (record.type === 'attributes') {
                    fix(record.target);
                } else {
                    Array.prototype.forEach.call(record.addedNodes, sweep);
                    Array.prototype.forEach.call(record.addedNodes, adoptTrack);
                }
            });
        });
        observer.observe(document.documentElement, {
            childList: true,
            subtree: true,
            attributes: true,
            attributeFilter: ['data-setup']
        });
    }
    // The player's own setup stops at the first pass that finds any media element, so a player
    // the parser had not reached by then (a slow connection, a second player further down) would
    // stay a bare element. Once the page is parsed, set up whatever it left.
    function setUpLeftOvers() {
        var videojs = window.videojs;
        if (!videojs || (videojs.options && videojs.options.autoSetup === false)) {
            return;
        }
        Array.prototype.forEach.call(document.querySelectorAll(SELECTOR), function (el) {
            if (el.player === undefined && el.isConnected) {
                try {
                    videojs(el);
                } catch (err) {
                    if (window.console) {
                        window.console.error(err);
                    }
                }
            }
        });
    }

    // A media element that failed before its player took it over never tells the player, nor
    // does a <source> the browser refuses later, and a late "loadstart" clears an error the player
    // had: each would leave a silent, empty box. After each of these moments, hand the player the
    // failure the element has.
    function reportEarlyFailure(player) {
        player.ready(function () {
            var media = player.el() && player.el().querySelector('video, audio');
            if (!media) {
                return;
            }
            function check() {
                window.setTimeout(function () {
                    var failed = media.error || (media.networkState === 3 && media.readyState === 0);
                    if (failed && !player.error() && !player.isDisposed()) {
                        player.error(media.error ? media.error.code : 4);
                    }
                }, 0);
            }
            // Capturing: a <source>'s error does not bubble.
            media.addEventListener('error', check, true);
            player.on('loadstart', check);
            check();
        });
    }

    document.addEventListener('DOMContentLoaded', function () {
        sweep(document);
        var videojs = window.videojs;
        if (videojs && typeof videojs.hook === 'function' && typeof videojs.getPlayers === 'function') {
            videojs.hook('setup', reportEarlyFailure);
            var players = videojs.getPlayers();
            Object.keys(players).forEach(function (id) {
                if (players[id]) {
                    reportEarlyFailure(players[id]);
                }
            });
        }
        setUpLeftOvers();
        Array.prototype.forEach.call(document.querySelectorAll('.video-js > video > track'), adoptTrack);
    });
})();
