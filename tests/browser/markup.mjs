// SPDX-License-Identifier: GPL-3.0-or-later
// Markup the program never writes itself but the player files must still handle: the Leanback
// audio body (the program's only audio row is MediaElement), written out with the template's
// blanks and line feeds, in a page whose JavaScript folder is "js" and media folder "medias".

export const SNIPPETS = {
    controls: 'controls="controls"  ',
    autoplay: 'autoplay="autoplay" ',
    loop: 'loop="loop"  ',
    source: (url, type) => `<source src="${url}" type="${type}"/>\n`,
};

export const AUDIO_TYPES = {mp3: 'audio/mpeg', m4a: 'audio/mp4', oga: 'audio/ogg', wav: 'audio/wav'};

// The folders each player's resources are copied into under the site's JavaScript folder.
export const RESOURCE_FOLDERS = {
    videojs: ['video-js'],
    leanback: ['leanback', 'leanback/js', 'leanback/css', 'leanback/css/themes'],
};

const LEANBACK_HEAD =
    '<link rel="stylesheet" media="screen" type="text/css" href="js/leanback/css/leanbackPlayer.default.css" />\n' +
    '<script type="text/javascript" src="js/leanback/js/leanbackPlayer.pack.js"></script>\n' +
    '<script type="text/javascript" src="js/leanback/js/leanbackPlayer.en.js"></script>\n';

//   file     media file name in the media folder (already in URL form), e.g. song.mp3
//   ext      its key of AUDIO_TYPES
//   options  {controls, autoplay, loop}
export function leanbackAudioPage({file, ext, options}) {
    const controls = options.controls ? SNIPPETS.controls : '';
    const autoplay = options.autoplay ? SNIPPETS.autoplay : '';
    const loop = options.loop ? SNIPPETS.loop : '';
    const body = `<div class="leanback-player-audio" style="width: 411px;">\n<audio  ${controls} ${autoplay}  ${loop} preload="auto">\n` +
                 `${SNIPPETS.source(`medias/${file}`, AUDIO_TYPES[ext])}</audio>\n</div>\n\n`;
    return '<!DOCTYPE html>\n<html>\n<head>\n<meta charset="utf-8">\n<title>Published page</title>\n' +
           `${LEANBACK_HEAD}</head>\n<body>\n<p>Text of the page before the player.</p>\n${body}\n` +
           '<p>Text of the page after the player.</p>\n</body>\n</html>\n';
}
