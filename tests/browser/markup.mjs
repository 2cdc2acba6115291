// SPDX-License-Identifier: GPL-3.0-or-later
// The head and body code the player templates generate, written out here with the same blanks and
// line feeds, so that pages of exactly that shape can be checked in a browser before (and apart
// from) the C++ templates. Macros are filled with the values a publish would give them.

export const SNIPPETS = {
    controls: 'controls="controls"  ',
    autoplay: 'autoplay="autoplay" ',
    loop: 'loop="loop"  ',
    poster: (url) => `poster="${url}"  `,
    source: (url, type) => `<source src="${url}" type="${type}"/>\n`,
};

export const FORMATS = {
    mp4: {mime: 'video/mp4', name: 'HTML5 MP4 Video', browsers: 'IE 9.0+,Chrome,Safari', flash: true},
    webm: {mime: 'video/webm', name: 'HTML5 WebM Video', browsers: 'Chrome, Firefox, Opera'},
    ogv: {mime: 'video/ogg', name: 'HTML5 Ogg Video', browsers: 'Chrome,Firefox,Opera'},
    mp3: {mime: 'audio/mpeg', name: 'HTML5 MP3 Audio', browsers: 'IE 9.0+,Chrome,Safari'},
    m4a: {mime: 'audio/mp4', name: 'HTML5 MP4 Audio', browsers: 'IE 9.0+,Chrome,Safari'},
    oga: {mime: 'audio/ogg', name: 'HTML5 OGG Audio', browsers: 'Firefox,Chrome,Opera'},
    wav: {mime: 'audio/wav', name: 'HTML5 WAV Audio', browsers: 'Firefox, Chrome, Safari, Opera'},
};

export function fallbackText(ext) {
    const format = FORMATS[ext];
    return `The browser you are using does not support viewing ${format.name},` +
           `please open it in ${format.browsers} .`;
}

const HEAD = {
    videojs: '<script src="$(path)/video-js/video.js" type="text/javascript"></script>\n' +
             '<link rel="stylesheet" href="$(path)/video-js/video-js.css">\n',
    tube: '<link rel="stylesheet" href="$(path)/video-js/tube.css">\n',
    mediaelement: '<script src="$(path)/mediaelement/jquery.js"></script>\n' +
                  '<script src="$(path)/mediaelement/mediaelement-and-player.min.js"></script>\n' +
                  '<link rel="stylesheet" href="$(path)/mediaelement/mediaelementplayer.min.css" />\n',
    projekktor: '<link rel="stylesheet" href="$(path)/Projekktor/theme/style.css" type="text/css" media="screen" />\n' +
                '<script type="text/javascript" src="$(path)/Projekktor/jquery.min.js"></script>\n' +
                '<script type="text/javascript" src="$(path)/Projekktor/projekktor.min.js"></script>\n',
    leanback: '<link rel="stylesheet" media="screen" type="text/css" href="$(path)/leanback/css/leanbackPlayer.default.css" />\n' +
              '<script type="text/javascript" src="$(path)/leanback/js/leanbackPlayer.pack.js"></script>\n' +
              '<script type="text/javascript" src="$(path)/leanback/js/leanbackPlayer.en.js"></script>\n',
};

const MEDIAELEMENT_SCRIPT = "\n<script>\n$('audio,video').mediaelementplayer({\nsuccess: function(player, node) {\n" +
                            "$('#' + node.id + '-mode').html('mode: ' + player.pluginType);\n}\n});\n</script>";

// The folders each player's resources are copied into under the site's JavaScript folder.
export const RESOURCE_FOLDERS = {
    videojs: ['video-js'],
    mediaelement: ['mediaelement'],
    leanback: ['leanback', 'leanback/js', 'leanback/css', 'leanback/css/themes'],
    projekktor: ['Projekktor', 'Projekktor/theme'],
};

function flashObject(width, height, playerUrl, mediaUrl) {
    return '<object class="leanback-player-flash-fallback" classid="clsid:d27cdb6e-ae6d-11cf-96b8-444553540000"\n' +
           `codebase="https://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab#version=8,0,0,0" width="${width + 2}" height="${height + 26}" align="Default*">\n` +
           '<param name="allowScriptAccess" value="sameDomain">\n' +
           `<param name="movie" value="${playerUrl}?&path=${mediaUrl}">\n` +
           '<param name="quality" value="high">\n' +
           '<param name="bgcolor" value="#ffffff">\n' +
           '<param name="allowFullScreen" value="true">\n' +
           `<embed src="${playerUrl}?&path=${mediaUrl}" quality="high"  align="middle"\n` +
           `bgcolor="#ffffff"  width="${width + 2}" height="${height + 26}" allowFullScreen="true" \n` +
           'allowScriptAccess="sameDomain" type="application/x-shockwave-flash" \n' +
           'pluginspage="https://www.adobe.com/go/getflashplayer">\n' +
           '</object>';
}

// A published page for one media file: the page lies in the site root, the JavaScript folder is
// "js" and the media folder "medias" (so the player folder is js/<folder>).
//   player     'videojs' | 'tube' | 'mediaelement' | 'leanback' | 'projekktor'
//   file       media file name in the media folder (already in URL form), e.g. movie.mp4
//   ext        its format key of FORMATS
//   kind       'video' | 'audio'
//   options    {controls, autoplay, loop, poster (URL or null)}
//   mediaPath  for Video.js: the data-setup media_path (URL form); defaults to ../../medias/<file>
export function publishedPage({player, file, ext, kind, width = 640, height = 360, title = 'movie',
                               options, mediaPath}) {
    const format = FORMATS[ext];
    const sources = SNIPPETS.source(`medias/${file}`, format.mime);
    const controls = options.controls ? SNIPPETS.controls : '';
    const autoplay = options.autoplay ? SNIPPETS.autoplay : '';
    const loop = options.loop ? SNIPPETS.loop : '';
    const poster = kind === 'video' && options.poster ? SNIPPETS.poster(options.poster) : '';
    let head;
    let body;
    if (player === 'videojs' || player === 'tube') {
        head = HEAD.videojs + (player === 'tube' ? HEAD.tube : '');
        const css = player === 'tube' ? 'tubecss' : 'vjs-default-skin';
        const fallback = format.flash ? '' : fallbackText(ext);
        body = `<video class="video-js ${css}" ${controls} ${autoplay} width="${width}" height="${height}" ` +
               `${poster} ${loop} preload="auto" data-setup="{'media_path':'${mediaPath || `../../medias/${file}`}',` +
               `'flash_player_path':'js/video-js/'}">\n${sources}${fallback}\n</video>`;
    } else if (player === 'mediaelement') {
        head = HEAD.mediaelement;
        body = kind === 'video'
                   ? `<video  ${controls} ${autoplay} width="${width}" height="${height}" ${poster} ${loop} preload="auto" >\n${sources}</video>`
                   : `<audio  ${controls} ${autoplay}  ${loop} preload="auto" >\n${sources}</audio>`;
        body += MEDIAELEMENT_SCRIPT;
    } else if (player === 'projekktor') {
        head = HEAD.projekktor;
        body = `<video id="player_a" title="${title}" ${controls} ${autoplay} width="${width}" height="${height}" ${poster} ${loop} preload="auto" >\n` +
               `${sources}</video>\n\n<script type="text/javascript">\n` +
               "$(document).ready(function() {projekktor('#player_a', { playerFlashMP4: 'jarisplayer.swf'});});\n</script>";
    } else if (player === 'leanback') {
        head = HEAD.leanback;
        if (kind === 'video') {
            const fallback = format.flash ? flashObject(width, height, 'js/leanback/Player.swf', `../../medias/${file}`)
                                          : fallbackText(ext);
            body = `<div class="leanback-player-video">\n<video  ${controls} ${autoplay} width="${width}" height="${height}" ${poster} ${loop} preload="auto" >\n` +
                   `${sources}${fallback}\n</video>\n\n</div>\n`;
        } else {
            body = `<div class="leanback-player-audio" style="width: 411px;">\n<audio  ${controls} ${autoplay}  ${loop} preload="auto">\n` +
                   `${sources}</audio>\n</div>\n\n`;
        }
    } else {
        throw new Error(`unknown player ${player}`);
    }
    head = head.split('$(path)').join('js');
    return '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="utf-8">\n<title>Published page</title>\n' +
           `${head}</head>\n<body>\n<p>Text of the page before the player.</p>\n${body}\n` +
           '<p>Text of the page after the player.</p>\n</body>\n</html>\n';
}
